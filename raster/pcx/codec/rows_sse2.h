// The row writers' fast loops, in a table (SSE2 today). Each stores the
// longest stretch of pixels it takes whole and returns how many it stored;
// the portable loop in rows.cpp stores the rest. An empty entry leaves all
// of them to it.
#ifndef RASTER_PCX_CODEC_ROWS_SSE2_H
#define RASTER_PCX_CODEC_ROWS_SSE2_H

#include <cstdint>

namespace raster {
namespace pcx {

struct RowLoops {
    // One plane of 1 bit into one byte a pixel, `base` or `base` + 1, 128
    // pixels at a time.
    int32_t (*expand_bits)(const uint8_t* line, int32_t count, uint8_t* dest, uint8_t base);
    // Planes red, green, blue into blue, green, red and the byte already
    // there, 16 pixels at a time.
    int32_t (*interleave_bgrx)(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int32_t count,
                               uint8_t* dest);
    // Planes red, green, blue and alpha (null: 255) into red, green, blue,
    // alpha, 16 pixels at a time.
    int32_t (*interleave_rgba)(const uint8_t* red, const uint8_t* green, const uint8_t* blue, const uint8_t* alpha,
                               int32_t count, uint8_t* dest);
    // 8-bit indices into the four-byte entries of `table` (RGBA), 8 pixels
    // at a time.
    int32_t (*lookup_four_bytes)(const uint8_t* line, int32_t count, uint8_t* dest, const uint8_t* table);
};

// Registered by rows_sse2.cpp where the compiler targets SSE2.
extern const RowLoops kSse2RowLoops;

// The loops for this processor, capped by RASTER_CPU, chosen once; every
// entry null where only the portable loops run.
const RowLoops& row_loops();

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_ROWS_SSE2_H
