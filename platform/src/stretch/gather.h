// The colours of eight 8-bit indices, shared by the plain and the SSE2
// one-to-one row kernels. Kept out of kernels.h so that the AVX2 file, built
// with other instructions, never compiles a copy of it, and given internal
// linkage so that each file that uses it has its own.
#ifndef STANDIN_STRETCH_GATHER_H
#define STANDIN_STRETCH_GATHER_H

#include <cstdint>
#include <cstring>

#include "cpu/cpu.h"

namespace standin {
namespace {

// Eight indices come in one load; c[i] is the colour of indices[i].
inline void gather_eight(const uint32_t* colors, const uint8_t* indices, uint32_t (&c)[8]) {
    uint64_t eight;
    std::memcpy(&eight, indices, sizeof eight);
    for (int i = 0; i < 8; ++i) c[i] = colors[(eight >> (fastpath::kLittleEndian ? 8 * i : 56 - 8 * i)) & 0xFF];
}

}  // namespace
}  // namespace standin

#endif  // STANDIN_STRETCH_GATHER_H
