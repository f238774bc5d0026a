// The pixel kernels behind StretchDIBits: plain C references, with SSE2 and
// AVX2 variants in files of their own, gathered in tables of which one is
// chosen once for the processor at hand. Every kernel of every table writes
// exactly what the reference writes, and nothing outside the pixels it is
// given (a variant may store past a run's end only over pixels a later run
// of the same row writes).
#ifndef STANDIN_STRETCH_KERNELS_H
#define STANDIN_STRETCH_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace standin {

// One row of an enlargement: neighbouring destination columns that show the
// same source column form a run, `count[i]` columns long.
struct Runs {
    const int32_t* count = nullptr;
    size_t runs = 0;      // number of runs
    size_t width = 0;     // destination columns, the sum of the counts
    int32_t longest = 0;  // the longest run
    int32_t uniform = 0;  // the length of every run but the first and last, or 0
};

struct StretchKernels {
    const char* name;
    // An 8-bit row shown one to one: out[k] = colors[indices[k]], k < width.
    void (*lookup_row)(const uint32_t* colors, const uint8_t* indices, size_t width, uint32_t* out);
    // An 8-bit row shown twice as wide: out[2i] = out[2i + 1] =
    // colors[indices[i]], i < runs.
    void (*lookup_doubled)(const uint32_t* colors, const uint8_t* indices, size_t runs, uint32_t* out);
    // Run i filled with colors[i].
    void (*replicate)(const uint32_t* colors, const Runs& runs, uint32_t* out);
    // A row made aside stored out to the framebuffer, bypassing the caches
    // (null: no such stores here, nor in any
    // narrower table); finish_streaming() makes such stores
    // visible to whoever reads the framebuffer next.
    void (*stream_row)(const uint32_t* line, size_t width, uint32_t* out);
    void (*finish_streaming)();
    // A row made aside copied out with the widest stores there are (null:
    // memcpy does as well, here and in every narrower table). `line` is best placed at the same offset from a
    // 32-byte boundary as `out`.
    void (*wide_row)(const uint32_t* line, size_t width, uint32_t* out);
};

// The tables the kernel files register, each defining its kernels with
// internal linkage: the plain C one, which every other table must match and
// which fills every entry; SSE2 where the compiler targets it; AVX2 where
// the build compiles kernels_avx2.cpp for it (FASTPATH_AVX2).
// A table's empty entries are taken from the next narrower one.
extern const StretchKernels kReferenceKernels;
extern const StretchKernels kSse2Kernels;
extern const StretchKernels kAvx2Kernels;

// Each table on its own, its empty entries filled, for the tests: null
// where this build has no such table or the processor cannot run it
// (whatever RASTER_CPU says).
const StretchKernels* sse2_kernels();
const StretchKernels* avx2_kernels();

// The table StretchDIBits uses: the widest this processor runs, capped by
// RASTER_CPU, chosen on the first call in a thread-safe way and kept.
const StretchKernels& stretch_kernels();

}  // namespace standin

#endif  // STANDIN_STRETCH_KERNELS_H
