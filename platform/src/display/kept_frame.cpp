// The kept frame: keeping a call, settling it into the framebuffer and
// drawing it for a display, all by the stand-in's own stretch
// (stretch_indexed), so that every way a kept frame reaches the screen
// gives the pixels StretchDIBits would have drawn.
#include "display/kept_frame.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "stretch/stretch.h"

namespace standin {

bool KeptFrame::keep(const Window& window, const StretchCall& c, const DibLayout& dib) {
    if (c.rop != SRCCOPY || c.bits == nullptr || c.usage != DIB_RGB_COLORS || dib.bpp != 8 || c.x_dest != 0 ||
        c.y_dest != 0 || c.dest_width != window.client_width || c.dest_height != window.client_height ||
        window.framebuffer.empty() || c.src_width <= 0 || c.src_height <= 0 || c.x_src < 0 || c.y_src < 0 ||
        int64_t{c.x_src} + c.src_width > dib.width || int64_t{c.y_src} + c.src_height > dib.height) {
        return false;
    }
    // The shader works out 2 S d + bias in 32 bits.
    const int64_t limit = int64_t{1} << 31;
    if (2 * int64_t{c.src_width} * (c.dest_width + 1) >= limit ||
        2 * int64_t{c.src_height} * (c.dest_height + 1) >= limit) {
        return false;
    }
    if (dib.width > largest_side_ || dib.height > largest_side_) return false;

    const size_t table = static_cast<size_t>(dib.colors) * 4;
    const size_t header = static_cast<size_t>(dib.table - reinterpret_cast<const BYTE*>(c.info));
    const auto* info = reinterpret_cast<const uint8_t*>(c.info);
    info_.assign(info, info + header + table);
    const auto* bits = static_cast<const uint8_t*>(c.bits);
    bits_.assign(bits, bits + dib.stride * static_cast<size_t>(dib.height));
    dib_ = dib;
    dib_.table = info_.data() + header;
    x_src_ = c.x_src;
    y_src_ = c.y_src;
    std::fill(std::begin(colours_), std::end(colours_), uint8_t{0});
    for (int i = 0; i < dib.colors; ++i) {
        const BYTE* q = dib.table + 4 * i;  // blue, green, red, reserved
        uint8_t* to = colours_ + 4 * i;
        to[0] = q[2];
        to[1] = q[1];
        to[2] = q[0];
    }
    for (int i = 0; i < 256; ++i) colours_[4 * i + 3] = 255;
    // The source rectangle's top row lies y_src + src_height - 1 rows above
    // the bitmap's bottom row.
    const int from_bottom = c.y_src + c.src_height - 1;
    FrameGeometry& g = geometry_;
    g.x_src = c.x_src;
    g.top_row = dib.top_down ? dib.height - 1 - from_bottom : from_bottom;
    g.row_step = dib.top_down ? 1 : -1;
    g.src_width = c.src_width;
    g.src_height = c.src_height;
    g.dest_width = c.dest_width;
    g.dest_height = c.dest_height;
    pending_ = true;
    return true;
}

bool KeptFrame::same_size(const Window& window) const {
    return geometry_.dest_width == window.client_width && geometry_.dest_height == window.client_height;
}

bool KeptFrame::covers(const Window& window) const { return pending_ && same_size(window); }

void KeptFrame::draw(const uint32_t (&colours)[256], uint32_t* out) const {
    const FrameGeometry& g = geometry_;
    stretch_indexed(dib_, bits_.data(), x_src_, y_src_, g.src_width, g.src_height, g.dest_width, g.dest_height, colours,
                    out);
}

void KeptFrame::draw_rgba(uint32_t* out) const {
    uint32_t colours[256];
    std::memcpy(colours, colours_, sizeof colours);
    draw(colours, out);
}

void KeptFrame::settle(Window& window) {
    if (!pending_) return;
    pending_ = false;
    if (window.framebuffer.empty()) return;
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) {
        const uint8_t* c = colours_ + 4 * i;
        colours[i] = (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2];
    }
    window.framebuffer_changed = true;
    if (same_size(window)) {
        draw(colours, window.framebuffer.data());
        return;
    }
    // The window changed size since: the frame as it was drawn for the old
    // size, its top-left part that the new one still shows.
    const FrameGeometry& g = geometry_;
    std::vector<uint32_t> whole(static_cast<size_t>(g.dest_width) * static_cast<size_t>(g.dest_height));
    draw(colours, whole.data());
    const int width = std::min(g.dest_width, window.client_width);
    const int height = std::min(g.dest_height, window.client_height);
    for (int y = 0; y < height; ++y) {
        const uint32_t* from = whole.data() + static_cast<size_t>(y) * g.dest_width;
        std::copy(from, from + width, window.framebuffer.data() + static_cast<size_t>(y) * window.client_width);
    }
}

}  // namespace standin
