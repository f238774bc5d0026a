// The SSE2 kernels, sixteen bytes per load and store. Compiled wherever the
// compiler may assume SSE2 (every x86-64 build, and the web build, where
// these intrinsics become WebAssembly SIMD).
#include "raster/pixel/kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace raster {
namespace pixel {

namespace {

inline __m128i load16(const uint8_t* bytes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)); }
inline void store16(uint8_t* bytes, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), value); }

// Sixteen indices placed: where an index is 0 the surface byte stays, so
// the result is source | (surface & (source == 0)).
inline __m128i placed16(__m128i source, const uint8_t* pixels, __m128i zero) {
    return _mm_or_si128(source, _mm_and_si128(load16(pixels), _mm_cmpeq_epi8(source, zero)));
}

// A row's last sixteen bytes are worked out first, from the surface as it
// was, and stored last: the loop's final store may overlap them, but placing
// a byte twice gives the same byte, and no load has to wait for a store it
// partly overlaps. Thirty-two transparent bytes in a row (common around and
// between the letters of a logo) leave the surface untouched.
void place8_sse2(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    if (width < 16) return kPlainKernels.place8(buffer, pixels, width, height, stride);
    const __m128i zero = _mm_setzero_si128();
    const int32_t last = width - 16;
    for (int32_t r = 0; r < height; ++r, buffer += width, pixels += stride) {
        const __m128i tail = placed16(load16(buffer + last), pixels + last, zero);
        int32_t x = 0;
        for (; x + 32 <= last; x += 32) {
            const __m128i low = load16(buffer + x);
            const __m128i high = load16(buffer + x + 16);
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(low, high), zero)) == 0xFFFF) continue;
            store16(pixels + x, placed16(low, pixels + x, zero));
            store16(pixels + x + 16, placed16(high, pixels + x + 16, zero));
        }
        for (; x < last; x += 16) store16(pixels + x, placed16(load16(buffer + x), pixels + x, zero));
        store16(pixels + last, tail);
    }
}

// The last sixteen bytes of a row overlap the ones before rather than going
// byte by byte. A demo row is a few hundred bytes, so a call into the C
// library's memcpy per row, which first picks a routine for the size, costs
// about as much as the copying itself.
void copy_rows_sse2(uint8_t* to, ptrdiff_t to_stride, const uint8_t* from, ptrdiff_t from_stride, int64_t rows,
                    size_t bytes) {
    if (bytes < 16) return kPlainKernels.copy_rows(to, to_stride, from, from_stride, rows, bytes);
    for (int64_t row = 0; row < rows; ++row, to += to_stride, from += from_stride) {
        size_t k = 0;
        for (; k + 16 < bytes; k += 16) store16(to + k, load16(from + k));
        store16(to + bytes - 16, load16(from + bytes - 16));
    }
}

}  // namespace

const Kernels kSse2Kernels{place8_sse2, copy_rows_sse2};

}  // namespace pixel
}  // namespace raster
#endif
