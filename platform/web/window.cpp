// The web backend's player window: the page's player layer, its key and visibility events as
// window messages on one queue, message boxes, and the mouse cursor over the layer.
#include "platform/window.h"
#include "platform/cp1252.h"
#include "platform/web/web.h"

#include <cstdio>
#include <deque>
#include <emscripten/emscripten.h>
#include <mutex>

struct Window {
    WindowProc proc;
    int32_t destroyed;
};

namespace
{

std::mutex queue_mutex;
std::deque<WindowMessage> queue;
Window player;

void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    {
        std::lock_guard<std::mutex> lock(queue_mutex);
        queue.push_back(WindowMessage{&player, message, wparam, lparam});
    }
    web_signal();
}

} // namespace

// The window's place and size are the page's: the layer covers it.
Window *window_create(const char * /*title*/, int32_t /*x*/, int32_t /*y*/, int32_t /*width*/,
                      int32_t /*height*/, WindowProc proc)
{
    {
        std::lock_guard<std::mutex> lock(queue_mutex);
        queue.clear();
    }
    player = Window{proc, 0};
    web_screen_clear();
    return &player;
}

void window_show(Window *window)
{
    if (!window || window->destroyed) return;
    int32_t visible = MAIN_THREAD_EM_ASM_INT({ return Module.web.playerShow(); });
    // A shown window is the active one while the page is seen.
    enqueue(WM_ACTIVATEAPP, visible ? 1 : 0, 0);
}

void window_destroy(Window *window)
{
    if (!window || window->destroyed) return;
    window->destroyed = 1;
    window->proc(window, WM_DESTROY, 0, 0);
    MAIN_THREAD_EM_ASM({ Module.web.playerClose(); });
}

int32_t window_peek_message()
{
    web_process_check();
    std::lock_guard<std::mutex> lock(queue_mutex);
    return !queue.empty();
}

int32_t window_get_message(WindowMessage *message)
{
    for (;;) {
        uint32_t seen = web_signals();
        web_process_check();
        {
            std::lock_guard<std::mutex> lock(queue_mutex);
            if (!queue.empty()) {
                *message = queue.front();
                queue.pop_front();
                return message->message != WM_QUIT;
            }
        }
        web_wait(seen, MESSAGE_WAIT_US);
    }
}

void window_translate_message(const WindowMessage *message)
{
    if (message->message == WM_KEYDOWN && message->lparam != 0) {
        std::lock_guard<std::mutex> lock(queue_mutex);
        queue.push_front(WindowMessage{message->window, WM_CHAR, (uintptr_t)message->lparam, 0});
    }
}

void window_dispatch_message(const WindowMessage *message)
{
    // A program that has ended dispatches nothing more.
    web_process_check();
    Window *window = message->window;
    if (!window || window->destroyed) return;
    window->proc(window, message->message, message->wparam,
                 message->message == WM_KEYDOWN ? 0 : message->lparam);
}

void window_post_quit(int32_t code)
{
    std::lock_guard<std::mutex> lock(queue_mutex);
    queue.push_back(WindowMessage{nullptr, WM_QUIT, (uintptr_t)code, 0});
}

int32_t window_message_box(Window * /*window*/, const char *text, const char *caption,
                           uint32_t flags)
{
    // The browser's console is the page's stderr.
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return web_box(text, caption, flags, nullptr);
}

void window_show_cursor(int32_t show)
{
    static int32_t count;
    count += show ? 1 : -1;
    MAIN_THREAD_ASYNC_EM_ASM({ Module.web.playerCursor($0); }, count >= 0 ? 1 : 0);
}

extern "C" {

// The page, on its main thread: a key went down over the player (its virtual key, and the
// character it makes that no text event brings: Escape, Enter, Backspace, Tab).
EMSCRIPTEN_KEEPALIVE void web_player_key(uint32_t virtual_key, uint32_t character)
{
    if (virtual_key || character) enqueue(WM_KEYDOWN, virtual_key, (intptr_t)character);
}

// A character typed, as a Unicode code point; those the code page lacks give none.
EMSCRIPTEN_KEEPALIVE void web_player_char(uint32_t code_point)
{
    int32_t byte = cp1252_from_unicode(code_point);
    if (byte > 0) enqueue(WM_CHAR, (uintptr_t)byte, 0);
}

// The page was hidden (another tab) or seen again.
EMSCRIPTEN_KEEPALIVE void web_player_active(int32_t active)
{
    enqueue(WM_ACTIVATEAPP, active ? 1 : 0, 0);
}

// The layer's close button, as the window's close box.
EMSCRIPTEN_KEEPALIVE void web_player_close()
{
    enqueue(WM_CLOSE, 0, 0);
}
}
