// A window's latest whole-window frame of an 8-bit bitmap, kept by a
// display that draws such frames itself rather than have the stand-in
// stretch them into the window's framebuffer: the page's canvas stretches
// them on the GPU, or straight into its own R, G, B, A bytes, which saves
// writing the framebuffer and then reordering its bytes.
//
// Kept are the call's bitmap (a copy, as the caller may change its pixels
// before the frame is shown) and its colours. While the frame is pending,
// the framebuffer lacks it; whatever needs the framebuffer (another call
// drawing over part of it, a window resized before the frame was shown)
// first settles the frame into it, which gives exactly the pixels the
// display shows.
#ifndef STANDIN_DISPLAY_KEPT_FRAME_H
#define STANDIN_DISPLAY_KEPT_FRAME_H

#include <windows.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gdi_objects.h"
#include "window.h"

namespace standin {

// Where a kept frame's stretch onto the whole client area takes its pixels:
// the source rectangle's left column and size, the stored row (counted from
// the start of the bits) of its top row and the step from one stored row to
// the next one down the picture (-1 for a bottom-up bitmap, +1 top-down).
// Seven 32-bit numbers in this order, as the canvas's shader reads them.
struct FrameGeometry {
    int32_t x_src = 0;
    int32_t top_row = 0;
    int32_t row_step = -1;
    int32_t src_width = 0;
    int32_t src_height = 0;
    int32_t dest_width = 0;
    int32_t dest_height = 0;
};

// The arguments of one StretchDIBits call that its checks have passed.
struct StretchCall {
    int x_dest, y_dest, dest_width, dest_height, x_src, y_src, src_width, src_height;
    const void* bits;
    const BITMAPINFO* info;
    UINT usage;
    DWORD rop;
};

class KeptFrame {
  public:
    static constexpr int kAnySize = INT_MAX;

    // The largest bitmap side the display can draw itself (a GPU's largest
    // texture); larger ones go to the framebuffer.
    void set_largest_bitmap(int side) { largest_side_ = side; }

    // Keeps the call when it copies an 8-bit bitmap with its own colours
    // onto the whole client area, by numbers that fit the shader's 32 bits;
    // false leaves it to the framebuffer (the caller settles first).
    bool keep(const Window& window, const StretchCall& call, const DibLayout& dib);
    // Draws a pending frame into the window's framebuffer, cut to the
    // client area should the window have changed size since.
    void settle(Window& window);
    // Whether a pending frame still covers the client area exactly, for
    // the display to draw it itself; otherwise the display settles it and
    // shows the framebuffer.
    bool covers(const Window& window) const;

    // The kept frame as the display draws it.
    const uint8_t* bits() const { return bits_.data(); }
    int bitmap_width() const { return dib_.width; }
    int bitmap_height() const { return dib_.height; }
    size_t stride() const { return dib_.stride; }
    // 256 entries of R, G, B, 255 bytes; black past the bitmap's table.
    const uint8_t* colours() const { return colours_; }
    const FrameGeometry& geometry() const { return geometry_; }
    // The stretched frame as geometry().dest_width x dest_height words, rows
    // top first, each the bytes R, G, B, 255 (a 2D canvas's pixels).
    void draw_rgba(uint32_t* out) const;

  private:
    bool same_size(const Window& window) const;
    void draw(const uint32_t (&colours)[256], uint32_t* out) const;

    bool pending_ = false;
    int largest_side_ = kAnySize;
    std::vector<uint8_t> info_;  // the BITMAPINFO, header and colour table
    std::vector<uint8_t> bits_;
    DibLayout dib_;  // its table points into info_
    int x_src_ = 0, y_src_ = 0;
    FrameGeometry geometry_;
    uint8_t colours_[256 * 4] = {};
};

}  // namespace standin

#endif  // STANDIN_DISPLAY_KEPT_FRAME_H
