// The web display: the program runs in a browser page, compiled to
// WebAssembly, and its one window is the page's canvas.
//
// The client area is the page's size in device pixels, so each client pixel
// is one screen pixel; a resized page is a resized window (WM_SIZE), and a
// page being closed is the close box (WM_CLOSE). The program's loop stays an
// ordinary blocking loop: every wait of the program for its next frame or
// for messages comes to wait() below, which hands control back to the
// browser until its next animation frame (the program is built with
// ASYNCIFY, which lets a blocking call return to the browser's event loop
// and resume later). So a paced program draws at the browser's refresh, and
// the page never freezes.
//
// The page talks to this backend through Module.standin (set up by
// web_attach below): it queues events there and, for tests, can be told of
// each picture put on the canvas and hold the program there.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "display/web/canvas.h"
#include "journal.h"
#include "state.h"
#include "stretch/stretch.h"

namespace standin {

namespace {

// The JavaScript halves below are kept as written (clang-format does not
// know JavaScript).
// clang-format off

// Makes Module.standin: the events the page queues for the program (resize,
// close), the canvas, and a way for the close of the page to wake a program
// that is waiting for the next animation frame, so that it can still hear
// WM_CLOSE and end before the page goes. In a worker the page itself
// watches its size and its going, and calls resized() and close() here
// (with the size in clientSize).
EM_JS(void, web_attach, (), {
    const web = Module.standin;
    web.events = [];
    web.wake = null;
    web.resized = function() {
        // Only the latest size matters to a program that has not yet seen
        // the one before.
        const s = web.size();
        const last = web.events[web.events.length - 1];
        if (last && last[0] === 0) web.events.pop();
        web.events.push([0, s[0], s[1]]);
    };
    web.close = function() {
        web.events.push([1, 0, 0]);
        if (web.wake) web.wake();
    };
    if (typeof window === 'undefined') {
        web.size = function() { return web.clientSize; };
        return;
    }
    web.size = function() {
        const ratio = window.devicePixelRatio || 1;
        const box = web.canvas.getBoundingClientRect();
        return [Math.max(1, Math.round(box.width * ratio)), Math.max(1, Math.round(box.height * ratio))];
    };
    window.addEventListener('resize', web.resized);
    // A page moved to a screen of another density keeps its CSS size but
    // not its size in device pixels.
    (function watchRatio() {
        if (!window.matchMedia) return;
        const query = window.matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
        query.addEventListener('change', function again() {
            query.removeEventListener('change', again);
            web.resized();
            watchRatio();
        });
    })();
    window.addEventListener('pagehide', function(event) {
        // A page kept for the back button (persisted) may come back, and
        // its program with it: only a page that goes for good closes.
        if (!event.persisted) web.close();
    });
});

EM_JS(void, web_client_size, (int* width, int* height), {
    const s = Module.standin.size();
    HEAP32[width >> 2] = s[0];
    HEAP32[height >> 2] = s[1];
});

// Kind of the next queued page event (0 resize, 1 close), or -1 for none.
EM_JS(int, web_next_event, (int* width, int* height), {
    const e = Module.standin.events.shift();
    if (!e) return -1;
    HEAP32[width >> 2] = e[1];
    HEAP32[height >> 2] = e[2];
    return e[0];
});

// Counts the pictures shown: Module.standin.onFrame, when the page sets it,
// hears each count and may return a promise to hold the program at that
// picture until it settles; the result says whether it did (tests).
EM_JS(int, web_shown, (), {
    const web = Module.standin;
    web.shown = (web.shown || 0) + 1;
    web.hold = web.onFrame ? web.onFrame(web.shown) : null;
    return web.hold ? 1 : 0;
});

EM_ASYNC_JS(void, web_hold, (), {
    const hold = Module.standin.hold;
    Module.standin.hold = null;
    await hold;
});

// Returns at the browser's next animation frame, or at once when the page
// is going away. Module.standin.busyMs adds up the time the program ran
// between waits. A worker without animation frames of its own waits a
// sixtieth of a second instead.
EM_ASYNC_JS(void, web_wait_frame, (), {
    const web = Module.standin;
    if (web.resumedAt !== undefined) web.busyMs = (web.busyMs || 0) + performance.now() - web.resumedAt;
    await new Promise(function(resolve) {
        const frames = typeof requestAnimationFrame === 'function';
        const id = frames ? requestAnimationFrame(function() {
            web.wake = null;
            resolve();
        }) : setTimeout(function() {
            web.wake = null;
            resolve();
        }, 1000 / 60);
        web.wake = function() {
            if (frames) cancelAnimationFrame(id); else clearTimeout(id);
            web.wake = null;
            resolve();
        };
    });
    web.resumedAt = performance.now();
});
// clang-format on

// A window's latest whole-window frame of an 8-bit bitmap, drawn straight
// onto the canvas rather than into the framebuffer: by the GPU through
// WebGL2, or by the stand-in's own stretch into the canvas's R, G, B, A
// bytes (which saves writing the framebuffer and then reordering its
// bytes). Kept are the call's bitmap (a copy, as the caller may change its
// pixels before the frame is shown) and its colours. While `pending`, the
// framebuffer lacks the frame; whatever needs the framebuffer (another call
// drawing over part of it, a window resized before the frame was shown)
// first has the CPU draw the kept call into it, which gives exactly the
// pixels the canvas shows.
struct KeptFrame {
    bool pending = false;
    std::vector<uint8_t> info;  // the BITMAPINFO, header and colour table
    std::vector<uint8_t> bits;
    int bitmap_width = 0, bitmap_height = 0;
    size_t stride = 0;
    GpuStretch geometry;
    int x_src = 0, y_src = 0;
    uint8_t colours[256 * 4] = {};  // R, G, B, 255; black past the table
};

// The arguments of one StretchDIBits call.
struct StretchCall {
    HDC dc;
    int x_dest, y_dest, dest_width, dest_height, x_src, y_src, src_width, src_height;
    const void* bits;
    const BITMAPINFO* info;
    UINT usage;
    DWORD rop;
};

}  // namespace
}  // namespace standin

// StretchDIBits as the program links it in a page (the link wraps the
// stand-in's own, reached as __real_StretchDIBits).
extern "C" int WINAPI __real_StretchDIBits(HDC, int, int, int, int, int, int, int, int, const void*, const BITMAPINFO*,
                                           UINT, DWORD);

namespace standin {
namespace {

int draw_on_cpu(const StretchCall& c) {
    return __real_StretchDIBits(c.dc, c.x_dest, c.y_dest, c.dest_width, c.dest_height, c.x_src, c.y_src, c.src_width,
                                c.src_height, c.bits, c.info, c.usage, c.rop);
}

// Puts a pending GPU frame into the window's framebuffer, through a device
// context of its own (the one the frame came through may be gone).
void settle(KeptFrame& frame, const Window& window) {
    if (!frame.pending) return;
    frame.pending = false;
    const GpuStretch& g = frame.geometry;
    const uintptr_t dc = create_dc(DcKind::Window, window.handle);
    draw_on_cpu(StretchCall{as<HDC>(dc), 0, 0, g.dest_width, g.dest_height, frame.x_src, frame.y_src, g.src_width,
                            g.src_height, frame.bits.data(), reinterpret_cast<const BITMAPINFO*>(frame.info.data()),
                            DIB_RGB_COLORS, SRCCOPY});
    destroy_dc(dc);
}

// Whether the call can be kept for the canvas: a valid copy of an 8-bit
// bitmap with its own colours onto the whole client area, whose rule's
// numbers fit the shader's 32 bits and, while pictures go through WebGL2,
// whose bitmap fits a texture.
bool can_keep(const StretchCall& c, const Window& window, DibLayout* dib) {
    if (c.rop != SRCCOPY || c.bits == nullptr || c.usage != DIB_RGB_COLORS || !parse_dib(c.info, c.usage, dib)) {
        return false;
    }
    if (dib->bpp != 8 || c.x_dest != 0 || c.y_dest != 0 || c.dest_width != window.client_width ||
        c.dest_height != window.client_height || c.src_width <= 0 || c.src_height <= 0 || c.x_src < 0 || c.y_src < 0 ||
        int64_t{c.x_src} + c.src_width > dib->width || int64_t{c.y_src} + c.src_height > dib->height) {
        return false;
    }
    const int64_t limit = int64_t{1} << 31;
    if (2 * int64_t{c.src_width} * (c.dest_width + 1) >= limit ||
        2 * int64_t{c.src_height} * (c.dest_height + 1) >= limit) {
        return false;
    }
    if (!web_gl_active()) return true;
    const int largest = web_gl_max_texture();
    return dib->width <= largest && dib->height <= largest;
}

void keep(KeptFrame& frame, const StretchCall& c, const DibLayout& dib) {
    const size_t table = static_cast<size_t>(dib.colors) * 4;
    const size_t header = static_cast<size_t>(dib.table - reinterpret_cast<const BYTE*>(c.info));
    const auto* info = reinterpret_cast<const uint8_t*>(c.info);
    frame.info.assign(info, info + header + table);
    const auto* bits = static_cast<const uint8_t*>(c.bits);
    frame.bits.assign(bits, bits + dib.stride * static_cast<size_t>(dib.height));
    frame.bitmap_width = dib.width;
    frame.bitmap_height = dib.height;
    frame.stride = dib.stride;
    frame.x_src = c.x_src;
    frame.y_src = c.y_src;
    std::fill(std::begin(frame.colours), std::end(frame.colours), uint8_t{0});
    for (int i = 0; i < dib.colors; ++i) {
        const BYTE* q = dib.table + 4 * i;  // blue, green, red, reserved
        uint8_t* to = frame.colours + 4 * i;
        to[0] = q[2];
        to[1] = q[1];
        to[2] = q[0];
    }
    for (int i = 0; i < 256; ++i) frame.colours[4 * i + 3] = 255;
    // The source rectangle's top row lies y_src + src_height - 1 rows above
    // the bitmap's bottom row.
    const int from_bottom = c.y_src + c.src_height - 1;
    GpuStretch& g = frame.geometry;
    g.x_src = c.x_src;
    g.top_row = dib.top_down ? dib.height - 1 - from_bottom : from_bottom;
    g.row_step = dib.top_down ? 1 : -1;
    g.src_width = c.src_width;
    g.src_height = c.src_height;
    g.dest_width = c.dest_width;
    g.dest_height = c.dest_height;
    frame.pending = true;
}

int stretch(const StretchCall& c) {
    GdiObject* target = find_dc(c.dc);
    Window* window =
        target != nullptr && target->dc_kind == DcKind::Window ? find_window(as<HWND>(target->window)) : nullptr;
    KeptFrame* frame = window != nullptr ? static_cast<KeptFrame*>(window->backend_data) : nullptr;
    if (frame == nullptr || window->framebuffer.empty()) return draw_on_cpu(c);
    DibLayout dib;
    if (!can_keep(c, *window, &dib)) {
        settle(*frame, *window);
        return draw_on_cpu(c);
    }
    return JournalEntry("StretchDIBits", c.dc, c.x_dest, c.y_dest, c.dest_width, c.dest_height, c.x_src, c.y_src,
                        c.src_width, c.src_height, c.bits, c.info, c.usage, c.rop)
        .run([&]() -> int {
            keep(*frame, c, dib);
            window->framebuffer_changed = true;
            return c.src_height;
        });
}

class WebDisplay : public Display {
  public:
    WebDisplay() {
        web_canvas_attach();
        web_attach();
        gl_ = web_gl_active() != 0;
    }

    bool create_window(Window& window) override {
        // The page is the window: it is as large as the page from the start.
        int width = 0;
        int height = 0;
        web_client_size(&width, &height);
        window.outer_width += width - window.client_width;
        window.outer_height += height - window.client_height;
        window.client_width = width;
        window.client_height = height;
        window.framebuffer.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        window.backend_data = new KeptFrame;
        return true;
    }

    void destroy_window(Window& window) override {
        delete static_cast<KeptFrame*>(window.backend_data);
        window.backend_data = nullptr;
    }

    void show_window(Window&, bool) override {}

    void pump(std::deque<DisplayEvent>& events) override {
        const uintptr_t hwnd = state().last_window;
        int width = 0;
        int height = 0;
        for (int kind; (kind = web_next_event(&width, &height)) >= 0;) {
            if (hwnd == 0) continue;
            if (kind == 0) {
                events.push_back(DisplayEvent{DisplayEvent::Resize, hwnd, width, height});
            } else {
                events.push_back(DisplayEvent{DisplayEvent::Close, hwnd, 0, 0});
            }
        }
    }

    void present(Window& window) override {
        KeptFrame* frame = static_cast<KeptFrame*>(window.backend_data);
        // A page that has just turned to the 2D context (a lost WebGL2
        // context) has a fresh, empty canvas: it is drawn again at once.
        const bool gl = web_gl_active() != 0;
        const bool turned = gl != gl_;
        gl_ = gl;
        if (!(window.framebuffer_changed || turned) || !window.visible || window.minimized ||
            window.framebuffer.empty()) {
            return;
        }
        window.framebuffer_changed = false;
        // The browser shows a picture only once the program has handed
        // control back: a program that has not waited since its last
        // picture (one slower than its frame period never does) waits for
        // the next animation frame now, so every picture is seen and the
        // page stays responsive.
        if (unyielded_) wait_frame();
        const GpuStretch& g = frame->geometry;
        const bool whole =
            frame->pending && g.dest_width == window.client_width && g.dest_height == window.client_height;
        if (whole && gl) {
            web_gl_stretch(frame->bits.data(), frame->bitmap_width, frame->bitmap_height,
                           static_cast<int>(frame->stride), frame->colours, &g);
        } else if (whole) {
            stretch_2d(*frame, window);
        } else {
            settle(*frame, window);
            if (gl) {
                web_gl_copy(window.framebuffer.data(), window.client_width, window.client_height);
            } else {
                copy_2d(window);
            }
        }
        unyielded_ = true;
        if (web_shown()) web_hold();
    }

    // The browser's frames are the only clock a page should keep to: however
    // far off `until` is, the program sleeps to the next one (the timer it
    // waits for is then due, or it simply waits again).
    void wait(std::chrono::steady_clock::time_point until) override {
        if (until > std::chrono::steady_clock::now()) wait_frame();
    }

    // A page cannot learn the display's rate; 0 leaves the program to its
    // default, and the browser's frames pace it in any case.
    int refresh_rate() override { return 0; }

    const char* name() const override { return "web"; }

  private:
    // The kept frame stretched straight into the canvas's bytes: its colours
    // are already R, G, B, 255, which are the words the stretch writes.
    void stretch_2d(const KeptFrame& frame, const Window& window) {
        DibLayout dib;
        if (!parse_dib(reinterpret_cast<const BITMAPINFO*>(frame.info.data()), DIB_RGB_COLORS, &dib)) return;
        uint32_t colours[256];
        std::memcpy(colours, frame.colours, sizeof colours);
        const GpuStretch& g = frame.geometry;
        rgba_.resize(window.framebuffer.size());
        stretch_indexed(dib, frame.bits.data(), frame.x_src, frame.y_src, g.src_width, g.src_height, g.dest_width,
                        g.dest_height, colours, rgba_.data());
        web_2d_copy(reinterpret_cast<const uint8_t*>(rgba_.data()), window.client_width, window.client_height);
    }

    void wait_frame() {
        web_wait_frame();
        unyielded_ = false;
    }

    // 0x00RRGGBB words (bytes B, G, R, 0) to the canvas's R, G, B, A bytes.
    void copy_2d(const Window& window) {
        rgba_.resize(window.framebuffer.size());
        const uint32_t* from = window.framebuffer.data();
        uint32_t* to = rgba_.data();
        for (size_t i = 0, n = rgba_.size(); i < n; ++i) {
            const uint32_t p = from[i];
            to[i] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
        web_2d_copy(reinterpret_cast<const uint8_t*>(to), window.client_width, window.client_height);
    }

    std::vector<uint32_t> rgba_;
    bool gl_ = false;         // pictures went through WebGL2 at the last present
    bool unyielded_ = false;  // a picture was put and the browser has not run since
};

}  // namespace

std::unique_ptr<Display> make_web_display() { return std::make_unique<WebDisplay>(); }

}  // namespace standin

extern "C" int WINAPI __wrap_StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                                           int ySrc, int srcWidth, int srcHeight, const void* bits,
                                           const BITMAPINFO* info, UINT usage, DWORD rop) {
    return standin::stretch(standin::StretchCall{dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth,
                                                 srcHeight, bits, info, usage, rop});
}
