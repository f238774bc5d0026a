// Application shell: the window, its message loop with a frame whenever the
// queue is empty and the display is ready for one, and the window procedure
// that ties the raster library to the window.
#include <windows.h>

#include <raster/raster.h>

#include "pacing.h"
#include "scene.h"
#include "shell.h"

char moduleDir[kPathBufferSize];
DemoSurface* frameSurface;
DemoSurface* panoramaSurface;
PaletteWindow shellWindow;

namespace {

const char kClassName[] = "QXvbndemo";
const char kCaption[] = "Scaling and Scrolling";
const char kSkyFile[] = "SKY.PCX";

// The window opens at the frame's own size.
constexpr int kWindowWidth = kFrameWidth;
constexpr int kWindowHeight = kFrameHeight;
constexpr DWORD kModuleNameLimit = kPathBufferSize - 1;

// Keeps the directory part of the executable's name in moduleDir, up to and
// including the last separator ('\' or '/'). A name without a separator
// leaves an empty directory, so the pictures are looked for in the current
// directory. A name that filled the whole buffer may have been cut short and
// its directory is unknown: it is left at full length, so that no file name
// fits after it and every picture is refused.
void FindModuleDir(HINSTANCE instance) {
    const DWORD length = GetModuleFileNameA(instance, moduleDir, kModuleNameLimit);
    if (length >= kModuleNameLimit) {
        moduleDir[kModuleNameLimit] = '\0';
        return;
    }
    int i = lstrlenA(moduleDir);
    while (i >= 0 && moduleDir[i] != '\\' && moduleDir[i] != '/') --i;
    moduleDir[i + 1] = '\0';
}

void PresentFrame() {
    present(0, kFrameWidth - 1, 0, kFrameHeight - 1, 0, shellWindow.clientWidth - 1, 0, shellWindow.clientHeight - 1);
}

// Loads the sky into the panorama (the active surface) and makes it a loop.
void PreparePanorama(int32_t panorama) {
    // The copies name surfaces by handle; a panorama that was never created
    // must not be mistaken for another slot.
    if (panorama < 0) return;
    ReadPicture(kSkyFile);
    for (int32_t i = kSkyColumns - 1; i >= 0; --i) {
        surface_copy(i, i, 0, kPanoramaHeight - 1, kLoopPeriod - 1 - i, kPanoramaHeight - 1, panorama, panorama);
    }
    surface_copy(0, kFrameWidth - 1, 0, kPanoramaHeight - 1, kLoopPeriod, kPanoramaHeight - 1, panorama, panorama);
}

}  // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandlePaletteWindowMessage(&shellWindow, hwnd, message, lParam, PresentFrame, &result)) return result;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int nCmdShow) {
    if (hPrevInstance == nullptr) {
        WNDCLASSA wc;
        wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = WndProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = hInstance;
        wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = nullptr;
        wc.lpszMenuName = nullptr;
        wc.lpszClassName = kClassName;
        RegisterClassA(&wc);
    }

    HWND hwnd = CreateWindowExA(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                kWindowWidth, kWindowHeight, nullptr, nullptr, hInstance, nullptr);
    // Without a window the library would have no device context to draw
    // with; there is nothing to show, so the program ends quietly.
    if (hwnd == nullptr) return 1;

    DemoSurface frame(kFrameWidth, kFrameHeight, true);
    DemoSurface panorama(kPanoramaWidth, kPanoramaHeight, false);
    frameSurface = &frame;
    panoramaSurface = &panorama;

    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);

    FindModuleDir(hInstance);

    surface_select(panorama.Handle());
    PreparePanorama(panorama.Handle());
    surface_select(frame.Handle());

    // Composing frames back to back would run the animation at whatever
    // speed the machine has and keep a processor busy; each frame waits for
    // the display's next refresh instead, asleep but answering messages.
    FramePacer pacer(shellWindow.dc);
    MSG msg;
    for (;;) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (pacer.WaitForFrame()) {
                UpdateFrame();
                pacer.FrameDrawn();
            }
            continue;
        }
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
