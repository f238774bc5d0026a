// The table of display backends, chosen by name, and the close signals.
#include "display/display.h"

#include <signal.h>

#include <cstring>
#include <string>

namespace standin {

namespace {

// The first is the one a program that wants windows gets.
const DisplayBackend* const kBackends[] = {&kWindowDisplay, &kHeadlessDisplay, &kKeptFramesDisplay};

volatile sig_atomic_t g_close_requested = 0;

void on_close_signal(int) { g_close_requested = 1; }

}  // namespace

std::unique_ptr<Display> open_display(const std::string& name, std::string* error) {
    for (const DisplayBackend* backend : kBackends) {
        if (name == backend->name) return backend->open(error);
    }
    std::string known;
    for (const DisplayBackend* backend : kBackends) known += std::string(known.empty() ? "" : ", ") + backend->name;
    *error = "no display named '" + name + "' in this build (it has " + known + ")";
    return nullptr;
}

// SIGINT and SIGTERM close the window the ordinary way, so the program ends
// through WM_CLOSE and its own clean-up. A second signal, arriving while
// the first is still unanswered, ends the process (the handler resets).
void install_close_signals() {
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

bool close_requested() { return g_close_requested != 0; }

bool take_close_request() {
    if (!g_close_requested) return false;
    g_close_requested = 0;
    return true;
}

}  // namespace standin
