// PCX viewer for the web page: a small Win32 program on the raster library.
//
// The page hands it a file's bytes (ViewerOpen, called from the page's
// script, posts them to the window as a private message); the window
// procedure reads the picture's size and colours from its header
// (pcx_info) and decodes it from memory into a surface of that size, 8 bits
// deep for pictures of up to 256 colours and 32 bits for true colour,
// and presents it stretched to fit the window with its proportions kept,
// on black. What was shown, or why the reader refused the file, goes back to
// the page in one line.
#include <emscripten.h>
#include <windows.h>

#include <raster/raster.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char kClassName[] = "PcxViewer";
const char kCaption[] = "PCX Viewer";
// wParam: size in bytes; lParam: the block, from malloc (the window frees it).
constexpr UINT kOpenMessage = WM_USER + 1;

HWND viewerWindow;
HDC ownDC;
HPALETTE windowPalette;
int32_t clientWidth;
int32_t clientHeight;
int32_t background = -1;  // 4 x 1 black surface, stretched behind the picture
int32_t picture = -1;
int32_t pictureWidth;
int32_t pictureHeight;

EM_JS(void, ReportToPage, (const char* text, int shown), {
    if (Module.onViewerReport) Module.onViewerReport(UTF8ToString(text), shown != 0);
});

const char* RefusalText(int32_t result) {
    switch (result) {
        case PCX_OPEN_FAILED:
            return "the data could not be read (PCX_OPEN_FAILED)";
        case PCX_BAD_HEADER:
            return "not a PCX picture, or its 128-byte header is cut short or names no pixels (PCX_BAD_HEADER)";
        case PCX_BAD_LAYOUT:
            return "a pixel layout this reader cannot store, or unusable line sizes (PCX_BAD_LAYOUT)";
        case PCX_OUTSIDE:
            return "the picture leaves no pixel on its surface (PCX_OUTSIDE)";
        default:
            return "the reader refused it";
    }
}

void DropPicture() {
    if (picture < 0) return;
    surface_deselect();
    surface_destroy(picture);
    picture = -1;
}

// Decodes the work block's picture into a new surface of its size, 8 or
// 32 bits deep, which becomes the picture shown; the reader's result, or
// kTooLarge when no such surface can be made.
constexpr int32_t kTooLarge = -1;

int32_t Decode(int32_t width, int32_t height, int32_t colours) {
    surface_set_depth(colours > 256 ? 32 : 8);
    const int32_t handle = surface_create(width, height);
    if (handle < 0) return kTooLarge;
    surface_select(handle);
    move_to(0, 0);
    const int32_t result = pcx_display(nullptr, PCX_FROM_BUFFER | PCX_AT_POSITION);
    if (result != PCX_OK) {
        surface_deselect();
        surface_destroy(handle);
        return result;
    }
    picture = handle;
    pictureWidth = width;
    pictureHeight = height;
    return PCX_OK;
}

// The header says how large a surface to make and how deep (pcx_info);
// the picture then goes into it at its upper-left corner.
void OpenPicture(const uint8_t* data, uint32_t size) {
    DropPicture();
    int32_t width = 0;
    int32_t height = 0;
    int32_t colours = 0;
    pcx_set_buffer(data, size);
    int32_t result = pcx_info(nullptr, PCX_FROM_BUFFER, &width, &height, &colours);
    if (result == PCX_OK) result = Decode(width, height, colours);
    pcx_set_buffer(nullptr, 0);

    char text[200];
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    if (result == kTooLarge) {
        std::snprintf(text, sizeof text, "not shown: %d x %d pixels is too large to hold", w, h);
    } else if (result != PCX_OK) {
        std::snprintf(text, sizeof text, "not shown: %s", RefusalText(result));
    } else if (colours > 256) {
        std::snprintf(text, sizeof text, "%d x %d pixels, true colour", w, h);
    } else {
        std::snprintf(text, sizeof text, "%d x %d pixels, %d colours", w, h, static_cast<int>(colours));
    }
    ReportToPage(text, result == PCX_OK);
    InvalidateRect(viewerWindow, nullptr, FALSE);
}

// The largest rectangle of the picture's proportions inside the client
// area, centred; black around it.
void Paint() {
    if (clientWidth < 1 || clientHeight < 1) return;
    surface_select(background);
    present(0, 3, 0, 0, 0, clientWidth - 1, 0, clientHeight - 1);
    if (picture < 0) return;
    const double scale =
        std::min(static_cast<double>(clientWidth) / pictureWidth, static_cast<double>(clientHeight) / pictureHeight);
    const int32_t width = std::max<int32_t>(1, static_cast<int32_t>(pictureWidth * scale + 0.5));
    const int32_t height = std::max<int32_t>(1, static_cast<int32_t>(pictureHeight * scale + 0.5));
    const int32_t left = (clientWidth - width) / 2;
    const int32_t top = (clientHeight - height) / 2;
    surface_select(picture);
    present(0, pictureWidth - 1, 0, pictureHeight - 1, left, left + width - 1, top, top + height - 1);
}

LRESULT OnCreate(HWND hwnd) {
    ownDC = GetDC(hwnd);
    set_window_dc(ownDC);
    windowPalette = palette_create();
    palette_realize(windowPalette);
    return 0;
}

LRESULT OnDestroy(HWND hwnd) {
    DeleteObject(windowPalette);
    ReleaseDC(hwnd, ownDC);
    PostQuitMessage(0);
    return 0;
}

LRESULT OnSize(LPARAM lParam) {
    clientWidth = LOWORD(lParam);
    clientHeight = HIWORD(lParam);
    return 0;
}

LRESULT OnSetFocus(HWND hwnd) {
    palette_realize(windowPalette);
    InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
}

LRESULT OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    Paint();
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnOpen(WPARAM wParam, LPARAM lParam) {
    uint8_t* data = reinterpret_cast<uint8_t*>(lParam);
    OpenPicture(data, static_cast<uint32_t>(wParam));
    std::free(data);
    return 0;
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(hwnd);
        case WM_DESTROY:
            return OnDestroy(hwnd);
        case WM_SIZE:
            return OnSize(lParam);
        case WM_SETFOCUS:
            return OnSetFocus(hwnd);
        case WM_PAINT:
            return OnPaint(hwnd);
        case kOpenMessage:
            return OnOpen(wParam, lParam);
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace

// Called by the page with a block from malloc holding a file's bytes; the
// window takes it over.
extern "C" EMSCRIPTEN_KEEPALIVE int ViewerOpen(uint8_t* data, uint32_t size) {
    if (viewerWindow == nullptr || !PostMessageA(viewerWindow, kOpenMessage, size, reinterpret_cast<LPARAM>(data))) {
        std::free(data);
        return 0;
    }
    return 1;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    WNDCLASSA wc{};
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    viewerWindow = CreateWindowExA(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                                   nullptr, nullptr, hInstance, nullptr);
    if (viewerWindow == nullptr) return 1;

    raster_init();
    surface_set_depth(8);
    background = surface_create(4, 1);

    ShowWindow(viewerWindow, nCmdShow);
    UpdateWindow(viewerWindow);

    // Nothing moves between files: with the queue empty the viewer sleeps
    // until a message comes.
    MSG msg;
    while (true) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DropPicture();
    surface_deselect();
    surface_destroy(background);
    raster_shutdown();
    viewerWindow = nullptr;
    return static_cast<int>(msg.wParam);
}
