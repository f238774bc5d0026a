// The SSE2 line decoder: the chunk loop with the SSE2 kernel
// (line_kernel_sse2.h).
#include "raster/pcx/codec/line_decoder.h"

#if defined(__SSE2__)

#include "raster/pcx/codec/line_kernel_sse2.h"

namespace raster {
namespace pcx {
namespace line {

namespace {

uint32_t decode_line_sse2(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older) {
    return decode_line_with<Sse2Kernel>(in, line, line_bytes, carry, older);
}

}  // namespace

}  // namespace line

// Listed in line_decoder.cpp.
const LineDecoding kSse2LineDecoding{line::decode_line_sse2};

}  // namespace pcx
}  // namespace raster

#endif  // __SSE2__
