// Rectangle copies between surfaces named by handle, or within one surface.
#include <raster/raster.h>

#include <cstdint>
#include <cstring>

#include "raster/pixel/kernels.h"
#include "raster/state.h"

using raster::state;

namespace {

int64_t bytes_per_pixel(int32_t bpp) {
    if (bpp <= 8) return 1;
    if (bpp <= 16) return 2;
    if (bpp <= 24) return 3;
    return 4;
}

// Both rectangles inside their surfaces, bounds in order, and pixels of
// one size on both sides; anything else would read or write outside a
// pixel array. Arithmetic in 64 bits so that no argument can wrap.
bool copy_fits(int64_t x1, int64_t x2, int64_t y1, int64_t y2, int64_t dest_x, int64_t dest_y, int src, int dst) {
    if (state.slot_bpp[src] != state.slot_bpp[dst]) return false;
    if (x1 > x2 || y1 > y2) return false;
    if (x1 < 0 || y1 < 0 || x2 >= state.slot_width[src] || y2 >= state.slot_height[src]) return false;
    const int64_t last_dest_x = dest_x + (x2 - x1);
    const int64_t top_dest_y = dest_y - (y2 - y1);
    return dest_x >= 0 && top_dest_y >= 0 && last_dest_x < state.slot_width[dst] && dest_y < state.slot_height[dst];
}

}  // namespace

extern "C" {

int32_t surface_copy(int32_t x1, int32_t x2, int32_t y1, int32_t y2, int32_t dest_x, int32_t dest_y, int32_t source,
                     int32_t destination) {
    // Only the low five bits name the slot, so every handle names one.
    const int src = source & (raster::kSlotCount - 1);
    const int dst = destination & (raster::kSlotCount - 1);
    if (state.slot_bits[src] == nullptr || state.slot_bits[dst] == nullptr) return RASTER_OK;
    if (!copy_fits(x1, x2, y1, y2, dest_x, dest_y, src, dst)) return RASTER_REFUSED;

    const int64_t pixel = bytes_per_pixel(state.slot_bpp[dst]);
    const int64_t src_stride = state.slot_width[src] * pixel;
    const int64_t dst_stride = state.slot_width[dst] * pixel;
    // Rows are stored bottom-up, so the rectangle's bottom row has the
    // lowest address on both sides.
    const uint8_t* from = state.slot_bits[src] + (state.slot_height[src] - 1 - int64_t{y2}) * src_stride + x1 * pixel;
    uint8_t* to = state.slot_bits[dst] + (state.slot_height[dst] - 1 - int64_t{dest_y}) * dst_stride + dest_x * pixel;
    const int64_t rows = int64_t{y2} - y1 + 1;
    const size_t row_bytes = static_cast<size_t>((int64_t{x2} - x1 + 1) * pixel);

    // Between two surfaces nothing overlaps: plain row copies, bottom row
    // first (kernels.h).
    if (src != dst) {
        raster::pixel::kernels().copy_rows(to, static_cast<ptrdiff_t>(dst_stride), from,
                                           static_cast<ptrdiff_t>(src_stride), rows, row_bytes);
        return RASTER_OK;
    }
    // Within one surface the rectangles may overlap. The result is as if
    // the source had been copied aside first: each row moves with memmove,
    // and when the destination lies above the source in memory the rows go
    // from the top down so that no source row is overwritten before it is
    // read. Rows of one surface share the stride, and a row never reaches
    // past its stride, which makes this order sufficient.
    if (to > from) {
        for (int64_t row = rows - 1; row >= 0; --row) {
            std::memmove(to + row * dst_stride, from + row * src_stride, row_bytes);
        }
    } else {
        for (int64_t row = 0; row < rows; ++row) {
            std::memmove(to + row * dst_stride, from + row * src_stride, row_bytes);
        }
    }
    return RASTER_OK;
}

}  // extern "C"
