// Reading colours back out of the library: palette entries, and any
// surface's pixels as red, green, blue triples whatever its depth.
#include <raster/raster.h>

#include <cstddef>
#include <cstdint>

#include "raster/state.h"

using raster::state;

namespace {

// One routine per depth turns a row of count pixels into triples.
using RowReader = void (*)(const uint8_t* pixels, int32_t count, uint8_t* rgb);

void read_row_8(const uint8_t* pixels, int32_t count, uint8_t* rgb) {
    // The library palette as it is now: the colours present shows.
    const PALETTEENTRY* palette = state.logical_palette.palPalEntry;
    for (int32_t i = 0; i < count; ++i, rgb += 3) {
        const PALETTEENTRY& entry = palette[pixels[i]];
        rgb[0] = entry.peRed;
        rgb[1] = entry.peGreen;
        rgb[2] = entry.peBlue;
    }
}

void read_row_16(const uint8_t* pixels, int32_t count, uint8_t* rgb) {
    // RGB 5-6-5, each field widened to 8 bits by repeating its high bits, so
    // that full intensity reads back as 255 (as the display shows it).
    for (int32_t i = 0; i < count; ++i, rgb += 3) {
        const uint32_t value = uint32_t{pixels[i * 2]} | uint32_t{pixels[i * 2 + 1]} << 8;
        const uint32_t red = value >> 11;
        const uint32_t green = (value >> 5) & 0x3F;
        const uint32_t blue = value & 0x1F;
        rgb[0] = static_cast<uint8_t>(red << 3 | red >> 2);
        rgb[1] = static_cast<uint8_t>(green << 2 | green >> 4);
        rgb[2] = static_cast<uint8_t>(blue << 3 | blue >> 2);
    }
}

void read_row_24(const uint8_t* pixels, int32_t count, uint8_t* rgb) {
    for (int32_t i = 0; i < count; ++i, rgb += 3, pixels += 3) {
        rgb[0] = pixels[2];
        rgb[1] = pixels[1];
        rgb[2] = pixels[0];
    }
}

void read_row_32(const uint8_t* pixels, int32_t count, uint8_t* rgb) {
    for (int32_t i = 0; i < count; ++i, rgb += 3, pixels += 4) {
        rgb[0] = pixels[2];
        rgb[1] = pixels[1];
        rgb[2] = pixels[0];
    }
}

}  // namespace

extern "C" {

int32_t get_palette_entries(int32_t first, int32_t count, uint8_t* rgb_triples) {
    if (first < 0 || count < 0 || first > 256 || count > 256 - first) return RASTER_REFUSED;
    if (count > 0 && rgb_triples == nullptr) return RASTER_REFUSED;
    for (int32_t i = 0; i < count; ++i) {
        const PALETTEENTRY& entry = state.logical_palette.palPalEntry[first + i];
        rgb_triples[i * 3 + 0] = entry.peRed;
        rgb_triples[i * 3 + 1] = entry.peGreen;
        rgb_triples[i * 3 + 2] = entry.peBlue;
    }
    return RASTER_OK;
}

int32_t surface_read_rgb(int32_t handle, int32_t x1, int32_t x2, int32_t y1, int32_t y2, uint8_t* rgb) {
    // Unlike surface_copy, a handle is not taken modulo 32 here: a reader
    // given a wrong handle must hear so rather than get another surface.
    if (handle < 0 || handle >= raster::kSlotCount || state.slot_bits[handle] == nullptr) return RASTER_REFUSED;
    if (rgb == nullptr || x1 < 0 || y1 < 0 || x1 > x2 || y1 > y2) return RASTER_REFUSED;
    if (x2 >= state.slot_width[handle] || y2 >= state.slot_height[handle]) return RASTER_REFUSED;

    RowReader read_row = read_row_8;
    switch (state.slot_bpp[handle]) {
        case 16:
            read_row = read_row_16;
            break;
        case 24:
            read_row = read_row_24;
            break;
        case 32:
            read_row = read_row_32;
            break;
        default:
            break;
    }
    const size_t pixel_bytes = static_cast<size_t>(state.slot_bpp[handle] / 8);
    const size_t stride = static_cast<size_t>(state.slot_width[handle]) * pixel_bytes;
    const int32_t count = x2 - x1 + 1;
    const size_t out_row = static_cast<size_t>(count) * 3;
    // Rows are stored bottom-up: row y starts (height - 1 - y) strides in.
    for (int32_t y = y1; y <= y2; ++y) {
        const uint8_t* row = state.slot_bits[handle] + static_cast<size_t>(state.slot_height[handle] - 1 - y) * stride +
                             static_cast<size_t>(x1) * pixel_bytes;
        read_row(row, count, rgb + static_cast<size_t>(y - y1) * out_row);
    }
    return RASTER_OK;
}

}  // extern "C"
