// The player's window, its message procedure and pump, the wait while the program is switched
// away from, the key queue, and the two message boxes.
#pragma once

#include "platform/window.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>

// Null once the window was destroyed. Read on any thread by the fatal-error report.
extern std::atomic<Window *> player_window;

// Creates the (hidden) window; null when it could not be made.
Window *player_window_create();
intptr_t player_window_proc(Window *window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Delivers the waiting messages; ends the process once the window was destroyed.
void pump_messages();
// While the program is inactive: pumps every 20 ms, then restores the screen surface.
void wait_while_inactive();

constexpr int32_t KEY_QUEUE_SIZE = 32;
constexpr int32_t KEY_ESCAPE = 27;
void key_push(int32_t code);
int32_t key_available();
int32_t key_try_get();
int32_t key_get();
// The code a key-down of this virtual key gives, 0 when it gives none.
int32_t key_code_of(uint32_t virtual_key);
// Empties the queue and forgets the activation (a fresh start, for tests).
void player_window_reset();

// Formats into 200 bytes (cut there), gives the desktop back, shows the box "Fatal Error
// occured" and ends the process with exit code 0. Any thread.
[[noreturn]] void fatal_error_box(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void fatal_error_vbox(const char *format, va_list args)
    __attribute__((format(printf, 1, 0)));
// 1 once a fatal-error report has begun on some thread: that thread ends the process.
int32_t fatal_error_pending();
// Formats into 400 bytes (cut there) and shows the box "Achtung".
void notice_box(const char *format, ...) __attribute__((format(printf, 1, 2)));
