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

void Expect(bool good, const char* what) {
    if (!good) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

// Polls for up to five seconds (the handler runs on another thread).
int SignalWithin(int wanted) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (tools::InterruptSignal() != wanted && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return tools::InterruptSignal();
}

BOOL CallOnItsOwnThread(DWORD event) {
    BOOL handled = FALSE;
    std::thread([&] { handled = tools::ConsoleControlHandler(event); }).join();
    return handled;
}

int Wait() {
    tools::InstallInterruptHandlers();
    std::printf("ready\n");
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (tools::InterruptSignal() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::printf("signal %d\n", tools::InterruptSignal());
    return tools::InterruptSignal();
}

// One key's event alone in a fresh process: handled, and SIGINT.
int Key(DWORD event) {
    tools::InstallInterruptHandlers();
    Expect(CallOnItsOwnThread(event) == TRUE, "the key's event is handled");
    Expect(tools::InterruptSignal() == SIGINT, "the key is SIGINT");
    std::printf("%s\n", failures == 0 ? "1 passed, 0 failed" : "failed");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--wait") == 0) return Wait();
    if (argc > 1 && std::strcmp(argv[1], "--ctrl-c") == 0) return Key(CTRL_C_EVENT);
    if (argc > 1 && std::strcmp(argv[1], "--ctrl-break") == 0) return Key(CTRL_BREAK_EVENT);
    Expect(tools::InterruptSignal() == 0, "no interrupt before any event");
    tools::InstallInterruptHandlers();
    Expect(tools::InterruptSignal() == 0, "no interrupt once the handler is installed");
    // Events the tools do not take are left to the next handler.
    Expect(CallOnItsOwnThread(7) == FALSE, "an unknown event is not handled");
    Expect(tools::InterruptSignal() == 0, "an unknown event is no interrupt");

    // The console closing: recorded as SIGTERM, and the handler does not
    // return (the system would end the process the moment it did).
    std::atomic<bool> returned{false};
    std::thread([&] {
        tools::ConsoleControlHandler(CTRL_CLOSE_EVENT);
        returned = true;
    }).detach();
    Expect(SignalWithin(SIGTERM) == SIGTERM, "closing the console is SIGTERM");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Expect(!returned, "the close handler waits for the program to end");

    // Ctrl-C and Ctrl-Break are handled, but the first interrupt stays the
    // one recorded.
    Expect(CallOnItsOwnThread(CTRL_C_EVENT) == TRUE, "Ctrl-C is handled");
    Expect(CallOnItsOwnThread(CTRL_BREAK_EVENT) == TRUE, "Ctrl-Break is handled");
    Expect(tools::InterruptSignal() == SIGTERM, "the first interrupt is kept");
    std::printf("%s\n", failures == 0 ? "1 passed, 0 failed" : "failed");
    // The close handler's thread still sleeps: ended with the process.
    std::fflush(stdout);
    ExitProcess(failures == 0 ? 0 : 1);
}
