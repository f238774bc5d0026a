// Setting the library up and taking it down: device contexts, text font and
// the display depth.
#include <raster/raster.h>

#include "raster/state.h"
#include "raster/surface/internal.h"

using raster::state;

extern "C" {

int32_t set_window_dc(HDC dc) {
    // The caller owns this DC; the library only borrows it.
    state.window_dc = dc;
    state.text_dc = dc;
    return RASTER_OK;
}

int32_t set_text_font(int32_t stock_font) {
    state.font_handle = static_cast<HFONT>(GetStockObject(stock_font));
    SelectObject(state.text_dc, state.font_handle);
    // The metrics land in the shared scratch area; nothing else uses it
    // while this runs.
    auto* metrics = reinterpret_cast<TEXTMETRICA*>(state.scratch_area);
    GetTextMetricsA(state.text_dc, metrics);
    state.line_height = metrics->tmHeight + metrics->tmExternalLeading;
    state.external_leading = metrics->tmExternalLeading;
    state.char_width = metrics->tmAveCharWidth;
    return RASTER_OK;
}

int32_t device_color_bits(void) {
    // Asked afresh every time: the user may change the display mode while
    // the program runs.
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    const int planes = GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    const int32_t depth = bits * planes;
    // A 15-bit display stores 16-bit pixels.
    return depth == 15 ? 16 : depth;
}

int32_t raster_init(void) {
    state.work_buffer_pointer = state.work_buffer;
    state.work_buffer_size = raster::kWorkBufferSize;
    set_text_font(OEM_FIXED_FONT);
    // Every slot free; the stale fields of the others are never read.
    for (int slot = 0; slot < raster::kSlotCount; ++slot) state.slot_bits[slot] = nullptr;
    if (device_color_bits() <= 8) {
        state.color_usage = DIB_PAL_COLORS;
        state.bitmap_info_size = raster::detail::kIndexInfoBytes;
    } else {
        state.color_usage = DIB_RGB_COLORS;
        state.bitmap_info_size = raster::detail::kRgbInfoBytes;
    }
    state.native_fill_byte = 0;
    state.pixel_format_index = 0;
    state.graphics_x = 0;
    state.graphics_y = 0;
    state.active_slot = -1;
    state.creation_bpp = 8;
    state.header_size = raster::detail::kInfoHeaderBytes;
    state.saved_bitmap = nullptr;
    // A null DC is kept: surfaces are drawn through their pixel pointers,
    // so only the selection into this DC is lost.
    state.memory_dc = CreateCompatibleDC(nullptr);
    // Bit 31 of the version word is set on the non-NT family.
    state.nt_platform = (GetVersion() & 0x80000000u) == 0 ? 1 : 0;
    return RASTER_OK;
}

int32_t raster_shutdown(void) {
    // The library stays set up while any surface is left: callers call this
    // after destroying each of their surfaces.
    for (int slot = 0; slot < raster::kSlotCount; ++slot) {
        if (state.slot_bits[slot] != nullptr) return RASTER_OK;
    }
    state.active_slot = -1;
    if (state.saved_palette != nullptr) SelectPalette(state.window_dc, state.saved_palette, FALSE);
    if (state.memory_dc != nullptr) {
        DeleteDC(state.memory_dc);
        state.memory_dc = nullptr;
    }
    return RASTER_OK;
}

}  // extern "C"
