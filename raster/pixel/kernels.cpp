// The kernel tables and the choice among them. Each fast kernel takes only
// the row widths it is built for; a table's entry hands narrower rows to the
// next narrower kernel, down to the reference.
#include "raster/pixel/kernels.h"

#include "raster/cpu.h"

namespace raster {
namespace pixel {

namespace {

constexpr Kernels kReference{place8_c, copy_rows_c};

#if defined(RASTER_PIXEL_SSE2)
void place8_up_to_sse2(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    if (width >= 16) return place8_sse2(buffer, pixels, width, height, stride);
    place8_c(buffer, pixels, width, height, stride);
}

void copy_rows_up_to_sse2(uint8_t* to, ptrdiff_t to_stride, const uint8_t* from, ptrdiff_t from_stride, int64_t rows,
                          size_t bytes) {
    if (bytes >= 16) return copy_rows_sse2(to, to_stride, from, from_stride, rows, bytes);
    copy_rows_c(to, to_stride, from, from_stride, rows, bytes);
}

constexpr Kernels kSse2{place8_up_to_sse2, copy_rows_up_to_sse2};
#endif

#if defined(RASTER_PIXEL_AVX2)
void place8_up_to_avx2(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride) {
    if (width >= 64) return place8_avx2(buffer, pixels, width, height, stride);
#if defined(RASTER_PIXEL_SSE2)
    place8_up_to_sse2(buffer, pixels, width, height, stride);
#else
    place8_c(buffer, pixels, width, height, stride);
#endif
}

// There is no AVX2 row copy: rows go through the SSE2 one where the build
// has it.
#if defined(RASTER_PIXEL_SSE2)
constexpr Kernels kAvx2{place8_up_to_avx2, copy_rows_up_to_sse2};
#else
constexpr Kernels kAvx2{place8_up_to_avx2, copy_rows_c};
#endif
#endif

const Kernels& choose() {
    if (const Kernels* avx2 = avx2_kernels()) return *avx2;
    if (const Kernels* sse2 = sse2_kernels()) return *sse2;
    return kReference;
}

}  // namespace

const Kernels& kernels() {
    // A function-local static: initialised once, even when several threads
    // ask at the same time.
    static const Kernels& chosen = choose();
    return chosen;
}

const Kernels& reference_kernels() { return kReference; }

const Kernels* sse2_kernels() {
#if defined(RASTER_PIXEL_SSE2)
    return &kSse2;
#else
    return nullptr;
#endif
}

const Kernels* avx2_kernels() {
#if defined(RASTER_PIXEL_AVX2)
    if (cpu_has_avx2()) return &kAvx2;
#endif
    return nullptr;
}

}  // namespace pixel
}  // namespace raster
