// StretchDIBits: a bitmap stretched onto a window's client framebuffer.
//
// Sampling rule (every stretch mode; the rows and columns a shrink drops are
// discarded, those an enlargement needs are repeated, nothing is blended):
// destination column d, counted from 0 inside the destination rectangle,
// shows source column xSrc + source_index(SrcWidth, DestWidth, d, Columns)
// (the rule GDI follows; see there). Rows likewise, with the source
// rectangle measured from the bottom of the bitmap as GDI does: it covers
// bitmap rows ySrc .. ySrc + SrcHeight - 1 counted from the bottom row, and
// its top row (ySrc + SrcHeight - 1 from the bottom) lands on destination
// row yDest. Destination row r shows the source rectangle's row
// source_index(SrcHeight, DestHeight, r, Rows) counted from its top.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "internal.h"

namespace standin {

namespace {

uint32_t xrgb(BYTE r, BYTE g, BYTE b) { return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b; }

// One colour channel of a packed pixel, widened to 8 bits by repeating its
// high bits (a 5-bit 31 becomes 255, not 248).
struct Channel {
    int shift = 0;
    int bits = 0;
    uint32_t mask = 0;
    explicit Channel(DWORD m) : mask(m) {
        if (m == 0) return;
        while (((m >> shift) & 1) == 0) ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1) != 0) ++bits;
    }
    uint32_t get(uint32_t pixel) const {
        if (bits == 0) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return v >> (bits - 8);
        uint32_t out = 0;
        int filled = 0;
        while (filled < 8) {
            out = (out << bits) | v;
            filled += bits;
        }
        return out >> (filled - 8);
    }
};

// Which way a walk runs: along a row (columns) or down the picture (rows).
enum class Axis { Columns, Rows };

// The sampling rule, written in this one place: destination index d
// (counted from 0) takes source index floor((2 * S * d + bias) / (2 * D)),
// S and D being the source and destination sizes. GDI walks an error term
// along the destination when it enlarges, which gives the source index
// under the destination index's centre (the lower one where that centre
// falls exactly on the boundary between two):
//   S < D:            floor(((2d + 1) * S - 1) / 2D)   (bias S - 1)
// When it shrinks it walks the source, and each destination index keeps the
// last source index of its run across a row but the first one down the
// picture (it copies a row once and skips the rest of its run):
//   S >= D, columns:  floor((2 * S * (d + 1) - D) / 2D) (bias 2S - D)
//   S >= D, rows:     floor((2 * S * d + D) / 2D)       (bias D)
int64_t source_index(int64_t source_size, int64_t dest_size, int64_t d, Axis axis) {
    const int64_t bias = source_size < dest_size ? source_size - 1
                         : axis == Axis::Columns ? 2 * source_size - dest_size
                                                 : dest_size;
    return (2 * d * source_size + bias) / (2 * dest_size);
}

}  // namespace

}  // namespace standin

using namespace standin;

int WINAPI StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                         int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    JournalEntry j("StretchDIBits", dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits,
                   info, usage, rop);
    State& s = state();
    GdiObject* target = find_dc(dc);
    DibLayout dib;
    if (target == nullptr || bits == nullptr || rop != SRCCOPY || !parse_dib(info, usage, &dib)) {
        s.last_error = ERROR_INVALID_PARAMETER;
        return j.done(0);
    }
    // Mirroring through negative extents is not modelled; empty rectangles
    // draw nothing.
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return j.done(0);
    // The source rectangle must lie inside the bitmap: nothing outside the
    // caller's pixels is ever read.
    if (xSrc < 0 || ySrc < 0 || static_cast<int64_t>(xSrc) + srcWidth > dib.width ||
        static_cast<int64_t>(ySrc) + srcHeight > dib.height) {
        s.last_error = ERROR_INVALID_PARAMETER;
        return j.done(0);
    }

    // Only window DCs have pixels to draw on: the screen has no framebuffer
    // here, and drawing into a memory DC's bitmap is not offered.
    Window* window = target->dc_kind == DcKind::Window ? find_window(as<HWND>(target->window)) : nullptr;
    if (window == nullptr || window->framebuffer.empty()) return j.done(srcHeight);

    // Colours of an indexed bitmap, resolved once per call.
    uint32_t lut[256] = {};
    if (dib.bpp <= 8) {
        const GdiObject* palette = nullptr;
        if (usage == DIB_PAL_COLORS) {
            auto it = s.gdi.find(target->palette);
            if (it != s.gdi.end()) palette = it->second.get();
        }
        for (int i = 0; i < dib.colors; ++i) {
            if (usage == DIB_RGB_COLORS) {
                RGBQUAD q;
                std::memcpy(&q, dib.table + 4 * i, 4);
                lut[i] = xrgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
            } else {
                WORD index = 0;
                std::memcpy(&index, dib.table + 2 * i, 2);
                // An index past the end of the palette shows its entry 0.
                if (palette != nullptr && !palette->entries.empty()) {
                    const PALETTEENTRY& e = palette->entries[index < palette->entries.size() ? index : 0];
                    lut[i] = xrgb(e.peRed, e.peGreen, e.peBlue);
                }
            }
        }
    }
    const Channel red(dib.masks[0]), green(dib.masks[1]), blue(dib.masks[2]);

    // The part of the destination rectangle inside the client area.
    const int64_t d0 = xDest < 0 ? -static_cast<int64_t>(xDest) : 0;
    const int64_t d1 = std::min<int64_t>(destWidth, static_cast<int64_t>(window->client_width) - xDest);
    const int64_t r0 = yDest < 0 ? -static_cast<int64_t>(yDest) : 0;
    const int64_t r1 = std::min<int64_t>(destHeight, static_cast<int64_t>(window->client_height) - yDest);
    if (d0 >= d1 || r0 >= r1) return j.done(srcHeight);

    std::vector<int> columns(static_cast<size_t>(d1 - d0));
    for (int64_t d = d0; d < d1; ++d)
        columns[d - d0] = xSrc + static_cast<int>(source_index(srcWidth, destWidth, d, Axis::Columns));

    const BYTE* pixels = static_cast<const BYTE*>(bits);
    const int bpp = dib.bpp;
    for (int64_t r = r0; r < r1; ++r) {
        const int from_top = static_cast<int>(source_index(srcHeight, destHeight, r, Axis::Rows));
        const int from_bottom = ySrc + srcHeight - 1 - from_top;
        const int stored = dib.top_down ? dib.height - 1 - from_bottom : from_bottom;
        const BYTE* row = pixels + static_cast<size_t>(stored) * dib.stride;
        uint32_t* out = window->framebuffer.data() + static_cast<size_t>(yDest + r) * window->client_width + xDest + d0;
        for (size_t k = 0; k < columns.size(); ++k) {
            const int x = columns[k];
            uint32_t color = 0;
            switch (bpp) {
                case 1:
                    color = lut[(row[x >> 3] >> (7 - (x & 7))) & 1];
                    break;
                case 4:
                    color = lut[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
                    break;
                case 8:
                    color = lut[row[x]];
                    break;
                case 16: {
                    const uint32_t p = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
                    color = (red.get(p) << 16) | (green.get(p) << 8) | blue.get(p);
                    break;
                }
                case 24:
                    color = xrgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                    break;
                default: {
                    uint32_t p;
                    std::memcpy(&p, row + 4 * static_cast<size_t>(x), 4);
                    color = (red.get(p) << 16) | (green.get(p) << 8) | blue.get(p);
                    break;
                }
            }
            out[k] = color;
        }
    }
    window->framebuffer_changed = true;
    return j.done(srcHeight);
}
