// The list of stretch kernel tables, widest first, and the choice among
// them.
#include "stretch/kernels.h"

#include "dispatch.h"

namespace standin {

namespace {

void fill(StretchKernels& to, const StretchKernels& from) {
    if (to.name == nullptr) to.name = from.name;
    if (to.lookup_row == nullptr) to.lookup_row = from.lookup_row;
    if (to.lookup_doubled == nullptr) to.lookup_doubled = from.lookup_doubled;
    if (to.replicate == nullptr) to.replicate = from.replicate;
    if (to.stream_row == nullptr) to.stream_row = from.stream_row;
    if (to.finish_streaming == nullptr) to.finish_streaming = from.finish_streaming;
    if (to.wide_row == nullptr) to.wide_row = from.wide_row;
}

constexpr Variant<StretchKernels> kVariants[] = {
#if defined(STANDIN_HAVE_AVX2_KERNELS)
    {Cpu::Avx2, &kAvx2Kernels},
#endif
#if defined(__SSE2__)
    {Cpu::Sse2, &kSse2Kernels},
#endif
    {Cpu::Plain, &kReferenceKernels},
};

const Dispatch<StretchKernels>& dispatch() {
    // A function-local static: initialised once, even with several threads
    // drawing at the same time.
    static const Dispatch<StretchKernels> tables(kVariants, fill);
    return tables;
}

}  // namespace

const StretchKernels* sse2_kernels() { return dispatch().at(Cpu::Sse2); }
const StretchKernels* avx2_kernels() { return dispatch().at(Cpu::Avx2); }

const StretchKernels& stretch_kernels() {
    static const StretchKernels& chosen = dispatch().chosen();
    return chosen;
}

}  // namespace standin
