// The player's window and its events, message boxes, the mouse cursor and the end of the
// process. Messages carry the numbers of the original window system, so the window procedure
// reads as it always did.
#pragma once

#include <cstdint>

#include "platform/messages.h"

struct Window;

struct WindowMessage {
    Window *window;
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};

typedef intptr_t (*WindowProc)(Window *window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Creates the hidden top-level window whose messages go to proc; null on failure.
Window *window_create(const char *title, int32_t x, int32_t y, int32_t width, int32_t height,
                      WindowProc proc);
void window_show(Window *window);
// Destroys the window: its procedure receives WM_DESTROY before this returns. Safe on null.
void window_destroy(Window *window);
// Default handling of a message (WM_CLOSE destroys the window).
intptr_t window_default_proc(Window *window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// 1 when a message waits (it is not removed).
int32_t window_peek_message();
// Takes the next message, waiting for one; 0 when it is WM_QUIT.
int32_t window_get_message(WindowMessage *message);
// Key-down messages are followed by the character they make, if any.
void window_translate_message(const WindowMessage *message);
void window_dispatch_message(const WindowMessage *message);
void window_post_quit(int32_t code);

// Shows a modal box and returns the button pressed. Callable from any thread; window may be
// null (the box then belongs to the desktop).
int32_t window_message_box(Window *window, const char *text, const char *caption, uint32_t flags);

// Shows or hides the mouse cursor over the window.
void window_show_cursor(int32_t show);

// Ends the process at once with the exit code, from any thread; nothing is tidied up.
[[noreturn]] void process_end(int32_t code);
