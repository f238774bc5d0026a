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
// The JavaScript half is library_web.js beside this file: it finds the
// canvas, draws on it through WebGL2 or the 2D context, and holds the
// events the page queues (Module.standin). A whole-window frame of an 8-bit
// bitmap is kept (KeptFrame) and stretched straight onto the canvas: by the
// GPU, which picks each canvas pixel's source pixel by the stand-in's own
// rule, or by the stand-in's stretch into the canvas's bytes.
#include <cstdint>
#include <vector>

#include "display/display.h"

// The functions of library_web.js.
extern "C" {
// Finds the canvas, makes its context and Module.standin's event queue.
void web_attach();
// The page's size in device pixels.
void web_client_size(int* width, int* height);
// Kind of the next queued page event (0 resize, 1 close), or -1 for none.
int web_next_event(int* width, int* height);
// Counts a picture shown; 1 when the page holds the program there (tests),
// which web_hold then waits out.
int web_shown();
void web_hold();
// Returns at the browser's next animation frame (or when the page goes).
void web_wait_frame();
// 1 while pictures go through WebGL2, 0 once they go through the 2D context.
int web_gl_active();
// The largest texture side WebGL2 takes (0 without WebGL2).
int web_gl_max_texture();
// Draws the bitmap's indices (bitmap_width x bitmap_height bytes, `stride`
// apart) through `colours` (256 entries of R, G, B, A bytes) stretched onto
// the whole canvas, as `geometry` says.
void web_gl_stretch(const uint8_t* bits, int bitmap_width, int bitmap_height, int stride, const uint8_t* colours,
                    const standin::FrameGeometry* geometry);
// Puts a framebuffer (words 0x00RRGGBB, rows top first) on the canvas one to
// one, through WebGL2.
void web_gl_copy(const uint32_t* pixels, int width, int height);
// The same through the 2D context, from R, G, B, A bytes.
void web_2d_copy(const uint8_t* rgba, int width, int height);
}

namespace standin {

namespace {

class WebDisplay : public Display {
  public:
    WebDisplay() {
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
        newest_ = window.handle;
        return true;
    }

    void destroy_window(Window& window) override {
        delete static_cast<KeptFrame*>(window.backend_data);
        window.backend_data = nullptr;
    }

    void show_window(Window&, bool) override {}

    // The page's events are the newest window's.
    void pump(std::deque<DisplayEvent>& events) override {
        int width = 0;
        int height = 0;
        for (int kind; (kind = web_next_event(&width, &height)) >= 0;) {
            if (newest_ == 0) continue;
            if (kind == 0) {
                events.push_back(DisplayEvent{DisplayEvent::Resize, newest_, width, height});
            } else {
                events.push_back(DisplayEvent{DisplayEvent::Close, newest_, 0, 0});
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
        const bool whole = frame->covers(window);
        if (whole && gl) {
            web_gl_stretch(frame->bits(), frame->bitmap_width(), frame->bitmap_height(),
                           static_cast<int>(frame->stride()), frame->colours(), &frame->geometry());
        } else if (whole) {
            rgba_.resize(window.framebuffer.size());
            frame->draw_rgba(rgba_.data());
            web_2d_copy(reinterpret_cast<const uint8_t*>(rgba_.data()), window.client_width, window.client_height);
        } else {
            frame->settle(window);
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

    // While pictures go through WebGL2 a kept bitmap must fit a texture.
    KeptFrame* kept_frame(Window& window) override {
        KeptFrame* frame = static_cast<KeptFrame*>(window.backend_data);
        frame->set_largest_bitmap(web_gl_active() ? web_gl_max_texture() : KeptFrame::kAnySize);
        return frame;
    }

  private:
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
    uintptr_t newest_ = 0;    // the window the page's events are for
    bool gl_ = false;         // pictures went through WebGL2 at the last present
    bool unyielded_ = false;  // a picture was put and the browser has not run since
};

std::unique_ptr<Display> open_web(std::string*) { return std::make_unique<WebDisplay>(); }

}  // namespace

const DisplayBackend kWindowDisplay = {"web", open_web};

}  // namespace standin
