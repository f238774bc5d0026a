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

#include "state.h"

namespace standin {

namespace {

// The JavaScript halves below are kept as written (clang-format does not
// know JavaScript).
// clang-format off

// Makes Module.standin: the events the page queues for the program (resize,
// close), the canvas, and a way for the close of the page to wake a program
// that is waiting for the next animation frame, so that it can still hear
// WM_CLOSE and end before the page goes.
EM_JS(void, web_attach, (), {
    const canvas = Module.canvas || document.getElementById('canvas');
    const web = Module.standin = Module.standin || {};
    web.canvas = canvas;
    web.context = canvas.getContext('2d', {alpha: false});
    web.events = [];
    web.wake = null;
    web.size = function() {
        const ratio = window.devicePixelRatio || 1;
        return [Math.max(1, Math.round(canvas.clientWidth * ratio)),
                Math.max(1, Math.round(canvas.clientHeight * ratio))];
    };
    window.addEventListener('resize', function() {
        // Only the latest size matters to a program that has not yet seen
        // the one before.
        const s = web.size();
        const last = web.events[web.events.length - 1];
        if (last && last[0] === 0) web.events.pop();
        web.events.push([0, s[0], s[1]]);
    });
    window.addEventListener('pagehide', function(event) {
        // A page kept for the back button (persisted) may come back, and
        // its program with it: only a page that goes for good closes.
        if (event.persisted) return;
        web.events.push([1, 0, 0]);
        if (web.wake) web.wake();
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

// Puts RGBA pixels on the canvas, resizing the canvas first when the client
// size changed (which clears it, so nothing stale shows around the new
// size). Counts the pictures shown: Module.standin.onFrame, when the page
// sets it, hears each count and may return a promise to hold the program at
// that picture until it settles; the result says whether it did (tests).
EM_JS(int, web_draw, (const uint8_t* rgba, int width, int height), {
    const web = Module.standin;
    if (web.canvas.width !== width || web.canvas.height !== height) {
        web.canvas.width = width;
        web.canvas.height = height;
    }
    const pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    web.context.putImageData(new ImageData(pixels, width, height), 0, 0);
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
// between waits.
EM_ASYNC_JS(void, web_wait_frame, (), {
    const web = Module.standin;
    if (web.resumedAt !== undefined) web.busyMs = (web.busyMs || 0) + performance.now() - web.resumedAt;
    await new Promise(function(resolve) {
        const id = requestAnimationFrame(function() {
            web.wake = null;
            resolve();
        });
        web.wake = function() {
            cancelAnimationFrame(id);
            web.wake = null;
            resolve();
        };
    });
    web.resumedAt = performance.now();
});
// clang-format on

class WebDisplay : public Display {
  public:
    WebDisplay() { web_attach(); }

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
        return true;
    }

    void destroy_window(Window&) override {}
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
        if (!window.framebuffer_changed || !window.visible || window.minimized || window.framebuffer.empty()) return;
        window.framebuffer_changed = false;
        // 0x00RRGGBB words (bytes B, G, R, 0) to the canvas's R, G, B, A bytes.
        rgba_.resize(window.framebuffer.size());
        const uint32_t* from = window.framebuffer.data();
        uint32_t* to = rgba_.data();
        for (size_t i = 0, n = rgba_.size(); i < n; ++i) {
            const uint32_t p = from[i];
            to[i] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
        if (web_draw(reinterpret_cast<const uint8_t*>(to), window.client_width, window.client_height)) web_hold();
    }

    // The browser's frames are the only clock a page should keep to: however
    // far off `until` is, the program sleeps to the next one (the timer it
    // waits for is then due, or it simply waits again).
    void wait(std::chrono::steady_clock::time_point until) override {
        if (until > std::chrono::steady_clock::now()) web_wait_frame();
    }

    // A page cannot learn the display's rate; 0 leaves the program to its
    // default, and the browser's frames pace it in any case.
    int refresh_rate() override { return 0; }

    const char* name() const override { return "web"; }

  private:
    std::vector<uint32_t> rgba_;
};

}  // namespace

std::unique_ptr<Display> make_web_display() { return std::make_unique<WebDisplay>(); }

}  // namespace standin
