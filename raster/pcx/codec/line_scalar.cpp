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

// The single bytes between two runs go out as one span, sixteen bytes per
// copy (even for an empty span: the extra bytes land ahead of `out`, inside
// the line). Stops, with `next` at the first token not decoded, as soon as
// `out` has come within sixteen bytes of the line's end.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
Cursor
decode_spans(Cursor at_chunk, uint64_t headers, uint8_t* line_end) {
    uint8_t* const wide_end = line_end - kWideStore;
    const uint8_t* next = at_chunk.next;
    uint8_t* out = at_chunk.out;
    ptrdiff_t from = 0;  // the first byte not yet decoded
    for (;;) {
        // The span ends at the next header, or with the chunk (a header in
        // byte 63 took its value from byte 64).
        const ptrdiff_t chunk_end = from > kChunk ? from : kChunk;
        const ptrdiff_t at = headers != 0 ? static_cast<ptrdiff_t>(lowest_bit(headers)) : chunk_end;
        const ptrdiff_t span = at - from;
        if (out + span > wide_end) {
            // Near the line's end: single bytes stop there.
            const ptrdiff_t room = line_end - out;
            const ptrdiff_t taken = span < room ? span : room;
            std::memcpy(out, next + from, static_cast<size_t>(taken));
            out += taken;
            next += from + taken;
            break;
        }
        std::memcpy(out, next + from, kWideStore);
        for (ptrdiff_t k = kWideSpan; k < span; k += kWideSpan) std::memcpy(out + k, next + from + k, kWideStore);
        out += span;
        if (headers == 0) {
            next += at;
            break;
        }
        headers &= headers - 1;
        const uint8_t value = next[at + 1];
        const uint32_t count = next[at] & kRunCountMask;
        std::memcpy(out, kSplat.rows[value], kWideStore);
        if (count > kWideStore) store_long_run(out, value, count, line_end);
        out += count;
        from = at + 2;
        if (out > wide_end) {
            next += from;
            break;
        }
    }
    return Cursor{next, out};
}

}  // namespace line

uint32_t decode_line_scalar(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older) {
    return line::decode_line_with<line::PlainKernel>(in, line, line_bytes, carry, older);
}

}  // namespace pcx
}  // namespace raster
