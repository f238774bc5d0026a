#include "library_env.h"

#include <cstring>

#include "raster/state.h"

namespace testenv {

namespace {
HDC g_screen_dc = nullptr;
}

void reset_library_state() {
    raster::state = raster::LibraryState{};
    // The default initialiser points at the temporary's block; point it home.
    raster::state.work_buffer_pointer = raster::state.work_buffer;
}

HPALETTE start_library() {
    reset_library_state();
    g_screen_dc = GetDC(nullptr);
    set_window_dc(g_screen_dc);
    HPALETTE palette = palette_create();
    palette_realize(palette);
    raster_init();
    return palette;
}

void stop_library(HPALETTE palette) {
    surface_deselect();
    for (int32_t slot = 0; slot < raster::kSlotCount; ++slot) {
        if (raster::state.slot_bits[slot] != nullptr) surface_destroy(slot);
    }
    raster_shutdown();
    if (palette != nullptr) DeleteObject(palette);
    if (g_screen_dc != nullptr) ReleaseDC(nullptr, g_screen_dc);
    g_screen_dc = nullptr;
}

int32_t make_selected_surface(int32_t width, int32_t height) {
    int32_t handle = surface_create(width, height);
    if (handle >= 0) {
        surface_select(handle);
        surface_reset_colors();
    }
    return handle;
}

static int32_t bytes_per_pixel(int32_t slot) { return (raster::state.slot_bpp[slot] + 7) / 8; }

uint8_t* pixel_address(int32_t handle, int32_t x, int32_t y) {
    const int32_t slot = handle & 31;
    const int32_t bpp = bytes_per_pixel(slot);
    const int32_t stride = raster::state.slot_width[slot] * bpp;
    return raster::state.slot_bits[slot] + static_cast<size_t>(raster::state.slot_height[slot] - 1 - y) * stride +
           static_cast<size_t>(x) * bpp;
}

void fill_surface(int32_t handle, uint8_t value) {
    const int32_t slot = handle & 31;
    const size_t size =
        static_cast<size_t>(raster::state.slot_width[slot]) * bytes_per_pixel(slot) * raster::state.slot_height[slot];
    std::memset(raster::state.slot_bits[slot], value, size);
}

std::vector<uint8_t> surface_rows(int32_t handle) {
    const int32_t slot = handle & 31;
    const size_t stride = static_cast<size_t>(raster::state.slot_width[slot]) * bytes_per_pixel(slot);
    std::vector<uint8_t> rows;
    rows.reserve(stride * raster::state.slot_height[slot]);
    for (int32_t y = 0; y < raster::state.slot_height[slot]; ++y) {
        const uint8_t* row = pixel_address(handle, 0, y);
        rows.insert(rows.end(), row, row + stride);
    }
    return rows;
}

}  // namespace testenv
