// What the SDL backend's clock, window, screen and sound files share. SDL's video belongs to
// the thread that created the window: the other threads reach it only through requests that
// the main thread serves from its waits.
#pragma once

#include "platform/window.h"

#include <SDL.h>
#include <cstdint>
#include <cstdio>

struct Window {
    SDL_Window *sdl;
    WindowProc proc;
    int32_t destroyed;
};

// Microseconds since the process started (the clock of timeGetTime).
uint64_t sdl_now_us();
// When it started, in microseconds of the system's monotonic clock.
uint64_t sdl_start_us();
bool sdl_on_main_thread();
bool sdl_env_is(const char *name, const char *value);

// The window, once created; video is usable (a real display, a window).
extern Window *sdl_window;
extern int32_t sdl_video;
// FILMO_TRACE's file, or null.
extern FILE *sdl_trace;

// Main thread: serves what other threads asked of the video (leaving the full screen). Every
// wait of the main thread calls it, so a request is answered within a yield.
void sdl_serve_requests();
// Main thread: leaves the full screen and hides the window.
void sdl_leave_screen();
// Another thread: asks the main thread to leave the full screen; returns once it has, or after
// half a second.
void sdl_request_desktop();
// Main thread: drops the renderer and what belongs to it.
void sdl_release_video_objects();
// Main thread: the window was uncovered; the next picture redraws all of it.
void sdl_screen_exposed();

// The play cursor of the buffer the device plays, -1 when none plays (for the trace).
int32_t sdl_sound_cursor();
