// Presentation: a rectangle of the active surface stretched onto the window.
#include <raster/raster.h>

#include <cstdint>

#include "raster/state.h"

using raster::state;

namespace {

// hi - lo + 1 in 32-bit wrap-around arithmetic, so that no argument values
// make the size computation undefined.
int span(int32_t lo, int32_t hi) {
    return static_cast<int>(static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo) + 1u);
}

int difference(int32_t a, int32_t b) { return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

}  // namespace

extern "C" {

int32_t present(int32_t x1, int32_t x2, int32_t y1, int32_t y2, int32_t win_x1, int32_t win_x2, int32_t win_y1,
                int32_t win_y2) {
    if (state.active_slot < 0) return RASTER_OK;
    // Shrinking drops whole rows and columns instead of blending them, and
    // the window's DC may have been given another mode since the last frame.
    SetStretchBltMode(state.window_dc, COLORONCOLOR);
    // The source is given top-down; the bitmap counts its rows bottom-up.
    StretchDIBits(state.window_dc, win_x1, win_y1, span(win_x1, win_x2), span(win_y1, win_y2), x1,
                  difference(state.active_max_y, y2), span(x1, x2), span(y1, y2), state.active_bits,
                  reinterpret_cast<const BITMAPINFO*>(state.active_bitmap_info), state.color_usage, SRCCOPY);
    return RASTER_OK;
}

}  // extern "C"
