// The application shell's window procedure, the window resources it hands to
// the raster library, and the variables it fills for the scene.
#ifndef DEMO_SHELL_H
#define DEMO_SHELL_H

#include <windows.h>

#include <cstdint>

#include "window/palette_window.h"

class DemoSurface;

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Size of every path buffer the demo builds, terminating NUL included.
constexpr int kPathBufferSize = 128;

// Filled by the shell before the first frame, and read by the scene: the
// program's folder (with its final separator) and the two surfaces
// (automatic objects of WinMain).
extern char moduleDir[kPathBufferSize];
extern DemoSurface* frameSurface;
extern DemoSurface* panoramaSurface;

// The window's private device context and the logical palette (from
// WM_CREATE to WM_DESTROY), and the client area's size from the last
// WM_SIZE, which the scene presents to.
extern PaletteWindow shellWindow;

#endif  // DEMO_SHELL_H
