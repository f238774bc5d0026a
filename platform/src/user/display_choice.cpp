// Which display the windows go on, opened when the first window is made,
// and the exits a program takes when it wants a window display and none is
// to be had.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "state.h"
#include "user/user.h"

namespace standin {

namespace {

[[noreturn]] void no_display(const std::string& what) {
    std::fprintf(stderr, "%s: %s; to run without one, set SCALING_SCROLLING_HEADLESS=1 or start it under xvfb-run\n",
                 program_invocation_short_name, what.c_str());
    std::exit(2);
}

// The backend's name: the probe's choice, else headless when
// SCALING_SCROLLING_HEADLESS asks for it, else the build's window display.
const char* chosen_backend() {
    switch (state().probe.backend_choice) {
        case probe::Backend::Headless:
            return kHeadlessDisplay.name;
        case probe::Backend::KeptFrames:
            return kKeptFramesDisplay.name;
        case probe::Backend::Sdl:
            return kWindowDisplay.name;
        case probe::Backend::Auto:
            break;
    }
    const char* env = std::getenv("SCALING_SCROLLING_HEADLESS");
    const bool headless = env != nullptr && env[0] != '\0' && std::strcmp(env, "0") != 0;
    return headless ? kHeadlessDisplay.name : kWindowDisplay.name;
}

}  // namespace

void choose_display() {
    State& s = state();
    if (s.display) return;
    std::string error;
    s.display = open_display(chosen_backend(), &error);
    if (!s.display) no_display("cannot open a display (" + error + ")");
    install_close_signals();
    start_frame_stats();
}

void open_display_window(Window& window) {
    if (!state().display->create_window(window)) no_display("cannot open a window on the display");
}

}  // namespace standin
