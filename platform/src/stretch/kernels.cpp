// The list of stretch kernel tables, widest first, and the choice among
// them.
#include "stretch/kernels.h"

#include "cpu/dispatch.h"

namespace standin {

namespace {

constexpr fastpath::Variant<StretchKernels> kVariants[] = {
#if defined(FASTPATH_AVX2)
    {fastpath::Cpu::Avx2, &kAvx2Kernels},
#endif
#if defined(__SSE2__)
    {fastpath::Cpu::Sse2, &kSse2Kernels},
#endif
    {fastpath::Cpu::Plain, &kReferenceKernels},
};

const fastpath::Dispatch<StretchKernels>& dispatch() {
    // A function-local static: initialised once, even with several threads
    // drawing at the same time.
    static const fastpath::Dispatch<StretchKernels> tables(
        kVariants, &StretchKernels::name, &StretchKernels::lookup_row, &StretchKernels::lookup_doubled,
        &StretchKernels::replicate, &StretchKernels::stream_row, &StretchKernels::finish_streaming,
        &StretchKernels::wide_row);
    return tables;
}

}  // namespace

const StretchKernels* sse2_kernels() { return dispatch().at(fastpath::Cpu::Sse2); }
const StretchKernels* avx2_kernels() { return dispatch().at(fastpath::Cpu::Avx2); }

const StretchKernels& stretch_kernels() {
    static const StretchKernels& chosen = dispatch().chosen();
    return chosen;
}

}  // namespace standin
