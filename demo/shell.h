// The application shell's window procedure, the window resources it hands to
// the raster library, and the variables it fills for the scene.
#ifndef DEMO_SHELL_H
#define DEMO_SHELL_H

#include <windows.h>

#include <cstdint>

class DemoSurface;

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Size of every path buffer the demo builds, terminating NUL included.
constexpr int kPathBufferSize = 128;

// Filled by the shell before the first frame, and read by the scene: the
// program's folder (with its final separator), the two surfaces (automatic
// objects of WinMain), and the client area's size from the last WM_SIZE.
extern char moduleDir[kPathBufferSize];
extern DemoSurface* frameSurface;
extern DemoSurface* panoramaSurface;
extern int32_t clientWidth;
extern int32_t clientHeight;

// The window's private device context (from WM_CREATE) and the logical
// palette built there; both are released at WM_DESTROY.
extern HDC ownDC;
extern HPALETTE windowPalette;

#endif  // DEMO_SHELL_H
