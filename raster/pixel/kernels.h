// The inner loops of the pixel operations that have fast versions: a plain C
// reference for every processor (kernels_c.cpp), and SSE2 (kernels_sse2.cpp)
// and AVX2 (kernels_avx2.cpp) versions where the processor runs them, each in
// a file of its own that defines its kernels with internal linkage and
// registers them as one table. kernels.cpp lists the tables and chooses
// among them once. Private to the library; its tests reach every table
// through here. This header holds no function body (the AVX2 file
// includes it).
#ifndef RASTER_PIXEL_KERNELS_H
#define RASTER_PIXEL_KERNELS_H

#include <cstddef>
#include <cstdint>

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

// Every kernel takes every width. A table may leave an entry null: the
// next narrower table's is used.
struct Kernels {
    Place8 place8;
    CopyRows copy_rows;
};

// The tables the files register. kSse2Kernels exists where the compiler
// targets SSE2, kAvx2Kernels where the build sets FASTPATH_AVX2 (x86-64, see
// cpu/CMakeLists.txt). A fast kernel hands the
// rows narrower than it is built for to the plain table.
extern const Kernels kPlainKernels;
extern const Kernels kSse2Kernels;
extern const Kernels kAvx2Kernels;

// The table for the processor the library runs on: the widest it runs,
// capped by RASTER_CPU. Chosen on the first call in a thread-safe way and
// kept.
const Kernels& kernels();

// Each table on its own, for the tests, its empty entries filled: the
// reference always; SSE2 where the build has it and AVX2 where the build
// and the processor have it (whatever RASTER_CPU says), else null.
const Kernels& reference_kernels();
const Kernels* sse2_kernels();
const Kernels* avx2_kernels();

}  // namespace pixel
}  // namespace raster

#endif  // RASTER_PIXEL_KERNELS_H
