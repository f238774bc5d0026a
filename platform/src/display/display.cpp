// The choice of display backend, the close signals and the exits a program
// takes when it wants a window display and none is to be had.
#include "display/display.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "state.h"

namespace standin {

namespace {

volatile sig_atomic_t g_close_requested = 0;

void on_close_signal(int) { g_close_requested = 1; }

// SIGINT and SIGTERM close the window the ordinary way, so the program ends
// through WM_CLOSE and its own clean-up. A second signal, arriving while
// the first is still unanswered, ends the process (the handler resets).
void install_signal_handlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_close_signal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

[[noreturn]] void no_display(const char* what) {
    std::fprintf(stderr, "%s: %s; to run without one, set SCALING_SCROLLING_HEADLESS=1 or start it under xvfb-run\n",
                 program_invocation_short_name, what);
    std::exit(2);
}

}  // namespace

void choose_display() {
    State& s = state();
    if (s.display) return;
    probe::Backend choice = s.probe.backend_choice;
    if (choice == probe::Backend::Auto) {
        const char* env = std::getenv("SCALING_SCROLLING_HEADLESS");
        const bool headless = env != nullptr && env[0] != '\0' && std::strcmp(env, "0") != 0;
        choice = headless ? probe::Backend::Headless : probe::Backend::Sdl;
    }
    if (choice == probe::Backend::Headless) {
        s.display = make_headless_display();
    } else {
#ifdef __EMSCRIPTEN__
        s.display = make_web_display();
#else
        std::string error;
        s.display = make_sdl_display(&error);
        if (!s.display) no_display(("cannot open a display (" + error + ")").c_str());
#endif
    }
    install_signal_handlers();
    start_frame_stats();
}

void open_display_window(Window& window) {
    if (!state().display->create_window(window)) no_display("cannot open a window on the display");
}

bool close_requested() { return g_close_requested != 0; }

bool take_close_request() {
    if (!g_close_requested) return false;
    g_close_requested = 0;
    return true;
}

}  // namespace standin
