// The PCX encoder's per-line work: turning one row of pixels into its plane
// lines, and run-length encoding one plane line. The run coder has a plain
// reference and SSE2 and AVX2 versions that must give the same bytes; the
// tests hold each against the plain one. Private to the library. This
// header holds no function body: the AVX2 file includes it.
#ifndef RASTER_PCX_CODEC_ENCODE_LINES_H
#define RASTER_PCX_CODEC_ENCODE_LINES_H

#include <cstddef>
#include <cstdint>

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

size_t encode_runs_plain(const uint8_t* line, size_t count, uint8_t* out, size_t room);
size_t count_runs_plain(const uint8_t* line, size_t count);

// The coders the files register, each defining its routines with internal
// linkage: the plain one (encode_lines.cpp), which fills every entry; SSE2
// (encode_runs_sse2.cpp) where the compiler targets it; AVX2
// (encode_lines_avx2.cpp, compiled for AVX2) where the build sets
// FASTPATH_AVX2. An empty entry is taken from the next narrower coder.
extern const LineCoder kPlainLineCoder;
extern const LineCoder kSse2LineCoder;
extern const LineCoder kAvx2LineCoder;

// Each coder on its own, its empty entries filled, for the tests: null
// where the build or the processor lacks it (whatever RASTER_CPU says).
const LineCoder* sse2_line_coder();
const LineCoder* avx2_line_coder();

// The widest coder this processor runs, capped by RASTER_CPU, chosen once.
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
