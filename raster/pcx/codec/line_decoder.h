// The run-length line decoder: one scan line at a time from a source of
// bytes, which is either a block in memory (the codec) or the library's
// file blocks, refilled as the line needs them. A plain portable decoder,
// an SSE2 one and an AVX2 build of the SSE2 one decode alike, byte for
// byte; decode_line runs the one chosen for this processor
// (line_decoder.cpp), and the tests call each.
#ifndef RASTER_PCX_CODEC_LINE_DECODER_H
#define RASTER_PCX_CODEC_LINE_DECODER_H

#include <cstddef>
#include <cstdint>

namespace raster {
namespace pcx {

// A run can write at most 62 bytes past the line's end (count 63, at least
// one byte still needed): a line buffer holds that many bytes more than the
// line, and the bytes past the line start the next one.
constexpr uint32_t kMaxRunOvershoot = 62;

// The encoded bytes: a window [next, end) that `fetch` moves on to the next
// block once every byte of it is used.
struct ByteSource {
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;
    // Points next and end at the next block and returns true, or returns
    // false when the data has ended. Null: the window is all there is.
    bool (*fetch)(ByteSource& source) = nullptr;
    void* context = nullptr;  // for fetch
    // Set once the data has ended part way through a line: no byte is read
    // after that, and stopped_at tells how many bytes of that line (from its
    // start, carried bytes included) the data gave.
    bool exhausted = false;
    uint32_t stopped_at = 0;

    // Makes at least one more byte available; false once the data has ended.
    bool refill() {
        if (exhausted) return false;
        if (fetch != nullptr && fetch(*this)) return true;
        exhausted = true;
        return false;
    }
};

// Decodes one line of `line_bytes` bytes into `line`, behind the `carry`
// bytes already at its start, and returns the new carry: the bytes the last
// run wrote past the line's end, which the caller moves to the start of the
// line before the next call (a carry of a line or more feeds the next lines
// without reading). `line` holds line_bytes + kMaxRunOvershoot bytes;
// `older` holds line_bytes bytes of scratch. When the data ends part way,
// the line keeps the bytes it held before beyond what the data gave, the
// source is marked exhausted and the result is 0.
using LineDecoder = uint32_t (*)(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older);

// The decoders' table, one entry (a table so that they are listed and
// chosen as the library's other fast paths are).
struct LineDecoding {
    LineDecoder decode_line;
};

// The plain decoder, which every processor runs (line_scalar.cpp); the
// SSE2 one's table, registered by line_sse2.cpp where the compiler targets
// SSE2; and the AVX2 one's, by line_avx2.cpp where the build defines
// FASTPATH_AVX2.
uint32_t decode_line_scalar(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older);
extern const LineDecoding kSse2LineDecoding;
extern const LineDecoding kAvx2LineDecoding;

// The SSE2 and AVX2 decoders for the tests, or null where the build or the
// processor lacks them (whatever RASTER_CPU says).
LineDecoder sse2_line_decoder();
LineDecoder avx2_line_decoder();

// Decodes one line with the decoder chosen once for this processor, capped
// by RASTER_CPU.
uint32_t decode_line(ByteSource& in, uint8_t* line, uint32_t line_bytes, uint32_t carry, uint8_t* older);

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_LINE_DECODER_H
