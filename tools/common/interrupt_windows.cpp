// Interrupts on Windows come as console control events, each on a thread the
// system starts for it, not as signals. They are recorded under the signal
// numbers the tools know from POSIX, so that a batch stops the same way and
// ends with the same status on both systems:
//   Ctrl-C and Ctrl-Break      SIGINT: both are the person at the keyboard
//                              asking the program to stop (SIGBREAK, 21, is
//                              a number the tools' callers would have to learn
//                              for no different meaning)
//   the console window closed, SIGTERM: the system ends the program shortly
//   logoff, shutdown           after the handler returns, so the handler waits
//                              for the batch to finish its files and return
#include <windows.h>

#include <atomic>
#include <csignal>

#include "interrupt.h"
#include "interrupt_windows.h"

namespace tools {

namespace {

// Written by the control handler's thread, read by the workers.
std::atomic<int> received{0};

}  // namespace

BOOL WINAPI console_control_handler(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: {
            int none = 0;
            received.compare_exchange_strong(none, SIGINT);
            return TRUE;
        }
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: {
            int none = 0;
            received.compare_exchange_strong(none, SIGTERM);
            // Returning lets the system end the process at once; the batch
            // ends it itself when its files are whole (or the system does,
            // after its own grace period).
            Sleep(INFINITE);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void install_interrupt_handlers() { SetConsoleCtrlHandler(console_control_handler, TRUE); }

int interrupt_signal() { return received.load(); }

}  // namespace tools
