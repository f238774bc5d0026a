// The row writers' SSE2 loops. Each stores the longest stretch of pixels
// it takes whole and returns how many it stored; the portable loop in
// rows.cpp stores the rest.
#ifndef RASTER_PCX_CODEC_ROWS_SSE2_H
#define RASTER_PCX_CODEC_ROWS_SSE2_H

#include <cstdint>

#include "raster/pcx/codec/line_decoder.h"

namespace raster {
namespace pcx {

#if RASTER_PCX_HAVE_SSE2
// One plane of 1 bit into one byte a pixel, `base` or `base` + 1, 128
// pixels at a time.
int32_t expand_bits_sse2(const uint8_t* line, int32_t count, uint8_t* dest, uint8_t base);
// Planes red, green, blue into blue, green, red and the byte already there,
// 16 pixels at a time.
int32_t interleave_bgrx_sse2(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int32_t count,
                             uint8_t* dest);
// Planes red, green, blue and alpha (null: 255) into red, green, blue,
// alpha, 16 pixels at a time.
int32_t interleave_rgba_sse2(const uint8_t* red, const uint8_t* green, const uint8_t* blue, const uint8_t* alpha,
                             int32_t count, uint8_t* dest);
// 8-bit indices into the four-byte entries of `table` (RGBA), 8 pixels at
// a time.
int32_t lookup_four_bytes_sse2(const uint8_t* line, int32_t count, uint8_t* dest, const uint8_t* table);
#endif

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_ROWS_SSE2_H
