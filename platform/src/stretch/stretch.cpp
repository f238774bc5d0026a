// StretchDIBits: a bitmap stretched onto a window's client framebuffer.
//
// Sampling rule (every stretch mode; the rows and columns a shrink drops are
// discarded, those an enlargement needs are repeated, nothing is blended):
// destination column d, counted from 0 inside the destination rectangle,
// shows source column xSrc + i, where i is the index SourceWalk gives for d
// (the rule GDI follows; see there). Rows likewise, with the source
// rectangle measured from the bottom of the bitmap as GDI does: it covers
// bitmap rows ySrc .. ySrc + SrcHeight - 1 counted from the bottom row, and
// its top row (ySrc + SrcHeight - 1 from the bottom) lands on destination
// row yDest. Destination row r shows the source rectangle's row i counted
// from its top, i being SourceWalk's index for r.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "journal.h"
#include "state.h"
#include "stretch/kernels.h"
#include "stretch/stretch.h"

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
// Walked one index at a time, so that no pixel pays for a division: the
// quotient and remainder of the numerator over 2D advance by those of 2S
// over 2D.
class SourceWalk {
  public:
    SourceWalk(int64_t source_size, int64_t dest_size, int64_t first, Axis axis)
        : dest_size_(2 * dest_size),
          whole_(2 * source_size / (2 * dest_size)),
          part_(2 * source_size % (2 * dest_size)) {
        const int64_t bias = source_size < dest_size ? source_size - 1
                             : axis == Axis::Columns ? 2 * source_size - dest_size
                                                     : dest_size;
        const int64_t numerator = 2 * first * source_size + bias;
        index_ = numerator / dest_size_;
        remainder_ = numerator % dest_size_;
    }
    int64_t index() const { return index_; }
    void next() {
        index_ += whole_;
        remainder_ += part_;
        if (remainder_ >= dest_size_) {
            remainder_ -= dest_size_;
            ++index_;
        }
    }

  private:
    int64_t dest_size_;
    int64_t whole_;
    int64_t part_;
    int64_t index_ = 0;
    int64_t remainder_ = 0;
};

// One call's geometry, already clipped to the client area: destination
// columns d0 .. d1 - 1 and rows r0 .. r1 - 1 of the destination rectangle,
// whose top-left pixel is `origin` (it may lie outside the framebuffer; only
// clipped pixels are ever addressed).
struct Stretch {
    const DibLayout* dib = nullptr;
    const BYTE* pixels = nullptr;
    int x_src = 0, y_src = 0, src_width = 0, src_height = 0;
    int dest_width = 0, dest_height = 0;
    int64_t d0 = 0, d1 = 0, r0 = 0, r1 = 0;
    int client_width = 0;
    uint32_t* origin = nullptr;
};

// Destination columns are handled in bands of this many, so that what a band
// needs fits on the stack: the call takes no heap memory whatever the width.
constexpr int64_t kBandColumns = 2048;

// The columns of one band. Neighbouring destination columns that show the
// same source column form a run; an enlargement's runs show consecutive
// source columns, a shrink's or a one-to-one copy's runs are one column each.
struct Band {
    int64_t first = 0;             // destination column of the band's left edge
    size_t width = 0;              // destination columns in the band
    size_t runs = 0;               // number of runs
    int32_t source[kBandColumns];  // source column of each run
    int32_t count[kBandColumns];   // destination columns in each run
    int32_t longest = 0;           // the longest run
    int32_t uniform = 0;           // the length of every run but the first and last, or 0
};

void plan_band(const Stretch& job, int64_t first, int64_t end, Band* band) {
    band->first = first;
    band->width = static_cast<size_t>(end - first);
    band->runs = 0;
    band->longest = 0;
    SourceWalk columns(job.src_width, job.dest_width, first, Axis::Columns);
    for (int64_t d = first; d < end; ++d, columns.next()) {
        const int32_t x = job.x_src + static_cast<int32_t>(columns.index());
        if (band->runs > 0 && band->source[band->runs - 1] == x) {
            ++band->count[band->runs - 1];
        } else {
            band->source[band->runs] = x;
            band->count[band->runs] = 1;
            ++band->runs;
        }
    }
    for (size_t i = 0; i < band->runs; ++i) band->longest = std::max(band->longest, band->count[i]);
    band->uniform = band->runs > 2 ? band->count[1] : 0;
    for (size_t i = 2; i + 1 < band->runs && band->uniform != 0; ++i) {
        if (band->count[i] != band->uniform) band->uniform = 0;
    }
}

// Band's runs as the kernels take them.
Runs runs_of(const Band& band) {
    Runs runs;
    runs.count = band.count;
    runs.runs = band.runs;
    runs.width = band.width;
    runs.longest = band.longest;
    runs.uniform = band.uniform;
    return runs;
}

// An 8-bit bitmap's pixel: its colour-table entry.
struct Fetch8 {
    const uint32_t* colors;
    uint32_t operator()(const BYTE* row, int32_t x) const { return colors[row[x]]; }
};

// One-to-one: destination column k shows source column x + k.
template <typename Fetch>
void straight_row(const StretchKernels&, const Fetch& fetch, const BYTE* row, int32_t x, size_t width, uint32_t* out) {
    for (size_t k = 0; k < width; ++k) out[k] = fetch(row, x + static_cast<int32_t>(k));
}

// The same for 8-bit bitmaps, where nearly all the time goes.
void straight_row(const StretchKernels& kernels, const Fetch8& fetch, const BYTE* row, int32_t x, size_t width,
                  uint32_t* out) {
    kernels.lookup_row(fetch.colors, row + x, width, out);
}

// Exactly two destination columns per source column: source column x + i
// fills destination columns 2i and 2i + 1.
template <typename Fetch>
void doubled_row(const StretchKernels&, const Fetch& fetch, const BYTE* row, int32_t x, size_t runs, uint32_t* out) {
    for (size_t i = 0; i < runs; ++i) out[2 * i] = out[2 * i + 1] = fetch(row, x + static_cast<int32_t>(i));
}

void doubled_row(const StretchKernels& kernels, const Fetch8& fetch, const BYTE* row, int32_t x, size_t runs,
                 uint32_t* out) {
    kernels.lookup_doubled(fetch.colors, row + x, runs, out);
}

// Destinations of at least this many bytes are written with streaming
// stores, where the kernels have them, which skip reading each cache line
// before overwriting it. Below it the picture is likely to stay in the
// caches, where ordinary stores (and the reads that follow, when the window
// shows it) are faster.
constexpr int64_t kStreamBytes = int64_t{16} << 20;

// How rows reach the framebuffer: made in place and copied down with
// memcpy; made in `line` and streamed out (large destinations); or, for an
// enlargement down the picture where the kernels have wide stores, made in
// `line` and copied out with those, every row alike.
enum class Output { Direct, Stream, Wide };

Output choose_output(const Stretch& job, const StretchKernels& kernels) {
    if ((job.r1 - job.r0) * (job.d1 - job.d0) * int64_t{4} >= kStreamBytes && kernels.stream_row != nullptr) {
        return Output::Stream;
    }
    if (job.dest_height > job.src_height && kernels.wide_row != nullptr) return Output::Wide;
    return Output::Direct;
}

// One source row's pixels for the band, made at `made`; `colors` is room
// for a run's colour each.
template <typename Fetch>
void make_row(const StretchKernels& kernels, const Fetch& fetch, const Band& band, const BYTE* row, uint32_t* colors,
              uint32_t* made) {
    const size_t width = band.width;
    const bool one_each = band.runs == width;
    // One-to-one: the runs are consecutive source columns.
    const bool straight =
        one_each && static_cast<size_t>(band.source[width - 1]) - static_cast<size_t>(band.source[0]) == width - 1;
    const bool doubled = band.longest == 2 && band.runs * 2 == width;
    if (straight) {
        straight_row(kernels, fetch, row, band.source[0], width, made);
    } else if (doubled) {
        doubled_row(kernels, fetch, row, band.source[0], band.runs, made);
    } else if (one_each) {
        for (size_t k = 0; k < width; ++k) made[k] = fetch(row, band.source[k]);
    } else {
        // An enlargement: its runs show consecutive source columns, each
        // decoded once.
        straight_row(kernels, fetch, row, band.source[0], band.runs, colors);
        kernels.replicate(colors, runs_of(band), made);
    }
}

// Stretches the clipped rectangle. Each source row is turned into
// destination pixels once; destination rows that show the same source row
// as the row above them are copies of it. Large destinations, and
// enlargements where the kernels have wide stores, get each row made in
// `line` first, then stored out as often as it is shown.
template <typename Fetch>
void draw(const Stretch& job, const Fetch& fetch) {
    const StretchKernels& kernels = stretch_kernels();
    const DibLayout& dib = *job.dib;
    Band band;
    uint32_t colors[kBandColumns];
    // Room for a band's row at any offset from a 32-byte boundary.
    uint32_t line[kBandColumns + 8];
    const Output output = choose_output(job, kernels);
    for (int64_t first = job.d0; first < job.d1; first += kBandColumns) {
        plan_band(job, first, std::min(job.d1, first + kBandColumns), &band);
        SourceWalk rows(job.src_height, job.dest_height, job.r0, Axis::Rows);
        int64_t previous = -1;
        // Where the row last made lies (in `line`, unless made in place).
        const uint32_t* shown = nullptr;
        for (int64_t r = job.r0; r < job.r1; ++r, rows.next()) {
            uint32_t* out = job.origin + r * job.client_width + band.first;
            uint32_t* made = out;
            if (output == Output::Stream) made = line;
            if (output == Output::Wide) {
                // At the same offset from a 32-byte boundary as `out`.
                const uintptr_t apart = reinterpret_cast<uintptr_t>(out) - reinterpret_cast<uintptr_t>(line);
                made = line + (apart & 31) / sizeof(uint32_t);
            }
            const int64_t from_top = rows.index();
            if (from_top != previous) {
                previous = from_top;
                shown = made;
                // The source rectangle's top row lies ySrc + SrcHeight - 1
                // rows above the bitmap's bottom row.
                const int64_t from_bottom = job.y_src + job.src_height - 1 - from_top;
                const int64_t stored = dib.top_down ? dib.height - 1 - from_bottom : from_bottom;
                make_row(kernels, fetch, band, job.pixels + static_cast<size_t>(stored) * dib.stride, colors, made);
            } else if (output == Output::Direct) {
                std::memcpy(out, out - job.client_width, band.width * sizeof(uint32_t));
            }
            if (output == Output::Stream) kernels.stream_row(shown, band.width, out);
            if (output == Output::Wide) kernels.wide_row(shown, band.width, out);
        }
    }
    // Make streamed pixels visible before anyone reads the framebuffer.
    if (output == Output::Stream) kernels.finish_streaming();
}

// The source rectangle lies inside the bitmap: nothing outside the
// caller's pixels is ever read.
bool source_inside(const DibLayout& dib, int x, int y, int width, int height) {
    return x >= 0 && y >= 0 && static_cast<int64_t>(x) + width <= dib.width &&
           static_cast<int64_t>(y) + height <= dib.height;
}

// The colours of an indexed bitmap, resolved once per call: from its RGB
// table, or through the palette selected into the DC.
void colour_table(const GdiObject& target, const DibLayout& dib, UINT usage, uint32_t (&lut)[256]) {
    const GdiObject* palette = nullptr;
    if (usage == DIB_PAL_COLORS) {
        auto it = state().gdi.find(target.palette);
        if (it != state().gdi.end()) palette = it->second.get();
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

// The job for the part of the destination rectangle inside the client
// area; false when no pixel of it is.
bool clip_to_client(const Window& window, int x_dest, int y_dest, int dest_width, int dest_height, Stretch* job) {
    job->d0 = x_dest < 0 ? -static_cast<int64_t>(x_dest) : 0;
    job->d1 = std::min<int64_t>(dest_width, static_cast<int64_t>(window.client_width) - x_dest);
    job->r0 = y_dest < 0 ? -static_cast<int64_t>(y_dest) : 0;
    job->r1 = std::min<int64_t>(dest_height, static_cast<int64_t>(window.client_height) - y_dest);
    job->dest_width = dest_width;
    job->dest_height = dest_height;
    job->client_width = window.client_width;
    return job->d0 < job->d1 && job->r0 < job->r1;
}

// The pixels drawn, with the fetch of the bitmap's depth.
void draw_depth(const Stretch& job, const DibLayout& dib, const uint32_t (&lut)[256]) {
    const Channel red(dib.masks[0]), green(dib.masks[1]), blue(dib.masks[2]);
    switch (dib.bpp) {
        case 1:
            draw(job,
                 [colors = &lut[0]](const BYTE* row, int x) { return colors[(row[x >> 3] >> (7 - (x & 7))) & 1]; });
            break;
        case 4:
            draw(job, [colors = &lut[0]](const BYTE* row, int x) {
                return colors[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
            });
            break;
        case 8:
            draw(job, Fetch8{lut});
            break;
        case 16:
            draw(job, [&](const BYTE* row, int x) {
                const uint32_t p = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
                return (red.get(p) << 16) | (green.get(p) << 8) | blue.get(p);
            });
            break;
        case 24:
            draw(job, [](const BYTE* row, int x) { return xrgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); });
            break;
        default:
            draw(job, [&](const BYTE* row, int x) {
                uint32_t p;
                std::memcpy(&p, row + 4 * static_cast<size_t>(x), 4);
                return (red.get(p) << 16) | (green.get(p) << 8) | blue.get(p);
            });
            break;
    }
}

// The call's steps: the checks, the colours, the clipping, the drawing.
int stretch_dib_bits(HDC dc, int x_dest, int y_dest, int dest_width, int dest_height, int x_src, int y_src,
                     int src_width, int src_height, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    State& s = state();
    GdiObject* target = find_dc(dc);
    DibLayout dib;
    if (target == nullptr || bits == nullptr || rop != SRCCOPY || !parse_dib(info, usage, &dib)) {
        s.last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Mirroring through negative extents is not modelled; empty rectangles
    // draw nothing.
    if (dest_width <= 0 || dest_height <= 0 || src_width <= 0 || src_height <= 0) return 0;
    if (!source_inside(dib, x_src, y_src, src_width, src_height)) {
        s.last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Only window DCs have pixels to draw on: the screen has no framebuffer
    // here, and drawing into a memory DC's bitmap is not offered.
    Window* window = target->dc_kind == DcKind::Window ? find_window(as<HWND>(target->window)) : nullptr;
    if (window == nullptr || window->framebuffer.empty()) return src_height;

    // A display that draws whole-window frames itself keeps them; anything
    // else drawn here must land on top of the frame it kept.
    if (KeptFrame* kept = s.display ? s.display->kept_frame(*window) : nullptr) {
        const StretchCall call{x_dest,    y_dest,     dest_width, dest_height, x_src, y_src,
                               src_width, src_height, bits,       info,        usage, rop};
        if (kept->keep(*window, call, dib)) {
            window->framebuffer_changed = true;
            return src_height;
        }
        kept->settle(*window);
    }
    uint32_t lut[256] = {};
    if (dib.bpp <= 8) colour_table(*target, dib, usage, lut);
    Stretch job;
    if (!clip_to_client(*window, x_dest, y_dest, dest_width, dest_height, &job)) return src_height;
    job.dib = &dib;
    job.pixels = static_cast<const BYTE*>(bits);
    job.x_src = x_src;
    job.y_src = y_src;
    job.src_width = src_width;
    job.src_height = src_height;
    job.origin = window->framebuffer.data() + static_cast<size_t>(y_dest) * window->client_width + x_dest;
    draw_depth(job, dib, lut);
    window->framebuffer_changed = true;
    return src_height;
}

}  // namespace

void stretch_indexed(const DibLayout& dib, const BYTE* pixels, int x_src, int y_src, int src_width, int src_height,
                     int dest_width, int dest_height, const uint32_t (&colours)[256], uint32_t* out) {
    Stretch job;
    job.dib = &dib;
    job.pixels = pixels;
    job.x_src = x_src;
    job.y_src = y_src;
    job.src_width = src_width;
    job.src_height = src_height;
    job.dest_width = dest_width;
    job.dest_height = dest_height;
    job.d1 = dest_width;
    job.r1 = dest_height;
    job.client_width = dest_width;
    job.origin = out;
    draw(job, Fetch8{colours});
}

}  // namespace standin

using namespace standin;

int WINAPI StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                         int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
    return JournalEntry("StretchDIBits", dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits,
                        info, usage, rop)
        .run([&]() -> int {
            return stretch_dib_bits(dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits,
                                    info, usage, rop);
        });
}
