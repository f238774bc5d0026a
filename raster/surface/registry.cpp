// The surface registry: 32 slots of bitmap sections, and the active surface.
#include <raster/raster.h>

#include <algorithm>
#include <cstdint>

#include "raster/state.h"
#include "raster/surface/internal.h"

using raster::state;
using namespace raster::detail;

namespace {

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
}

int32_t lowest_free_slot() {
    for (int32_t slot = 0; slot < raster::kSlotCount; ++slot) {
        if (state.slot_bits[slot] == nullptr) return slot;
    }
    return -1;
}

// How the bitmap-info block of a new surface is laid out.
//
// The settings header_size, bitmap_info_size and color_usage describe the
// surface selected last (or the display, after raster_init). While every
// surface has 8 bits that is also right for the next one, and the block is
// made exactly from them. Once the depth of new surfaces can differ from the
// selected one, the block must fit the depth being created instead:
//  - 8 bits: biSize 40 with the colour table right after it. The block size
//    comes from the settings when they describe an 8-bit surface (552 or
//    1064 bytes); otherwise the display is asked, 552 bytes for 8 or fewer
//    bits and 1064 for more. Which table goes in is decided while the block
//    is filled (see surface_create), and the colour usage follows the table.
//  - 16 and 32 bits: biSize header_size, or 40 on NT; the block holds at
//    least the header and the four masks (56 bytes, or 108 for a V4 header).
//    Colour usage DIB_RGB_COLORS: the masks are not palette indices.
//  - 24 bits: biSize header_size; the block holds at least that header.
//    Colour usage DIB_RGB_COLORS.
struct BlockLayout {
    uint32_t header_bytes;
    uint32_t block_bytes;
};

BlockLayout layout_for_depth(int32_t bpp) {
    BlockLayout layout{state.header_size, state.bitmap_info_size};
    switch (bpp) {
        case 8:
            layout.header_bytes = kInfoHeaderBytes;
            if (state.header_size != kInfoHeaderBytes || state.bitmap_info_size < kIndexInfoBytes) {
                layout.block_bytes = device_color_bits() <= 8 ? kIndexInfoBytes : kRgbInfoBytes;
            }
            break;
        case 16:
        case 32:
            if (state.nt_platform == 1) layout.header_bytes = kInfoHeaderBytes;
            layout.block_bytes = std::max({layout.block_bytes, layout.header_bytes, kMaskedInfoBytes});
            break;
        default:  // 24
            layout.block_bytes = std::max(layout.block_bytes, layout.header_bytes);
            break;
    }
    return layout;
}

// The bitmap-info block of a new surface, in the zero-filled `info`: the
// header, then the masks or the colour table the depth takes. Returns the
// colour usage that describes the table.
UINT write_bitmap_info(uint8_t* info, const BlockLayout& layout, uint32_t slot_width, int32_t height, int32_t bpp) {
    put32(info + 0, layout.header_bytes);
    put32(info + 4, slot_width);
    put32(info + 8, static_cast<uint32_t>(height));  // positive: bottom-up rows
    put16(info + 12, 1);
    put16(info + 14, static_cast<uint32_t>(bpp));

    UINT usage = DIB_RGB_COLORS;
    switch (bpp) {
        case 32:
            put32(info + 16, BI_BITFIELDS);
            put32(info + 40, 0x00FF0000);
            put32(info + 44, 0x0000FF00);
            put32(info + 48, 0x000000FF);
            put32(info + 52, 0xFF000000);
            break;
        case 16:
            put32(info + 16, BI_BITFIELDS);
            put32(info + 40, 0xF800);
            put32(info + 44, 0x07E0);
            put32(info + 48, 0x001F);
            break;
        case 8: {
            // A palette display gets indices into the window's palette. So
            // does a block sized for indices when the display has grown
            // deeper since the settings were taken: an RGB table would not
            // fit, and the usage must describe the table that is there.
            const bool palette_display = device_color_bits() <= 8;
            if (palette_display || layout.block_bytes < kRgbInfoBytes) {
                write_index_table(info + kInfoHeaderBytes);
                usage = DIB_PAL_COLORS;
            } else {
                write_rgb_table(info + kInfoHeaderBytes);
            }
            break;
        }
        default:  // 24: no masks, no table
            break;
    }
    return usage;
}

// What a slot holds once its surface exists.
struct Slot {
    HGLOBAL memory;
    HBITMAP bitmap;
    uint8_t* info;
    uint32_t info_size;
    uint8_t* bits;
    int32_t bpp;
    int32_t width;
    int32_t height;
};

void fill_slot(int32_t slot, const Slot& made) {
    state.slot_bitmap[slot] = made.bitmap;
    state.slot_memory[slot] = made.memory;
    state.slot_bitmap_info[slot] = made.info;
    state.slot_info_size[slot] = made.info_size;
    state.slot_bits[slot] = made.bits;
    state.slot_bpp[slot] = made.bpp;
    state.slot_width[slot] = made.width;
    state.slot_height[slot] = made.height;
    state.slot_max_x[slot] = made.width - 1;
    state.slot_max_y[slot] = made.height - 1;
    state.slot_min_x[slot] = 0;
    state.slot_min_y[slot] = 0;
}

}  // namespace

extern "C" {

int32_t surface_create(int32_t width, int32_t height) {
    const int32_t slot = lowest_free_slot();
    if (slot < 0) return RASTER_NO_FREE_SLOT;

    const int32_t bpp = state.creation_bpp;
    if (width < 1 || height < 1) return RASTER_NO_MEMORY;
    // Rows are whole multiples of 4 pixels, so every stride is already
    // DWORD-aligned. The pixel array must stay addressable with 32-bit
    // signed offsets.
    const int64_t slot_width = (static_cast<int64_t>(width) + 3) & ~int64_t{3};
    const int64_t pixel_bytes = slot_width * (bpp / 8) * height;
    if (slot_width > INT32_MAX || pixel_bytes > INT32_MAX) return RASTER_NO_MEMORY;

    const BlockLayout layout = layout_for_depth(bpp);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, layout.block_bytes);
    if (memory == nullptr) return RASTER_NO_MEMORY;
    auto* info = static_cast<uint8_t*>(GlobalLock(memory));
    if (info == nullptr) {
        GlobalFree(memory);
        return RASTER_NO_MEMORY;
    }

    const UINT usage = write_bitmap_info(info, layout, static_cast<uint32_t>(slot_width), height, bpp);
    void* bits = nullptr;
    HBITMAP bitmap =
        CreateDIBSection(state.window_dc, reinterpret_cast<const BITMAPINFO*>(info), usage, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        GlobalUnlock(memory);
        GlobalFree(memory);
        return RASTER_NO_MEMORY;
    }

    fill_slot(slot, Slot{memory, bitmap, info, layout.block_bytes, static_cast<uint8_t*>(bits), bpp,
                         static_cast<int32_t>(slot_width), height});
    return slot;
}

int32_t surface_select(int32_t handle) {
    if (static_cast<uint32_t>(handle) >= static_cast<uint32_t>(raster::kSlotCount)) return RASTER_BAD_HANDLE;
    if (state.slot_bits[handle] == nullptr) return RASTER_FREE_SLOT;

    HGDIOBJ displaced = SelectObject(state.memory_dc, state.slot_bitmap[handle]);
    // Only the first selection displaces the DC's own bitmap; later ones
    // displace our surfaces, which must not be selected back at the end.
    if (state.saved_bitmap == nullptr) state.saved_bitmap = static_cast<HBITMAP>(displaced);

    state.active_slot = static_cast<int8_t>(handle);
    const int32_t bpp = state.slot_bpp[handle];
    state.active_bpp = bpp;
    state.active_width = state.slot_width[handle];
    state.active_stride = state.slot_width[handle] * (bpp / 8);
    state.active_height = state.slot_height[handle];
    state.active_max_y = state.slot_height[handle] - 1;
    state.clip_min_x = state.slot_min_x[handle];
    state.clip_max_x = state.slot_max_x[handle];
    state.clip_min_y = state.slot_min_y[handle];
    state.clip_max_y = state.slot_max_y[handle];
    state.active_bitmap_info = state.slot_bitmap_info[handle];
    state.active_bits = state.slot_bits[handle];
    state.active_size = state.active_stride * state.active_height;
    state.active_info_size = state.slot_info_size[handle];

    switch (bpp) {
        case 16:
        case 32:
            state.header_size = kV4HeaderBytes;
            state.bitmap_info_size = kV4HeaderBytes;
            state.color_usage = DIB_RGB_COLORS;
            break;
        case 24:
            state.header_size = kInfoHeaderBytes;
            state.bitmap_info_size = kInfoHeaderBytes;
            state.color_usage = DIB_RGB_COLORS;
            break;
        default:
            state.header_size = kInfoHeaderBytes;
            // A block made for a palette display has no room for an RGB
            // table, so it keeps its indices even if the display has grown
            // deeper since.
            if (device_color_bits() <= 8 || state.active_info_size < kRgbInfoBytes) {
                state.bitmap_info_size = kIndexInfoBytes;
                state.color_usage = DIB_PAL_COLORS;
            } else {
                state.bitmap_info_size = kRgbInfoBytes;
                state.color_usage = DIB_RGB_COLORS;
            }
            break;
    }
    state.pixel_format_index = (bpp / 8 - 1) * 4;

    // Every surface shows the library's current palette from the moment it
    // is selected.
    if (bpp == 8) {
        if (state.color_usage == DIB_RGB_COLORS) {
            uint8_t* table = active_color_table(kRgbTableBytes);
            if (table != nullptr) write_rgb_table(table);
        }
    } else {
        rebuild_native_color_table(bpp);
    }
    return RASTER_OK;
}

int32_t surface_deselect(void) {
    state.active_slot = -1;
    if (state.saved_bitmap != nullptr) SelectObject(state.memory_dc, state.saved_bitmap);
    state.saved_bitmap = nullptr;
    return RASTER_OK;
}

int32_t surface_destroy(int32_t handle) {
    // The active surface's bitmap is selected into memory_dc and cannot be
    // deleted; callers deselect first.
    if (static_cast<uint32_t>(handle) >= static_cast<uint32_t>(raster::kSlotCount)) return RASTER_OK;
    if (handle == state.active_slot || state.slot_bits[handle] == nullptr) return RASTER_OK;
    state.slot_bits[handle] = nullptr;
    DeleteObject(state.slot_bitmap[handle]);
    GlobalUnlock(state.slot_memory[handle]);
    GlobalFree(state.slot_memory[handle]);
    return RASTER_OK;
}

int32_t surface_set_depth(int32_t bits) {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return RASTER_REFUSED;
    state.creation_bpp = static_cast<uint8_t>(bits);
    return RASTER_OK;
}

}  // extern "C"
