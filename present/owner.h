// What the display and the sound need of the program that owns them: its window (for the
// screen's and the sound device's cooperative levels), the message pump and the wait while the
// program is switched away from (the display's waiting lock), and the reports that end the
// program. The display and the sound sit below the program and do not know it; the program
// hands these over once its window exists.
#pragma once

#include <cstdarg>
#include <cstdint>

struct Window;

struct PresentOwner {
    // The window that owns the screen and the sound device; null when there is none.
    Window *(*window)();
    // Delivers the waiting window messages; may end the process when the window is gone.
    void (*pump)();
    // Returns once the program is the active one again.
    void (*wait_while_inactive)();
    // Shows the formatted message as a fatal error and ends the process.
    void (*fatal)(const char *format, va_list args);
    // The screen gave no address to draw to: tidies up and ends the process.
    void (*screen_gone)();
};

// Null, or a table that lives as long as the program: then no window, pumping and waiting do
// nothing, and both reports end the process (the fatal one after a box without a window).
void owner_set(const PresentOwner *owner);

Window *owner_window();
void owner_pump();
void owner_wait_while_inactive();
// The owner's fatal report of the formatted message.
[[noreturn]] void owner_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void owner_screen_gone();
