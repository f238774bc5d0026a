// The PCX encoder's per-line work: turning one row of pixels into its plane
// lines, and run-length encoding one plane line. The run coder has a plain
// reference and an SSE2 version that must give the same bytes; both are
// declared here so that the tests can hold one against the other. Private to
// the library.
#ifndef RASTER_PCX_CODEC_ENCODE_LINES_H
#define RASTER_PCX_CODEC_ENCODE_LINES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "raster/pcx/codec/header.h"

namespace raster {
namespace pcx_encoder {

using pcx::kLongestRun;
using pcx::kRunFlag;

// The encoder's work on one line, in its plain, SSE2 and AVX2 kinds:
// - `encode` run-length encodes `count` bytes, one plane of one line: a
//   byte below kRunFlag (0xC0) that differs from the next stays as it is;
//   every other run of equal bytes becomes a count byte (kRunFlag +
//   length, 1..kLongestRun) and the value. Runs never reach past `count`. It returns the bytes written to
//   `out`, whose `room` bytes must hold them, and stores nothing past them;
// - `count_bytes` returns the same number without writing anything;
// - `byte_planes` makes a row's byte planes as byte_planes_plain does.
struct LineCoder {
    size_t (*encode)(const uint8_t* line, size_t count, uint8_t* out, size_t room);
    size_t (*count_bytes)(const uint8_t* line, size_t count);
    void (*byte_planes)(const uint8_t* pixels, int32_t width, int32_t channels, uint8_t* line, size_t line_bytes);
};

// For the counters that count run starts: the bytes of a run of `length`
// bytes of `value` beyond the two its start is counted with. A run longer
// than 63 takes a count and value per 63 bytes, and its rest one more token.
inline size_t long_run_extra(size_t length, uint8_t value) {
    if (length <= kLongestRun) return 0;
    const size_t rest = length % kLongestRun;
    const size_t rest_bytes = rest == 0 ? 0 : (rest > 1 || value >= kRunFlag) ? 2 : 1;
    return 2 * (length / kLongestRun) + rest_bytes - 2;
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
    for (; length > kLongestRun; length -= kLongestRun, written += 2) {
        out[written] = static_cast<uint8_t>(kRunFlag | kLongestRun);
        out[written + 1] = value;
    }
    if (length > 1 || value >= kRunFlag) out[written++] = static_cast<uint8_t>(kRunFlag | length);
    out[written] = value;
    return written + 1;
}

size_t encode_runs_plain(const uint8_t* line, size_t count, uint8_t* out, size_t room);
size_t count_runs_plain(const uint8_t* line, size_t count);
#if defined(__SSE2__) || defined(_M_X64)
size_t encode_runs_sse2(const uint8_t* line, size_t count, uint8_t* out, size_t room);
size_t count_runs_sse2(const uint8_t* line, size_t count);
#endif

// The AVX2 coder, or null where the build or the processor lacks AVX2.
const LineCoder* avx2_line_coder();

// The fastest coder this processor runs, chosen once.
const LineCoder& line_coder();

// Bit planes of `width` indices (each below 2^planes): plane p of pixel x is
// bit (7 - x % 8) of byte x / 8 of line + p * line_bytes. Bytes from
// (width + 7) / 8 up to line_bytes repeat the plane's last byte.
void bit_planes(const uint8_t* indices, int32_t width, int32_t planes, uint8_t* line, size_t line_bytes);

// Byte planes of `width` pixels of `channels` bytes each (3: red, green,
// blue; 4: and alpha): channel c of pixel x is byte x of line + c *
// line_bytes. Bytes from width up to line_bytes repeat the plane's last one.
void byte_planes_plain(const uint8_t* pixels, int32_t width, int32_t channels, uint8_t* line, size_t line_bytes);

// The rest of the byte planes from pixel `from` on (at `pixels`), a pixel
// at a time, and the padding after the last one: how every kind of
// byte_planes ends.
void finish_byte_planes(const uint8_t* pixels, int32_t from, int32_t width, int32_t channels, uint8_t* line,
                        size_t line_bytes);

}  // namespace pcx_encoder
}  // namespace raster

#endif  // RASTER_PCX_CODEC_ENCODE_LINES_H
