// The application shell's window procedure and the window resources it
// hands to the raster library.
#ifndef DEMO_SHELL_H
#define DEMO_SHELL_H

#include <windows.h>

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The window's private device context (from WM_CREATE) and the logical
// palette built there; both are released at WM_DESTROY.
extern HDC ownDC;
extern HPALETTE windowPalette;

#endif  // DEMO_SHELL_H
