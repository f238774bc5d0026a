// The list of kernel tables, widest first, and the choice among them.
#include "raster/pixel/kernels.h"

#include "raster/dispatch.h"

namespace raster {
namespace pixel {

namespace {

void fill(Kernels& to, const Kernels& from) {
    if (to.place8 == nullptr) to.place8 = from.place8;
    if (to.copy_rows == nullptr) to.copy_rows = from.copy_rows;
}

constexpr Variant<Kernels> kVariants[] = {
#if defined(RASTER_PIXEL_AVX2)
    {Cpu::Avx2, &kAvx2Kernels},
#endif
#if defined(__SSE2__)
    {Cpu::Sse2, &kSse2Kernels},
#endif
    {Cpu::Plain, &kPlainKernels},
};

const Dispatch<Kernels>& dispatch() {
    // A function-local static: initialised once, even when several threads
    // ask at the same time.
    static const Dispatch<Kernels> tables(kVariants, fill);
    return tables;
}

}  // namespace

const Kernels& kernels() {
    static const Kernels& chosen = dispatch().chosen();
    return chosen;
}

const Kernels& reference_kernels() { return *dispatch().at(Cpu::Plain); }
const Kernels* sse2_kernels() { return dispatch().at(Cpu::Sse2); }
const Kernels* avx2_kernels() { return dispatch().at(Cpu::Avx2); }

}  // namespace pixel
}  // namespace raster
