// The AVX2 Paeth filter: thirty-two bytes a step, every input known in
// advance (the filter reads the picture, not its own output), the
// predictor worked out on 16-bit lanes. This file alone is built for
// AVX2 and includes nothing that other files also compile.
#include "png_filter.h"

#if defined(FASTPATH_AVX2)
#if !defined(__AVX2__)
#error "png_filter_avx2.cpp must be compiled for AVX2"
#endif
#include <immintrin.h>

namespace pngio {

namespace {

__m256i abs16(__m256i v) { return _mm256_max_epi16(v, _mm256_sub_epi16(_mm256_setzero_si256(), v)); }

// x - paeth(a, b, c) on sixteen 16-bit lanes holding bytes.
__m256i residue16(__m256i x, __m256i a, __m256i b, __m256i c) {
    const __m256i b_c = _mm256_sub_epi16(b, c);
    const __m256i a_c = _mm256_sub_epi16(a, c);
    const __m256i pa = abs16(b_c);
    const __m256i pb = abs16(a_c);
    const __m256i pc = abs16(_mm256_add_epi16(b_c, a_c));
    const __m256i take_a = _mm256_andnot_si256(_mm256_or_si256(_mm256_cmpgt_epi16(pa, pb), _mm256_cmpgt_epi16(pa, pc)),
                                               _mm256_set1_epi16(-1));
    const __m256i take_b = _mm256_andnot_si256(_mm256_cmpgt_epi16(pb, pc), _mm256_set1_epi16(-1));
    const __m256i b_or_c = _mm256_or_si256(_mm256_and_si256(take_b, b), _mm256_andnot_si256(take_b, c));
    const __m256i predicted = _mm256_or_si256(_mm256_and_si256(take_a, a), _mm256_andnot_si256(take_a, b_or_c));
    return _mm256_sub_epi16(x, predicted);
}

__m256i load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Thirty-two residues from byte i on (i at least one pixel in).
void filter32(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t i, size_t step) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i x = load(row + i), a = load(row + i - step);
    const __m256i b = load(prior + i), c = load(prior + i - step);
    const __m256i low = residue16(_mm256_unpacklo_epi8(x, zero), _mm256_unpacklo_epi8(a, zero),
                                  _mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(c, zero));
    const __m256i high = residue16(_mm256_unpackhi_epi8(x, zero), _mm256_unpackhi_epi8(a, zero),
                                   _mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(c, zero));
    // Residues are taken modulo 256: each lane's low byte.
    const __m256i mask = _mm256_set1_epi16(0xff);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_packus_epi16(_mm256_and_si256(low, mask), _mm256_and_si256(high, mask)));
}

// The last step overlaps the one before it when the row is no whole
// number of steps: the filter reads only the picture, never its own
// output, so bytes worked out twice come out the same.
void paeth_avx2(const uint8_t* row, const uint8_t* prior, uint8_t* out, size_t bytes, int bpp) {
    const size_t step = static_cast<size_t>(bpp);
    if (bpp > 4 || bytes < step + 32) return kPlainFilters.paeth(row, prior, out, bytes, bpp);
    for (size_t i = 0; i < step; ++i) out[i] = static_cast<uint8_t>(row[i] - prior[i]);
    size_t i = step;
    for (; i + 32 <= bytes; i += 32) filter32(row, prior, out, i, step);
    if (i < bytes) filter32(row, prior, out, bytes - 32, step);
}

}  // namespace

const Filters kAvx2Filters{paeth_avx2};

}  // namespace pngio
#endif
