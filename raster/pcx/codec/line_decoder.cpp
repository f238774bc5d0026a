// The list of line decoders, widest first, and the choice among them.
#include "raster/pcx/codec/line_decoder.h"

#include "cpu/dispatch.h"

namespace raster {
namespace pcx {

namespace {

constexpr LineDecoding kPlainLineDecoding{decode_line_scalar};

constexpr fastpath::Variant<LineDecoding> kVariants[] = {
#if defined(FASTPATH_AVX2)
    {fastpath::Cpu::Avx2, &kAvx2LineDecoding},
#endif
#if defined(__SSE2__)
    {fastpath::Cpu::Sse2, &kSse2LineDecoding},
#endif
    {fastpath::Cpu::Plain, &kPlainLineDecoding},
};

const fastpath::Dispatch<LineDecoding>& dispatch() {
    // Built once, in a thread-safe way: the codec runs on any thread.
    static const fastpath::Dispatch<LineDecoding> decoders(kVariants, &LineDecoding::decode_line);
    return decoders;
}

}  // namespace

LineDecoder sse2_line_decoder() {
    const LineDecoding* sse2 = dispatch().at(fastpath::Cpu::Sse2);
    return sse2 != nullptr ? sse2->decode_line : nullptr;
}

LineDecoder avx2_line_decoder() {
    const LineDecoding* avx2 = dispatch().at(fastpath::Cpu::Avx2);
    return avx2 != nullptr ? avx2->decode_line : nullptr;
}

uint32_t decode_line(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older) {
    static const LineDecoder chosen = dispatch().chosen().decode_line;
    return chosen(in, line, line_bytes, carry, older);
}

}  // namespace pcx
}  // namespace raster
