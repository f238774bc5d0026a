// The console control handler that install_interrupt_handlers registers on
// Windows: the routine the system calls, on a thread of its own, for Ctrl-C,
// Ctrl-Break and the console closing. Declared for the tests, which call it
// as the system does.
#ifndef TOOLS_COMMON_INTERRUPT_WINDOWS_H
#define TOOLS_COMMON_INTERRUPT_WINDOWS_H

#include <windows.h>

namespace tools {

BOOL WINAPI console_control_handler(DWORD event);

}  // namespace tools

#endif  // TOOLS_COMMON_INTERRUPT_WINDOWS_H
