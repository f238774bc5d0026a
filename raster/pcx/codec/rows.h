// Row writers: one decoded line (planes `bpl` bytes apart) into one row of
// pixels, a writer per layout and destination, chosen once per picture so
// that the pixel loops hold no test on layout or depth. Every colour a
// writer needs comes in `table`; none reads library state.
#ifndef RASTER_PCX_CODEC_ROWS_H
#define RASTER_PCX_CODEC_ROWS_H

#include <cstddef>
#include <cstdint>

#include "raster/pcx/codec/format.h"

namespace raster {
namespace pcx {

// Converts the first `count` pixels of `line` into `dest`. The line buffer
// may be read a few bytes past the plane's useful ones (up to 3: it holds
// kMaxRunOvershoot more); those pixels are not stored.
using RowWriter = void (*)(const uint8_t* line, uint32_t bpl, int32_t count, uint8_t* dest, const uint8_t* table);

// Surfaces, by depth: 8 bits (pictures of up to 16 colours as index + 10,
// 256-colour pictures as their indices; true colour has no writer), and
// 16, 24 and 32 bits through `table`, the library's native colour table (a
// 16-bit value per index, or fill, red, green, blue for 24 and 32 bits).
// True colour into 32 bits leaves each pixel's fourth byte as it was.
enum SurfaceDepth { kDepth8, kDepth16, kDepth24, kDepth32, kDepthCount };
RowWriter surface_row_writer(Layout layout, SurfaceDepth depth);

// The codec's formats: PCX_FORMAT_INDICES (the picture's own indices; no
// writer for true colour), PCX_FORMAT_RGB (`table`: 256 colours, red,
// green, blue) and PCX_FORMAT_RGBA (`table`: 256 entries red, green, blue,
// alpha). True colour needs no table: alpha is the fourth plane, or 255.
RowWriter codec_row_writer(Layout layout, int32_t format);

}  // namespace pcx
}  // namespace raster

#endif  // RASTER_PCX_CODEC_ROWS_H
