#include "platform/window_default.h"

namespace
{

const WindowDefaultBackend *attached = nullptr;

} // namespace

void window_default_attach(const WindowDefaultBackend *backend)
{
    attached = backend;
}

intptr_t window_default_proc(Window *window, uint32_t message, uintptr_t /*wparam*/,
                             intptr_t /*lparam*/)
{
    if (message == WM_CLOSE && attached) attached->destroy(window);
    return 0;
}
