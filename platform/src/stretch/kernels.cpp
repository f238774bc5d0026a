// Which table of stretch kernels runs: the widest the processor has.
#include "cpu.h"
#include "stretch/kernels.h"

namespace standin {

#if defined(STANDIN_HAVE_AVX2_KERNELS)
extern const StretchKernels kAvx2Kernels;  // stretch/kernels_avx2.cpp
#endif

const StretchKernels* avx2_kernels() {
#if defined(STANDIN_HAVE_AVX2_KERNELS)
    return cpu_has_avx2() ? &kAvx2Kernels : nullptr;
#else
    return nullptr;
#endif
}

const StretchKernels& stretch_kernels() {
    // A function-local static: initialised once, even with several threads
    // drawing at the same time.
    static const StretchKernels* const chosen = [] {
        if (const StretchKernels* avx2 = avx2_kernels()) return avx2;
        if (const StretchKernels* sse2 = sse2_kernels()) return sse2;
        return &kReferenceKernels;
    }();
    return *chosen;
}

}  // namespace standin
