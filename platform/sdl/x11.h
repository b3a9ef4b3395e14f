// What the SDL backend asks of the X server itself (kept apart: Xlib's names clash with the
// platform's).
#pragma once

#include <SDL.h>
#include <cstdint>

// 1 when the window is on an X display that a window manager runs (one that carries out
// full-screen requests), 0 when none runs, -1 when it is not on X.
int32_t x11_window_manager(SDL_Window *window);
