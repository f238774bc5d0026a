// The console control handler, called as Windows calls it: on a thread of
// its own, one event at a time. A program of its own rather than a test
// suite, because what it checks happens once in a process (the first
// interrupt is the one recorded, and the close event never returns).
//   interrupt_windows_check              an unknown event, the console
//                                        closing, then Ctrl-C and Ctrl-Break
//   interrupt_windows_check --ctrl-c     Ctrl-C alone (SIGINT)
//   interrupt_windows_check --ctrl-break Ctrl-Break alone (SIGINT too)
//   interrupt_windows_check --wait       waits (10 s at most) for a real
//                                        Ctrl-C; exits with the signal
#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "interrupt.h"
#include "interrupt_windows.h"

namespace {

int failures = 0;

void expect(bool good, const char* what) {
    if (!good) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

// Polls for up to five seconds (the handler runs on another thread).
int signal_within(int wanted) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (tools::interrupt_signal() != wanted && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return tools::interrupt_signal();
}

BOOL call_on_its_own_thread(DWORD event) {
    BOOL handled = FALSE;
    std::thread([&] { handled = tools::console_control_handler(event); }).join();
    return handled;
}

int wait_for_signal() {
    tools::install_interrupt_handlers();
    std::printf("ready\n");
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (tools::interrupt_signal() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::printf("signal %d\n", tools::interrupt_signal());
    return tools::interrupt_signal();
}

// One key's event alone in a fresh process: handled, and SIGINT.
int key(DWORD event) {
    tools::install_interrupt_handlers();
    expect(call_on_its_own_thread(event) == TRUE, "the key's event is handled");
    expect(tools::interrupt_signal() == SIGINT, "the key is SIGINT");
    std::printf("%s\n", failures == 0 ? "1 passed, 0 failed" : "failed");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--wait") == 0) return wait_for_signal();
    if (argc > 1 && std::strcmp(argv[1], "--ctrl-c") == 0) return key(CTRL_C_EVENT);
    if (argc > 1 && std::strcmp(argv[1], "--ctrl-break") == 0) return key(CTRL_BREAK_EVENT);
    expect(tools::interrupt_signal() == 0, "no interrupt before any event");
    tools::install_interrupt_handlers();
    expect(tools::interrupt_signal() == 0, "no interrupt once the handler is installed");
    // Events the tools do not take are left to the next handler.
    expect(call_on_its_own_thread(7) == FALSE, "an unknown event is not handled");
    expect(tools::interrupt_signal() == 0, "an unknown event is no interrupt");

    // The console closing: recorded as SIGTERM, and the handler does not
    // return (the system would end the process the moment it did).
    std::atomic<bool> returned{false};
    std::thread([&] {
        tools::console_control_handler(CTRL_CLOSE_EVENT);
        returned = true;
    }).detach();
    expect(signal_within(SIGTERM) == SIGTERM, "closing the console is SIGTERM");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    expect(!returned, "the close handler waits for the program to end");

    // Ctrl-C and Ctrl-Break are handled, but the first interrupt stays the
    // one recorded.
    expect(call_on_its_own_thread(CTRL_C_EVENT) == TRUE, "Ctrl-C is handled");
    expect(call_on_its_own_thread(CTRL_BREAK_EVENT) == TRUE, "Ctrl-Break is handled");
    expect(tools::interrupt_signal() == SIGTERM, "the first interrupt is kept");
    std::printf("%s\n", failures == 0 ? "1 passed, 0 failed" : "failed");
    // The close handler's thread still sleeps: ended with the process.
    std::fflush(stdout);
    ExitProcess(failures == 0 ? 0 : 1);
}
