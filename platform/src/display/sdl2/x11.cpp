// Losing the X display. Xlib's own handlers print several lines and exit
// through clean-up that talks to the dead connection again (an assertion
// inside Xlib, and a core, is the usual end); here the program says what
// happened in one line and ends at once, asking nothing more of the display.
#include "x11.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef STANDIN_HAVE_X11
#include <SDL_syswm.h>
#endif

namespace standin {

#ifdef STANDIN_HAVE_X11

namespace {

[[noreturn]] void lost_display(const char* what) {
    std::fprintf(stderr, "%s: %s; ending\n", program_invocation_short_name, what);
    _exit(1);
}

int on_connection_lost(::Display*) { lost_display("lost the connection to the X display"); }

// SDL catches the errors it expects with handlers of its own; any other
// refusal means the window is no longer there to draw on.
int on_request_refused(::Display* display, XErrorEvent* error) {
    char text[160];
    XGetErrorText(display, error->error_code, text, sizeof text);
    char what[256];
    std::snprintf(what, sizeof what, "the X display refused a request for the window (%s)", text);
    lost_display(what);
}

}  // namespace

void watch_display_connection() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return;
    XSetIOErrorHandler(on_connection_lost);
    XSetErrorHandler(on_request_refused);
    // DestroyNotify reaches the program only as a window-system event.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void check_window_destroyed(const SDL_SysWMmsg* message, SDL_Window* window) {
    if (message == nullptr || window == nullptr || message->subsystem != SDL_SYSWM_X11 ||
        message->msg.x11.event.type != DestroyNotify) {
        return;
    }
    // A window the program destroyed itself is no longer SDL's by the time
    // its DestroyNotify arrives, so a match is someone else's doing.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11 &&
        info.info.x11.window == message->msg.x11.event.xdestroywindow.window) {
        lost_display("the window was destroyed from outside");
    }
}

#else

void watch_display_connection() {}
void check_window_destroyed(const SDL_SysWMmsg*, SDL_Window*) {}

#endif

}  // namespace standin
