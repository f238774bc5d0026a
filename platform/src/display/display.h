// The display layer: the small interface between the stand-in (its USER32
// and GDI32 halves, the host) and the backends that show its windows. A
// backend sees only what this header and the ones it includes give it (the
// window and its framebuffer, the kept frame), never the stand-in's state.
// Each backend lives in a folder of its own beside this header: sdl2/ (real
// windows), headless/ (memory only), web/ (the page's canvas, WebAssembly
// builds) and none/ (a build without SDL2 says so).
#ifndef STANDIN_DISPLAY_H
#define STANDIN_DISPLAY_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "display/kept_frame.h"
#include "window.h"

namespace standin {

struct DisplayEvent {
    enum Type { Resize, Minimize, Restore, Focus, Close, Expose } type;
    uintptr_t window;
    int width;
    int height;
};

class Display {
  public:
    virtual ~Display() = default;
    // False means the display could not take the window.
    virtual bool create_window(Window& window) = 0;
    virtual void destroy_window(Window& window) = 0;
    virtual void show_window(Window& window, bool visible) = 0;
    // Moves the display's pending events into the stand-in's queue.
    virtual void pump(std::deque<DisplayEvent>& events) = 0;
    // Puts a window's framebuffer on screen if it changed since last time.
    virtual void present(Window& window) = 0;
    // Sleeps until `until`, or less if the display has something to deliver
    // (input, a window closed); early returns are allowed. Every wait of a
    // program for its next frame goes through here, so a backend can hand
    // the time to whatever drives its display.
    virtual void wait(std::chrono::steady_clock::time_point until) = 0;
    // The display's refresh rate in hertz, 0 when it cannot be learned.
    virtual int refresh_rate() = 0;
    virtual const char* name() const = 0;
    // Where the window's whole-window frames of 8-bit bitmaps go when the
    // display draws them itself (the page's canvas stretches them on the
    // GPU): StretchDIBits offers each such call to the returned frame before
    // drawing it into the framebuffer. Null, as for most displays, leaves
    // every call to the framebuffer.
    virtual KeptFrame* kept_frame(Window&) { return nullptr; }
};

// One backend: its name and how it is opened (null with *error filled when
// it cannot be here).
struct DisplayBackend {
    const char* name;
    std::unique_ptr<Display> (*open)(std::string* error);
};

// The build's window display, defined by the one window backend it
// compiles: SDL2 ("sdl2"), the page's canvas ("web"), or "none", which
// says why there is no window display.
extern const DisplayBackend kWindowDisplay;
// Memory only ("headless"), and the same keeping whole-window frames as the
// page's canvas does, drawing them at present ("kept-frames").
extern const DisplayBackend kHeadlessDisplay;
extern const DisplayBackend kKeptFramesDisplay;

// Opens the backend of that name; null with *error filled when it cannot,
// or when the build has no backend of that name.
std::unique_ptr<Display> open_display(const std::string& name, std::string* error);

// Asks SIGINT and SIGTERM to close the windows (once per process);
// close_requested tells whether one did, take_ also clears it.
void install_close_signals();
bool close_requested();
bool take_close_request();

// Frame statistics (SCALING_SCROLLING_STATS): started with the display,
// counted each time a timer ends a wait.
void start_frame_stats();
void count_frame_wake();

}  // namespace standin

#endif  // STANDIN_DISPLAY_H
