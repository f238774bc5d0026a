// What the two halves of USER32, windows and messages, share.
#ifndef STANDIN_USER_H
#define STANDIN_USER_H

#include <windows.h>

#include <cstdint>

#include "window.h"

namespace standin {

inline bool is_empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// Calls the window procedure directly, as Win32 does for sent messages.
LRESULT send(uintptr_t hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Adds `rect` (null: the whole client area) to the window's invalid part;
// validate() empties it.
void invalidate(Window& window, const RECT* rect, bool erase);
void validate(Window& window);

// What the display reports of a window, done as Win32 does it: WM_SIZE and
// the newly uncovered parts invalidated.
void minimize(uintptr_t hwnd);
void resize(uintptr_t hwnd, int width, int height);
void restore(uintptr_t hwnd);

// WM_DESTROY, then the window and every DC of it gone; false when there is
// no such window.
bool destroy_window(uintptr_t hwnd);

// Opens the display the probe or SCALING_SCROLLING_HEADLESS asks for, once;
// a program that wants a window display and cannot have one is told why and
// ends (status 2). Also installs the close-signal handlers and starts the
// frame statistics.
void choose_display();
// Puts `window` on the chosen display; ends the program as above when the
// display refuses it.
void open_display_window(Window& window);

// Draws a window's pending display events and hands out the next message.
void process_display_events();

}  // namespace standin

#endif  // STANDIN_USER_H
