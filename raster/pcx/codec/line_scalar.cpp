// The plain line decoder: the chunk loop with the strategies every
// processor runs, the high bytes found eight at a time in a word. The
// reference the SSE2 decoder is held against, and the decoder of builds
// without SSE2.
#include "raster/pcx/codec/line_loop.h"

namespace raster {
namespace pcx {
namespace line {

namespace {

struct PlainKernel {
    struct Plan {};
    static constexpr bool kRunsOfOne = false;

    // Bit k is set where p[k] (k = 0..63) is 0xC0 or more: a run header, or
    // the value of one. Eight bytes at a time: bit 7 of each byte is set
    // where its two top bits are, and the multiplication gathers those
    // eight bits into one byte.
    static uint64_t high_bytes(const uint8_t* p) {
        uint64_t mask = 0;
        for (int k = 0; k < 8; ++k) {
            uint64_t word = 0;
            for (int b = 0; b < 8; ++b) word |= static_cast<uint64_t>(p[8 * k + b]) << (8 * b);
            const uint64_t high = word & (word << 1) & 0x8080808080808080ull;
            mask |= (((high >> 7) * 0x0102040810204080ull) >> 56) << (8 * k);
        }
        return mask;
    }

    static bool only_runs_of_one(const uint8_t*, uint64_t) { return false; }
    static uint8_t* decode_runs_of_one(const uint8_t*, uint64_t, uint8_t* out) { return out; }

    static Cursor decode_tokens(Cursor at, uint64_t values, ptrdiff_t chunk_bytes, uint8_t* line_end, Plan&) {
        return line::decode_tokens(at, ~values, chunk_bytes, line_end);
    }
};

}  // namespace

}  // namespace line

uint32_t decode_line_scalar(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older) {
    return line::decode_line_with<line::PlainKernel>(in, line, line_bytes, carry, older);
}

}  // namespace pcx
}  // namespace raster
