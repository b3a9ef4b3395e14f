// A window's default handling (window_default_proc) for the backends that have no window system
// of their own to ask: a close request destroys the window, anything else is taken as done. The
// backend hands over how it destroys a window before it makes its first one.
#pragma once

#include "platform/window.h"

struct WindowDefaultBackend {
    void (*destroy)(Window *window);
};

// The table is kept, not copied: it must outlive every window.
void window_default_attach(const WindowDefaultBackend *backend);
