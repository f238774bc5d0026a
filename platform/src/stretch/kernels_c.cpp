// The plain C stretch kernels: what every faster table must match, and what
// runs where no faster one is built (WebAssembly, other processors).
#include <cstring>

#include "cpu/cpu.h"
#include "stretch/gather.h"
#include "stretch/kernels.h"

namespace standin {

namespace {

// Eight indices come in one load and their colours leave in one copy, which
// compilers turn into wide moves.
void lookup_row(const uint32_t* colors, const uint8_t* indices, size_t width, uint32_t* out) {
    size_t k = 0;
    for (; k + 8 <= width; k += 8) {
        uint32_t c[8];
        gather_eight(colors, indices + k, c);
        std::memcpy(out + k, c, sizeof c);
    }
    for (; k < width; ++k) out[k] = colors[indices[k]];
}

void lookup_doubled(const uint32_t* colors, const uint8_t* indices, size_t runs, uint32_t* out) {
    for (size_t i = 0; i < runs; ++i) out[2 * i] = out[2 * i + 1] = colors[indices[i]];
}

void replicate(const uint32_t* colors, const Runs& runs, uint32_t* out) {
    size_t p = 0;
    for (size_t i = 0; i < runs.runs; ++i) {
        const uint32_t color = colors[i];
        for (int32_t k = 0; k < runs.count[i]; ++k) out[p++] = color;
    }
}

}  // namespace

const StretchKernels kReferenceKernels = {"C", lookup_row, lookup_doubled, replicate, nullptr, nullptr, nullptr};

}  // namespace standin
