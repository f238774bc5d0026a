// The messages that every window showing the library's surfaces answers
// the same way (the demo's, pcxview's and the web page's PCX viewer): the
// window's own device context handed to the library, the library's palette
// realized into it again whenever the window gains the focus, the client
// size kept from WM_SIZE, and WM_PAINT drawing between BeginPaint and
// EndPaint. Each program's window procedure passes the rest on.
#ifndef DEMO_WINDOW_PALETTE_WINDOW_H
#define DEMO_WINDOW_PALETTE_WINDOW_H

#include <windows.h>

#include <raster/raster.h>

#include <cstdint>

struct PaletteWindow {
    HDC dc = nullptr;            // the window's own (CS_OWNDC), from WM_CREATE to WM_DESTROY
    HPALETTE palette = nullptr;  // the library's palette, built at WM_CREATE
    int32_t clientWidth = 0;     // from the last WM_SIZE
    int32_t clientHeight = 0;
};

// Answers WM_CREATE, WM_DESTROY, WM_SIZE, WM_SETFOCUS and WM_PAINT (with
// paint() between BeginPaint and EndPaint) for `window`: true, with the
// message's result in *result, when the message was one of those.
inline bool HandlePaletteWindowMessage(PaletteWindow* window, HWND hwnd, UINT message, LPARAM lParam, void (*paint)(),
                                       LRESULT* result) {
    *result = 0;
    switch (message) {
        case WM_CREATE:
            // The library draws through the window's own device context,
            // which it must have before raster_init and before any surface
            // exists.
            window->dc = GetDC(hwnd);
            set_window_dc(window->dc);
            window->palette = palette_create();
            palette_realize(window->palette);
            return true;
        case WM_DESTROY:
            DeleteObject(window->palette);
            ReleaseDC(hwnd, window->dc);
            PostQuitMessage(0);
            return true;
        case WM_SIZE:
            // CS_HREDRAW | CS_VREDRAW repaint the whole window after this.
            window->clientWidth = LOWORD(lParam);
            window->clientHeight = HIWORD(lParam);
            return true;
        case WM_SETFOCUS:
            palette_realize(window->palette);
            InvalidateRect(hwnd, nullptr, TRUE);
            return true;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            paint();
            EndPaint(hwnd, &ps);
            return true;
        }
        default:
            return false;
    }
}

#endif  // DEMO_WINDOW_PALETTE_WINDOW_H
