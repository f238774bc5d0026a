// pcxview: a PCX picture in a window that can be resized; the picture is
// stretched to fill it. The same Win32 calls as the demo: a window with its
// own device context handed to the library, the library's palette realized
// into it, and present for every WM_PAINT.
//
//   pcxview FILE.PCX
#include <windows.h>

#include <raster/raster.h>

#include <cstdio>
#include <cstring>
#include <string>

// The window's messages answered as the demo answers them.
#include "demo/window/palette_window.h"

namespace {

const char kClassName[] = "RasterPcxView";

PaletteWindow window;
int32_t pictureWidth;
int32_t pictureHeight;

void PaintPicture() {
    if (window.clientWidth > 0 && window.clientHeight > 0) {
        present(0, pictureWidth - 1, 0, pictureHeight - 1, 0, window.clientWidth - 1, 0, window.clientHeight - 1);
    }
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandlePaletteWindowMessage(&window, hwnd, message, lParam, PaintPicture, &result)) return result;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* Problem(int32_t result) {
    switch (result) {
        case PCX_OPEN_FAILED:
            return "cannot be opened";
        case PCX_BAD_HEADER:
            return "is not a PCX picture";
        default:
            return "has a layout the library cannot read";
    }
}

// The command line is the file name, in quotes on Windows when it has spaces.
std::string FileName(const char* commandLine) {
    std::string name = commandLine != nullptr ? commandLine : "";
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    return name;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int cmdShow) {
    const std::string file = FileName(commandLine);
    if (file == "--help" || file == "-h") {
        std::printf("usage: pcxview FILE.PCX\nShows the picture in a window; resize it to stretch the picture.\n");
        return 0;
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: pcxview FILE.PCX (pcxview --help for more)\n");
        return 2;
    }
    int32_t colours = 0;
    const int32_t info = pcx_info(file.c_str(), 0, &pictureWidth, &pictureHeight, &colours);
    if (info != PCX_OK) {
        std::fprintf(stderr, "pcxview: %s %s\n", file.c_str(), Problem(info));
        return 1;
    }

    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    const std::string caption = "pcxview - " + file;
    HWND hwnd = CreateWindowExA(0, kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                pictureWidth, pictureHeight, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        std::fprintf(stderr, "pcxview: cannot create a window\n");
        return 1;
    }

    // One 32-bit surface: every layout keeps its own colours there.
    raster_init();
    surface_set_depth(32);
    const int32_t surface = surface_create(pictureWidth, pictureHeight);
    if (surface < 0) {
        std::fprintf(stderr, "pcxview: %s: no memory for a %d x %d picture\n", file.c_str(), pictureWidth,
                     pictureHeight);
        DestroyWindow(hwnd);
        return 1;
    }
    surface_select(surface);
    const int32_t shown = pcx_display(file.c_str(), PCX_AT_POSITION);
    if (shown != PCX_OK) {
        std::fprintf(stderr, "pcxview: %s %s\n", file.c_str(), Problem(shown));
        surface_deselect();
        surface_destroy(surface);
        raster_shutdown();
        DestroyWindow(hwnd);
        return 1;
    }

    ShowWindow(hwnd, cmdShow);
    UpdateWindow(hwnd);
    MSG msg;
    for (;;) {
        // Nothing happens between messages (the window repaints on
        // WM_PAINT), so the program sleeps until the next one arrives.
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    surface_deselect();
    surface_destroy(surface);
    raster_shutdown();
    return static_cast<int>(msg.wParam);
}
