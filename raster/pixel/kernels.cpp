// The list of kernel tables, widest first, and the choice among them.
#include "raster/pixel/kernels.h"

#include "cpu/dispatch.h"

namespace raster {
namespace pixel {

namespace {

constexpr fastpath::Variant<Kernels> kVariants[] = {
#if defined(FASTPATH_AVX2)
    {fastpath::Cpu::Avx2, &kAvx2Kernels},
#endif
#if defined(__SSE2__)
    {fastpath::Cpu::Sse2, &kSse2Kernels},
#endif
    {fastpath::Cpu::Plain, &kPlainKernels},
};

const fastpath::Dispatch<Kernels>& dispatch() {
    // A function-local static: initialised once, even when several threads
    // ask at the same time.
    static const fastpath::Dispatch<Kernels> tables(kVariants, &Kernels::place8, &Kernels::copy_rows);
    return tables;
}

}  // namespace

const Kernels& kernels() {
    static const Kernels& chosen = dispatch().chosen();
    return chosen;
}

const Kernels& reference_kernels() { return *dispatch().at(fastpath::Cpu::Plain); }
const Kernels* sse2_kernels() { return dispatch().at(fastpath::Cpu::Sse2); }
const Kernels* avx2_kernels() { return dispatch().at(fastpath::Cpu::Avx2); }

}  // namespace pixel
}  // namespace raster
