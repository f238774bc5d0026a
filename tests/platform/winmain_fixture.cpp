// A small WinMain program on the stand-in's entry, started by the entry
// tests. Its first argument picks what it does:
//   exit N   returns N at once;
//   args ... prints the command line it was given;
//   window   opens a window and runs the usual idle loop until WM_QUIT,
//            printing "ready" once the loop is idle, and returns the quit code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static LRESULT CALLBACK fixture_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow) {
    if (std::strncmp(cmdLine, "exit ", 5) == 0) return std::atoi(cmdLine + 5);
    if (std::strncmp(cmdLine, "args", 4) == 0) {
        std::printf("[%s] %d %d\n", cmdLine, cmdShow, instance != nullptr);
        return 0;
    }
    WNDCLASSA wc{};
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = fixture_proc;
    wc.hInstance = instance;
    wc.lpszClassName = "fixture";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "fixture", "fixture", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                                nullptr, nullptr, instance, nullptr);
    ShowWindow(hwnd, cmdShow);
    UpdateWindow(hwnd);
    bool announced = false;
    MSG msg;
    while (true) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!announced) {
                std::printf("ready\n");
                std::fflush(stdout);
                announced = true;
            }
            continue;
        }
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
