#include "platform/sdl/x11.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>

namespace
{

void (*end_program)();

// Xlib's own answer to a lost server is exit(1); the player promises 0 whatever ends it, and a
// display that went away ends it as its window closing would. Xlib must not get control back.
int display_gone(Display *)
{
    std::fputs("filmo: the display went away\n", stderr);
    end_program();
    return 0;
}

} // namespace

void x11_end_when_display_goes(void (*end)())
{
    end_program = end;
    XSetIOErrorHandler(display_gone);
}

int32_t x11_window_manager(SDL_Window *window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return -1;
    Display *display = info.info.x11.display;
    // A window manager of today names its check window on the root window; one that left such
    // a name behind only costs the full-screen request's wait.
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False,
                                    XA_WINDOW, &type, &format, &count, &after, &data);
    int32_t found = status == Success && type == XA_WINDOW && format == 32 && count == 1;
    if (data) XFree(data);
    return found;
}
