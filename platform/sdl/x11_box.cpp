#include "platform/sdl/x11_box.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>

namespace
{

constexpr int MARGIN = 16;
constexpr int WRAP_COLUMNS = 72;
constexpr int BUTTON_WIDTH = 80;

volatile sig_atomic_t box_signal;

void on_signal(int sig)
{
    box_signal = sig;
}

// A failed request (for example the focus on a window the server has not mapped yet) must not
// end the program: the box is drawn without it.
int ignore_error(Display *, XErrorEvent *)
{
    return 0;
}

// The text's lines, long ones wrapped at blanks (or cut where a word has none).
std::vector<std::string> lines_of(const char *text)
{
    std::vector<std::string> lines;
    std::string rest = text;
    while (!rest.empty() || lines.empty()) {
        size_t end = rest.find('\n');
        std::string line = rest.substr(0, end);
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        while (line.size() > (size_t)WRAP_COLUMNS) {
            size_t cut = line.rfind(' ', WRAP_COLUMNS);
            if (cut == std::string::npos || cut == 0) cut = WRAP_COLUMNS;
            lines.push_back(line.substr(0, cut));
            line = line.substr(cut + (line[cut] == ' '));
        }
        lines.push_back(line);
        if (end == std::string::npos) break;
    }
    return lines;
}

struct Box {
    Display *display;
    ::Window window;
    GC gc;
    XFontStruct *font;
    std::vector<std::string> lines;
    int width, height;
    int button_x, button_y, button_height;
};

void draw(const Box &b)
{
    int line_height = b.font->ascent + b.font->descent + 2;
    XClearWindow(b.display, b.window);
    for (size_t i = 0; i < b.lines.size(); i++)
        XDrawString(b.display, b.window, b.gc, MARGIN,
                    MARGIN + b.font->ascent + (int)i * line_height, b.lines[i].c_str(),
                    (int)b.lines[i].size());
    XDrawRectangle(b.display, b.window, b.gc, b.button_x, b.button_y, BUTTON_WIDTH,
                   (unsigned)b.button_height);
    int ok_width = XTextWidth(b.font, "OK", 2);
    XDrawString(b.display, b.window, b.gc, b.button_x + (BUTTON_WIDTH - ok_width) / 2,
                b.button_y + (b.button_height + b.font->ascent - b.font->descent) / 2, "OK", 2);
    XFlush(b.display);
}

// Handles one event; true when it dismisses the box.
bool handle(const Box &b, XEvent &e, Atom close)
{
    switch (e.type) {
    case Expose:
        if (e.xexpose.count == 0) draw(b);
        return false;
    case MapNotify:
        XSetInputFocus(b.display, b.window, RevertToParent, CurrentTime);
        return false;
    case KeyPress: {
        KeySym key = XLookupKeysym(&e.xkey, 0);
        return key == XK_Return || key == XK_KP_Enter || key == XK_space || key == XK_Escape;
    }
    case ButtonRelease:
        return e.xbutton.button == Button1 && e.xbutton.x >= b.button_x &&
               e.xbutton.x <= b.button_x + BUTTON_WIDTH && e.xbutton.y >= b.button_y &&
               e.xbutton.y <= b.button_y + b.button_height;
    case ClientMessage:
        return (Atom)e.xclient.data.l[0] == close;
    default:
        return false;
    }
}

void run(Box &b, const char *caption)
{
    Display *d = b.display;
    int screen = DefaultScreen(d);
    int line_height = b.font->ascent + b.font->descent + 2;
    int text_width = 0;
    for (const std::string &line : b.lines)
        text_width = std::max(text_width, XTextWidth(b.font, line.c_str(), (int)line.size()));
    b.button_height = line_height + 10;
    b.width = std::max(text_width, 240) + 2 * MARGIN;
    b.height = (int)b.lines.size() * line_height + 3 * MARGIN + b.button_height;
    b.button_x = (b.width - BUTTON_WIDTH) / 2;
    b.button_y = b.height - MARGIN - b.button_height;
    int x = std::max(0, (DisplayWidth(d, screen) - b.width) / 2);
    int y = std::max(0, (DisplayHeight(d, screen) - b.height) / 2);

    b.window =
        XCreateSimpleWindow(d, RootWindow(d, screen), x, y, (unsigned)b.width, (unsigned)b.height,
                            1, BlackPixel(d, screen), WhitePixel(d, screen));
    XStoreName(d, b.window, caption);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XChangeProperty(d, b.window, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    (const unsigned char *)caption, (int)strlen(caption));
    // A dialog above the others, where it was placed, not resizable.
    Atom dialog = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(d, b.window, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, (const unsigned char *)&dialog, 1);
    Atom above = XInternAtom(d, "_NET_WM_STATE_ABOVE", False);
    XChangeProperty(d, b.window, XInternAtom(d, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeReplace, (const unsigned char *)&above, 1);
    XSizeHints *hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PPosition | PMinSize | PMaxSize;
        hints->x = x;
        hints->y = y;
        hints->min_width = hints->max_width = b.width;
        hints->min_height = hints->max_height = b.height;
        XSetWMNormalHints(d, b.window, hints);
        XFree(hints);
    }
    Atom close = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, b.window, &close, 1);
    XSelectInput(d, b.window,
                 ExposureMask | KeyPressMask | ButtonReleaseMask | StructureNotifyMask);
    b.gc = XCreateGC(d, b.window, 0, nullptr);
    XSetFont(d, b.gc, b.font->fid);
    XSetForeground(d, b.gc, BlackPixel(d, screen));
    XMapRaised(d, b.window);
    XFlush(d);

    // Waits on the connection, so that a signal ends the wait too.
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (handle(b, e, close)) return;
        }
        if (box_signal) return;
        poll(&fd, 1, 100);
        if (fd.revents & (POLLHUP | POLLERR)) return;
    }
}

} // namespace

int x11_box_show(const char *caption, const char *text)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d) return -1;
    XFontStruct *font = XLoadQueryFont(d, "fixed");
    if (!font) {
        XCloseDisplay(d);
        return -1;
    }
    int (*previous_error)(Display *, XErrorEvent *) = XSetErrorHandler(ignore_error);
    struct sigaction quit {
    }, old_int{}, old_term{};
    quit.sa_handler = on_signal;
    sigemptyset(&quit.sa_mask);
    box_signal = 0;
    sigaction(SIGINT, &quit, &old_int);
    sigaction(SIGTERM, &quit, &old_term);

    Box b{d, 0, nullptr, font, lines_of(text), 0, 0, 0, 0, 0};
    run(b, caption);

    if (b.gc) XFreeGC(d, b.gc);
    if (b.window) XDestroyWindow(d, b.window);
    XFreeFont(d, font);
    XCloseDisplay(d);
    XSetErrorHandler(previous_error);
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    // The signal that ended the box goes on to whoever handled it before.
    if (box_signal) {
        raise(box_signal);
        return 1;
    }
    return 0;
}
