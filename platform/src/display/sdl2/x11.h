// What SDL2 does not report on X11: the connection to the display breaking
// and a window destroyed by another client. Either ends the program with
// one line on stderr and status 1. On other video drivers these do nothing.
#ifndef STANDIN_SDL2_X11_H
#define STANDIN_SDL2_X11_H

#include <SDL.h>

namespace standin {

// Installs the handlers; called once SDL's video is up.
void watch_display_connection();
// Looks at a window-system event SDL passed on (SDL_SYSWMEVENT): does it
// say that `window` was destroyed?
void check_window_destroyed(const SDL_SysWMmsg* message, SDL_Window* window);

}  // namespace standin

#endif  // STANDIN_SDL2_X11_H
