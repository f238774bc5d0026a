// The row writers' SSE2 loops, defined here alone and registered as one
// table.
#include "raster/pcx/codec/rows_sse2.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

namespace raster {
namespace pcx {

namespace {

// Each byte is copied across eight bytes, each of which keeps its own bit,
// and a set bit makes the index one above the base.
int32_t expand_bits_sse2(const uint8_t* line, int32_t count, uint8_t* dest, uint8_t base_index) {
    const __m128i bit = _mm_set_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i base = _mm_set1_epi8(static_cast<char>(base_index));
    int32_t x = 0;
    for (; x + 128 <= count; x += 128) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x / 8));
        const __m128i pairs[2] = {_mm_unpacklo_epi8(bytes, bytes), _mm_unpackhi_epi8(bytes, bytes)};
        for (int h = 0; h < 2; ++h) {
            const __m128i quads[2] = {_mm_unpacklo_epi16(pairs[h], pairs[h]), _mm_unpackhi_epi16(pairs[h], pairs[h])};
            for (int q = 0; q < 2; ++q) {
                const __m128i eights[2] = {_mm_unpacklo_epi32(quads[q], quads[q]),
                                           _mm_unpackhi_epi32(quads[q], quads[q])};
                for (int e = 0; e < 2; ++e) {
                    const __m128i set = _mm_cmpeq_epi8(_mm_and_si128(eights[e], bit), bit);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + x + 64 * h + 32 * q + 16 * e),
                                     _mm_sub_epi8(base, set));
                }
            }
        }
    }
    return x;
}

// The planes interleave into B, G, R, 0 words, and each word takes the
// fourth byte from the destination.
int32_t interleave_bgrx_sse2(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int32_t count,
                             uint8_t* dest) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
        const __m128i bg_low = _mm_unpacklo_epi8(b, g);
        const __m128i bg_high = _mm_unpackhi_epi8(b, g);
        const __m128i r_low = _mm_unpacklo_epi8(r, zero);
        const __m128i r_high = _mm_unpackhi_epi8(r, zero);
        const __m128i pixels[4] = {_mm_unpacklo_epi16(bg_low, r_low), _mm_unpackhi_epi16(bg_low, r_low),
                                   _mm_unpacklo_epi16(bg_high, r_high), _mm_unpackhi_epi16(bg_high, r_high)};
        uint8_t* out = dest + static_cast<size_t>(x) * 4;
        for (int k = 0; k < 4; ++k) {
            __m128i* at = reinterpret_cast<__m128i*>(out + 16 * k);
            const __m128i kept = _mm_and_si128(_mm_loadu_si128(at), fourth);
            _mm_storeu_si128(at, _mm_or_si128(kept, pixels[k]));
        }
    }
    return x;
}

int32_t interleave_rgba_sse2(const uint8_t* red, const uint8_t* green, const uint8_t* blue, const uint8_t* alpha,
                             int32_t count, uint8_t* dest) {
    const __m128i opaque = _mm_set1_epi8(-1);
    int32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
        const __m128i a = alpha != nullptr ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + x)) : opaque;
        const __m128i rg_low = _mm_unpacklo_epi8(r, g);
        const __m128i rg_high = _mm_unpackhi_epi8(r, g);
        const __m128i ba_low = _mm_unpacklo_epi8(b, a);
        const __m128i ba_high = _mm_unpackhi_epi8(b, a);
        uint8_t* out = dest + static_cast<size_t>(x) * 4;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(rg_low, ba_low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(rg_low, ba_low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpacklo_epi16(rg_high, ba_high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi16(rg_high, ba_high));
    }
    return x;
}

int entry(const uint8_t* table, uint8_t index) {
    int value;
    std::memcpy(&value, table + 4 * static_cast<size_t>(index), sizeof value);
    return value;
}

// Each pixel's entry is fetched on its own, but eight pixels leave in two
// stores: a store per pixel is what limits the plain loop.
int32_t lookup_four_bytes_sse2(const uint8_t* line, int32_t count, uint8_t* dest, const uint8_t* table) {
    int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const uint8_t* at = line + x;
        const __m128i low =
            _mm_setr_epi32(entry(table, at[0]), entry(table, at[1]), entry(table, at[2]), entry(table, at[3]));
        const __m128i high =
            _mm_setr_epi32(entry(table, at[4]), entry(table, at[5]), entry(table, at[6]), entry(table, at[7]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 4 * static_cast<size_t>(x)), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 4 * static_cast<size_t>(x) + 16), high);
    }
    return x;
}

}  // namespace

// Listed in rows.cpp.
const RowLoops kSse2RowLoops{expand_bits_sse2, interleave_bgrx_sse2, interleave_rgba_sse2, lookup_four_bytes_sse2};

}  // namespace pcx
}  // namespace raster

#endif  // __SSE2__
