// The AVX2 kernels, thirty-two bytes per load and store. This file alone is
// compiled for AVX2 (the build sets FASTPATH_AVX2 where it does so), and
// its code runs only once the processor is known to have it. It includes no
// header but the intrinsics and the kernel declarations, so no inline
// function shared with other files is ever compiled here with AVX2
// instructions in it.
#include "raster/pixel/kernels.h"

#if defined(FASTPATH_AVX2)
#if !defined(__AVX2__)
#error "kernels_avx2.cpp must be compiled for AVX2"
#endif
#include <immintrin.h>

namespace raster {
namespace pixel {

namespace {

inline __m256i load32(const uint8_t* bytes) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)); }
inline void store32(uint8_t* bytes, __m256i value) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes), value); }

inline __m256i placed32(__m256i source, const uint8_t* pixels, __m256i zero) {
    return _mm256_or_si256(source, _mm256_and_si256(load32(pixels), _mm256_cmpeq_epi8(source, zero)));
}

// The SSE2 routine's order, thirty-two bytes at a time: the row's last
// thirty-two worked out first and stored last, sixty-four transparent bytes
// in a row skipped.
void place8_avx2(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    if (width < 32) return kPlainKernels.place8(buffer, pixels, width, height, stride);
    const __m256i zero = _mm256_setzero_si256();
    const int32_t last = width - 32;
    for (int32_t r = 0; r < height; ++r, buffer += width, pixels += stride) {
        const __m256i tail = placed32(load32(buffer + last), pixels + last, zero);
        int32_t x = 0;
        for (; x + 64 <= last; x += 64) {
            const __m256i low = load32(buffer + x);
            const __m256i high = load32(buffer + x + 32);
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(low, high), zero)) == -1) continue;
            store32(pixels + x, placed32(low, pixels + x, zero));
            store32(pixels + x + 32, placed32(high, pixels + x + 32, zero));
        }
        for (; x < last; x += 32) store32(pixels + x, placed32(load32(buffer + x), pixels + x, zero));
        store32(pixels + last, tail);
    }
    _mm256_zeroupper();
}

}  // namespace

// No AVX2 row copy: the SSE2 one serves.
const Kernels kAvx2Kernels{place8_avx2, nullptr};

}  // namespace pixel
}  // namespace raster
#endif
