// What a player's window does with a message its procedure passes on, for the backends that
// have no window system of their own to ask: a close request destroys the window, anything else
// is taken as done.
#include "platform/window.h"

intptr_t window_default_proc(Window *window, uint32_t message, uintptr_t /*wparam*/,
                             intptr_t /*lparam*/)
{
    if (message == WM_CLOSE) window_destroy(window);
    return 0;
}
