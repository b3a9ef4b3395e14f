// The headless window and its events: a message queue that scripted events enter as the screen
// is presented, message boxes recorded, the end of the process.
#include "platform/headless/internal.h"

#include "platform/clock.h"
#include "platform/window.h"
#include "platform/window_default.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace headless_backend
{

std::deque<WindowMessage> hl_queue;
std::vector<std::unique_ptr<Window>> hl_windows;
Window *hl_window;
int32_t hl_active;
int32_t hl_cursor_count;
std::thread::id hl_main_thread;

} // namespace headless_backend

using namespace headless_backend;

namespace
{

void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    hl_queue.push_back(WindowMessage{hl_window, message, wparam, lparam});
}

// Moves the scripted events that are due into the queue.
void deliver_scripts()
{
    uint64_t now = hl_now_us();
    for (Script &s : hl_scripts) {
        if (s.delivered || !hl_window) continue;
        if ((int32_t)hl_presents.size() < s.after_presents) continue;
        uint64_t from =
            s.after_presents > 0 ? hl_presents[(size_t)s.after_presents - 1].time_us : 0;
        if (now < from + (uint64_t)s.delay_ms * 1000) continue;
        s.delivered = 1;
        switch (s.kind) {
        case SCRIPT_KEY:
            enqueue(WM_KEYDOWN, s.a, (intptr_t)s.b);
            break;
        case SCRIPT_ACTIVATE:
            if (!s.a) hl_lost = 1; // switching away takes the screen's memory
            enqueue(WM_ACTIVATEAPP, s.a, 0);
            break;
        case SCRIPT_CLOSE:
            enqueue(WM_CLOSE, 0, 0);
            break;
        }
    }
}

} // namespace

Window *window_create(const char * /*title*/, int32_t /*x*/, int32_t /*y*/, int32_t /*width*/,
                      int32_t /*height*/, WindowProc proc)
{
    static const WindowDefaultBackend default_backend = {window_destroy};
    window_default_attach(&default_backend);
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (hl_injected(HC_WINDOW_CREATE)) return nullptr;
    hl_windows.push_back(std::make_unique<Window>(Window{proc, 0, 0}));
    hl_window = hl_windows.back().get();
    hl_main_thread = std::this_thread::get_id();
    return hl_window;
}

void window_show(Window *window)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (!window || window->destroyed) return;
    if (!window->visible && hl_config.auto_activate) enqueue(WM_ACTIVATEAPP, 1, 0);
    window->visible = 1;
}

void window_destroy(Window *window)
{
    {
        std::lock_guard<std::mutex> lock(hl_mutex);
        if (!window || window->destroyed) return;
        window->destroyed = 1;
        window->visible = 0;
    }
    window->proc(window, WM_DESTROY, 0, 0);
}

int32_t window_peek_message()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    deliver_scripts();
    return !hl_queue.empty();
}

int32_t window_get_message(WindowMessage *message)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(hl_mutex);
            deliver_scripts();
            if (!hl_queue.empty()) {
                *message = hl_queue.front();
                hl_queue.pop_front();
                return message->message != WM_QUIT;
            }
        }
        clock_yield();
    }
}

void window_translate_message(const WindowMessage *message)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (message->message == WM_KEYDOWN && message->lparam != 0)
        hl_queue.push_front(WindowMessage{message->window, WM_CHAR, (uintptr_t)message->lparam, 0});
}

void window_dispatch_message(const WindowMessage *message)
{
    Window *window = message->window;
    {
        std::lock_guard<std::mutex> lock(hl_mutex);
        if (!window || window->destroyed) return;
        if (message->message == WM_ACTIVATEAPP) hl_active = message->wparam != 0;
    }
    window->proc(window, message->message, message->wparam,
                 message->message == WM_KEYDOWN ? 0 : message->lparam);
}

void window_post_quit(int32_t code)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_queue.push_back(WindowMessage{nullptr, WM_QUIT, (uintptr_t)code, 0});
}

int32_t window_message_box(Window * /*window*/, const char *text, const char *caption,
                           uint32_t flags)
{
    int32_t quiet, desktop;
    {
        std::lock_guard<std::mutex> lock(hl_mutex);
        hl_boxes.push_back(HeadlessBox{caption ? caption : "", text ? text : "", flags,
                                       std::this_thread::get_id() == hl_main_thread, hl_desktop});
        quiet = hl_config.quiet_boxes;
        desktop = hl_desktop;
    }
    // A box under a full-screen mode cannot be seen: death tests read where it was shown.
    if (!quiet)
        fprintf(stderr, "[%s] %s\nheadless: box shown over the %s\n", caption ? caption : "",
                text ? text : "", desktop ? "desktop" : "player's screen");
    return IDOK;
}

void window_show_cursor(int32_t show)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_cursor_count += show ? 1 : -1;
}

void process_end(int32_t code)
{
    {
        std::lock_guard<std::mutex> lock(hl_mutex);
        int32_t surfaces = 0;
        for (auto &f : hl_surfaces)
            surfaces += !f->released;
        fprintf(stderr, "headless: process end %d, desktop %s, surfaces %d\n", code,
                hl_desktop ? "back" : "not back", surfaces);
    }
    fflush(stdout);
    fflush(stderr);
    std::_Exit(code);
}
