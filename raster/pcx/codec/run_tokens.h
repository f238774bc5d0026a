// Helpers the SSE2 and AVX2 run coders share. Each is given internal
// linkage, so that every file that includes this header compiles its own
// copy with its own instructions, and the AVX2 file's copy can never be the
// one a plain or SSE2 caller runs.
#ifndef RASTER_PCX_CODEC_RUN_TOKENS_H
#define RASTER_PCX_CODEC_RUN_TOKENS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/pcx/codec/header.h"

namespace raster {
namespace pcx_encoder {
namespace {

// For the counters that count run starts: the bytes of a run of `length`
// bytes of `value` beyond the two its start is counted with. A run longer
// than 63 takes a count and value per 63 bytes, and its rest one more token.
inline size_t long_run_extra(size_t length, uint8_t value) {
    if (length <= pcx::kLongestRun) return 0;
    const size_t rest = length % pcx::kLongestRun;
    const size_t rest_bytes = rest == 0 ? 0 : (rest > 1 || value >= pcx::kRunFlag) ? 2 : 1;
    return 2 * (length / pcx::kLongestRun) + rest_bytes - 2;
}

// For the SIMD coders, which read a block's bytes with one before and one
// after: line[at - 1 .. at + n] into edge[0 .. n + 1] where that runs off
// the line. The byte before the line and those after it differ from their
// neighbours inside, so a run starts at the line's start and ends at its
// end.
inline void copy_with_edges(const uint8_t* line, size_t count, size_t at, size_t n, uint8_t* edge) {
    std::memset(edge, static_cast<uint8_t>(~line[count - 1]), n + 2);
    edge[0] = at == 0 ? static_cast<uint8_t>(~line[0]) : line[at - 1];
    const size_t last = at + n + 1 < count ? at + n + 1 : count;
    std::memcpy(edge + 1, line + at, last - at);
}

// One run of `length` bytes of `value` at out[written], storing no byte
// past it: a run longer than 63 takes a count and value per 63 bytes.
// Returns where the next token goes.
inline size_t put_exact_run(uint8_t* out, size_t written, size_t length, uint8_t value) {
    for (; length > pcx::kLongestRun; length -= pcx::kLongestRun, written += 2) {
        out[written] = static_cast<uint8_t>(pcx::kRunFlag | pcx::kLongestRun);
        out[written + 1] = value;
    }
    if (length > 1 || value >= pcx::kRunFlag) out[written++] = static_cast<uint8_t>(pcx::kRunFlag | length);
    out[written] = value;
    return written + 1;
}

}  // namespace
}  // namespace pcx_encoder
}  // namespace raster

#endif  // RASTER_PCX_CODEC_RUN_TOKENS_H
