// The display layer: the small interface the USER32 half talks to, the
// choice of backend behind it, and what a program hears when there is no
// display to be had. Each backend lives in a folder of its own beside this
// header: sdl2/ (real windows), headless/ (memory only), web/ (the page's
// canvas, WebAssembly builds) and none/ (a build without SDL2 says so).
#ifndef STANDIN_DISPLAY_H
#define STANDIN_DISPLAY_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

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
};

// The backends.
std::unique_ptr<Display> make_headless_display();
// Null with *error filled when no display can be opened.
std::unique_ptr<Display> make_sdl_display(std::string* error);
// The browser page's canvas (WebAssembly builds only).
std::unique_ptr<Display> make_web_display();

// Opens the display the probe or SCALING_SCROLLING_HEADLESS asks for, once;
// a program that wants a window display and cannot have one is told why and
// ends (status 2). Also installs the close-signal handlers and starts the
// frame statistics.
void choose_display();
// Puts `window` on the chosen display; ends the program as above when the
// display refuses it.
void open_display_window(Window& window);
// Whether SIGINT or SIGTERM asked the program to close; take_ clears it.
bool close_requested();
bool take_close_request();

// Frame statistics (SCALING_SCROLLING_STATS): started with the display,
// counted each time a timer ends a wait.
void start_frame_stats();
void count_frame_wake();

}  // namespace standin

#endif  // STANDIN_DISPLAY_H
