// The SSE2 Paeth filter: sixteen bytes a step, every input known in
// advance (the filter reads the picture, not its own output), the
// predictor worked out on 16-bit lanes.
#include "png_filter.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace pngio {

namespace {

__m128i abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// x - paeth(a, b, c) on eight 16-bit lanes holding bytes.
__m128i residue8(__m128i x, __m128i a, __m128i b, __m128i c) {
    const __m128i b_c = _mm_sub_epi16(b, c);
    const __m128i a_c = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(b_c);
    const __m128i pb = abs16(a_c);
    const __m128i pc = abs16(_mm_add_epi16(b_c, a_c));
    const __m128i take_a =
        _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)), _mm_set1_epi16(-1));
    const __m128i take_b = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
    const __m128i b_or_c = _mm_or_si128(_mm_and_si128(take_b, b), _mm_andnot_si128(take_b, c));
    const __m128i predicted = _mm_or_si128(_mm_and_si128(take_a, a), _mm_andnot_si128(take_a, b_or_c));
    return _mm_sub_epi16(x, predicted);
}

__m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Sixteen residues from byte i on (i at least one pixel in).
void filter16(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t i, size_t step) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i x = load(row + i), a = load(row + i - step);
    const __m128i b = load(prior + i), c = load(prior + i - step);
    const __m128i low = residue8(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                 _mm_unpacklo_epi8(c, zero));
    const __m128i high = residue8(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                  _mm_unpackhi_epi8(c, zero));
    // Residues are taken modulo 256: each lane's low byte.
    const __m128i mask = _mm_set1_epi16(0xff);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_packus_epi16(_mm_and_si128(low, mask), _mm_and_si128(high, mask)));
}

// The last step overlaps the one before it when the row is no whole
// number of steps: the filter reads only the picture, never its own
// output, so bytes worked out twice come out the same.
void paeth_sse2(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t bytes, int bpp) {
    const size_t step = static_cast<size_t>(bpp);
    if (bpp > 4 || bytes < step + 16) return kPlainFilters.paeth(row, prior, out, bytes, bpp);
    for (size_t i = 0; i < step; ++i) out[i] = static_cast<uint8_t>(row[i] - prior[i]);
    size_t i = step;
    for (; i + 16 <= bytes; i += 16) filter16(row, prior, out, i, step);
    if (i < bytes) filter16(row, prior, out, bytes - 16, step);
}

}  // namespace

const Filters kSse2Filters{paeth_sse2};

}  // namespace pngio
#endif
