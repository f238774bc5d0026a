// The inner loops of the pixel operations that have fast versions: a plain C
// reference for every processor (kernels_c.cpp), and SSE2 (kernels_sse2.cpp)
// and AVX2 (kernels_avx2.cpp) versions where the processor runs them, each in
// a file of its own so that only the AVX2 one is compiled for AVX2. The
// operations call them through one table, chosen the first time it is asked
// for. Private to the library; its tests reach every table through here.
#ifndef RASTER_PIXEL_KERNELS_H
#define RASTER_PIXEL_KERNELS_H

#include <cstddef>
#include <cstdint>

// SSE2 is part of every x86-64 processor, so it is compiled in wherever the
// compiler may assume it, and not asked for at run time.
#if defined(__SSE2__) || defined(_M_X64)
#define RASTER_PIXEL_SSE2 1
#endif

namespace raster {
namespace pixel {

// Places `height` rows of `width` palette indices (each row `width` bytes
// after the last) onto 8-bit surface rows `stride` bytes apart, the first at
// `pixels`; where an index is 0 the surface byte stays as it was.
using Place8 = void (*)(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride);
// Copies `rows` rows of `bytes` bytes between two areas that do not overlap,
// each row's addresses `to_stride` and `from_stride` after the last's.
using CopyRows = void (*)(uint8_t* to, ptrdiff_t to_stride, const uint8_t* from, ptrdiff_t from_stride, int64_t rows,
                          size_t bytes);

struct Kernels {
    Place8 place8;
    CopyRows copy_rows;
};

// The table for the processor the library runs on: AVX2 where it has it,
// else SSE2 where the build has it, else the reference. Chosen on the first
// call in a thread-safe way and kept.
const Kernels& kernels();

// Each table on its own, for the tests: the reference always; SSE2 where the
// build has it and AVX2 where the build and the processor have it, else
// null.
const Kernels& reference_kernels();
const Kernels* sse2_kernels();
const Kernels* avx2_kernels();

// The kernels themselves. Each fast one takes only the widths it is built
// for and leaves narrower ones to the table: place8_sse2 rows of at least 16
// bytes, place8_avx2 rows of at least 64 bytes, copy_rows_sse2 rows of at
// least 16 bytes.
void place8_c(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride);
void copy_rows_c(uint8_t* to, ptrdiff_t to_stride, const uint8_t* from, ptrdiff_t from_stride, int64_t rows,
                 size_t bytes);
#if defined(RASTER_PIXEL_SSE2)
void place8_sse2(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride);
void copy_rows_sse2(uint8_t* to, ptrdiff_t to_stride, const uint8_t* from, ptrdiff_t from_stride, int64_t rows,
                    size_t bytes);
#endif
// RASTER_PIXEL_AVX2 is set by the build where it compiles kernels_avx2.cpp
// for AVX2 (GCC and Clang on x86).
#if defined(RASTER_PIXEL_AVX2)
void place8_avx2(const uint8_t* buffer, uint8_t* pixels, int32_t width, int32_t height, size_t stride);
#endif

}  // namespace pixel
}  // namespace raster

#endif  // RASTER_PIXEL_KERNELS_H
