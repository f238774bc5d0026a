// Helpers shared by the set-up, registry, palette and presentation code.
#ifndef RASTER_SURFACE_INTERNAL_H
#define RASTER_SURFACE_INTERNAL_H

#include "raster/state.h"

#include <cstdint>

namespace raster {
namespace detail {

constexpr uint32_t kInfoHeaderBytes = 40;  // BITMAPINFOHEADER
constexpr uint32_t kV4HeaderBytes = 108;   // BITMAPV4HEADER
constexpr uint32_t kMaskedInfoBytes = 56;  // 40-byte header and four masks
constexpr uint32_t kIndexTableBytes = 256 * 2;
constexpr uint32_t kRgbTableBytes = 256 * 4;
constexpr uint32_t kIndexInfoBytes = kInfoHeaderBytes + kIndexTableBytes;  // 552
constexpr uint32_t kRgbInfoBytes = kInfoHeaderBytes + kRgbTableBytes;      // 1064

// Writes the 256 little-endian 16-bit palette indices 0..255 (512 bytes).
void write_index_table(uint8_t* table);
// Copies the 256 entries of rgb_color_table (1024 bytes).
void write_rgb_table(uint8_t* table);

// Rebuilds native_color_table for a surface of `bpp` bits from
// logical_palette; 8-bit surfaces do not use it and leave it alone.
void rebuild_native_color_table(int32_t bpp);

// The active surface's colour table, or null when its bitmap-info block
// cannot hold `bytes` of table after header_size.
uint8_t* active_color_table(uint32_t bytes);

}  // namespace detail
}  // namespace raster

#endif  // RASTER_SURFACE_INTERNAL_H
