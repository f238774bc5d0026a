// A window on the stand-in's headless display with a client area of the
// size asked for and a DC of its own: what the stretch tests draw on and
// read back through the probe.
#ifndef TESTS_PLATFORM_HEADLESS_WINDOW_H
#define TESTS_PLATFORM_HEADLESS_WINDOW_H

#include <standin/probe.h>
#include <windows.h>

namespace testwindow {

// Null when the window could not be made. The class is registered on first
// use (registering it again fails harmlessly).
inline HWND headless_window(const char* class_name, int width, int height) {
    standin::probe::set_client_size(width, height);
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = class_name;
    RegisterClassA(&wc);
    return CreateWindowExA(0, class_name, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace testwindow

#endif  // TESTS_PLATFORM_HEADLESS_WINDOW_H
