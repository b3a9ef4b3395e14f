// What the SDL backend asks of the X server itself (kept apart: Xlib's names clash with the
// platform's).
#pragma once

#include <SDL.h>
#include <cstdint>

// 1 when the window is on an X display that a window manager runs (one that carries out
// full-screen requests), 0 when none runs, -1 when it is not on X.
int32_t x11_window_manager(SDL_Window *window);

// From now on a lost connection to the X server (the server ended or was killed) calls end,
// which must end the process, on whichever connection and thread notices it.
void x11_end_when_display_goes(void (*end)());
