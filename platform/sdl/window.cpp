// The SDL backend's window and events: one window, SDL's events turned into window messages
// on one queue, message boxes, the cursor and the end of the process.
//
// Environment: FILMO_NO_BOXES=1 (errors on stderr only), FILMO_TRACE=FILE (a first line
// "# start" and the monotonic clock in microseconds, then one line a present: microseconds since
// the start and play cursor, and "# play" where a sound buffer starts playing).
#include "platform/window.h"
#include "platform/clock.h"
#include "platform/cp1252.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/sdl/x11.h"
#include "platform/sdl/x11_box.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

Window *sdl_window;
int32_t sdl_video;
FILE *sdl_trace;

namespace
{

std::thread::id sdl_main_thread;
std::mutex sdl_queue_mutex;
std::deque<WindowMessage> sdl_queue;
int32_t sdl_cursor_count;

// 1 while another thread waits for the main thread to give the desktop back, 2 once it has.
std::atomic<int32_t> sdl_desktop_request;

void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    std::lock_guard<std::mutex> lock(sdl_queue_mutex);
    sdl_queue.push_back(WindowMessage{sdl_window, message, wparam, lparam});
}

uint32_t virtual_key(SDL_Keycode k)
{
    if (k >= SDLK_a && k <= SDLK_z) return (uint32_t)('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return (uint32_t)k;
    if (k >= SDLK_F1 && k <= SDLK_F12) return 0x70 + (uint32_t)(k - SDLK_F1);
    switch (k) {
    case SDLK_BACKSPACE:
        return 0x08;
    case SDLK_TAB:
        return 0x09;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 0x0D;
    case SDLK_PAUSE:
        return 0x13;
    case SDLK_ESCAPE:
        return 0x1B;
    case SDLK_SPACE:
        return 0x20;
    case SDLK_PAGEUP:
        return 0x21;
    case SDLK_PAGEDOWN:
        return 0x22;
    case SDLK_END:
        return 0x23;
    case SDLK_HOME:
        return 0x24;
    case SDLK_LEFT:
        return 0x25;
    case SDLK_UP:
        return 0x26;
    case SDLK_RIGHT:
        return 0x27;
    case SDLK_DOWN:
        return 0x28;
    case SDLK_INSERT:
        return 0x2D;
    case SDLK_DELETE:
        return 0x2E;
    case SDLK_HELP:
        return 0x2F;
    case SDLK_KP_5:
        return 0x65;
    default:
        return 0;
    }
}

// The character a key gives that text input does not deliver.
uint32_t control_character(SDL_Keycode k)
{
    switch (k) {
    case SDLK_ESCAPE:
        return 27;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 13;
    case SDLK_BACKSPACE:
        return 8;
    case SDLK_TAB:
        return 9;
    default:
        return 0;
    }
}

// A code point in code page 1252, 0 when it has none.
uint32_t cp1252(uint32_t c)
{
    int32_t byte = cp1252_from_unicode(c);
    return byte < 0 ? 0 : static_cast<uint32_t>(byte);
}

void text_input(const char *utf8)
{
    const unsigned char *p = (const unsigned char *)utf8;
    while (*p) {
        uint32_t c = *p, extra = 0;
        if (c >= 0xF0)
            c &= 0x07, extra = 3;
        else if (c >= 0xE0)
            c &= 0x0F, extra = 2;
        else if (c >= 0xC0)
            c &= 0x1F, extra = 1;
        p++;
        for (; extra > 0 && (*p & 0xC0) == 0x80; extra--, p++)
            c = c << 6 | (*p & 0x3F);
        if (uint32_t ch = cp1252(c)) enqueue(WM_CHAR, ch, 0);
    }
}

// Main thread: SDL's events into the message queue.
void poll_events()
{
    if (!sdl_video || !sdl_on_main_thread()) return;
    sdl_serve_requests();
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_KEYDOWN: {
            uint32_t vk = virtual_key(e.key.keysym.sym);
            uint32_t ch = control_character(e.key.keysym.sym);
            if (vk || ch) enqueue(WM_KEYDOWN, vk, (intptr_t)ch);
            break;
        }
        case SDL_TEXTINPUT:
            text_input(e.text.text);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
                enqueue(WM_ACTIVATEAPP, 1, 0);
            else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
                enqueue(WM_ACTIVATEAPP, 0, 0);
            else if (e.window.event == SDL_WINDOWEVENT_CLOSE)
                enqueue(WM_CLOSE, 0, 0);
            else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
                sdl_screen_exposed();
            break;
        case SDL_QUIT: // also Ctrl+C and SIGTERM
            enqueue(WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
}

} // namespace

bool sdl_on_main_thread()
{
    return std::this_thread::get_id() == sdl_main_thread;
}

bool sdl_env_is(const char *name, const char *value)
{
    const char *v = getenv(name);
    return v && !strcmp(v, value);
}

void sdl_leave_screen()
{
    if (sdl_window && sdl_window->sdl) {
        SDL_SetWindowFullscreen(sdl_window->sdl, 0);
        SDL_HideWindow(sdl_window->sdl);
    }
}

void sdl_serve_requests()
{
    if (sdl_desktop_request.load() != 1 || !sdl_on_main_thread()) return;
    sdl_leave_screen();
    sdl_desktop_request.store(2);
}

// The fatal-error report on the audio thread: SDL's video belongs to the main thread, which is
// asked to leave the full screen, so that the box shown next is not hidden behind the window.
// The main thread polls with yields all through playback; one that does not answer within half
// a second does not hold the box back.
void sdl_request_desktop()
{
    sdl_desktop_request.store(1);
    clock_wake();
    for (int32_t ms = 0; ms < 500 && sdl_desktop_request.load() == 1; ms++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The window's place and size come from the mode set later, not from the caller.
Window *window_create(const char *title, int32_t /*x*/, int32_t /*y*/, int32_t /*width*/,
                      int32_t /*height*/, WindowProc proc)
{
    sdl_main_thread = std::this_thread::get_id();
    static Window window;
    window = Window{nullptr, proc, 0};
    // Without a display the player still runs up to its display set-up, which then fails and
    // says so on stderr.
    sdl_video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    // SDL falls back to drivers that show nothing when no display can be opened: the player
    // would then play unseen. Those count as a display only when asked for by name.
    if (sdl_video && !getenv("SDL_VIDEODRIVER")) {
        const char *driver = SDL_GetCurrentVideoDriver();
        if (driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy"))) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            sdl_video = 0;
        }
    }
    if (sdl_video) {
        const char *driver = SDL_GetCurrentVideoDriver();
        if (driver && !strcmp(driver, "x11")) x11_end_when_display_goes([] { process_end(0); });
        window.sdl = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640,
                                      480, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (!window.sdl) sdl_video = 0;
    }
    if (const char *trace = getenv("FILMO_TRACE")) sdl_trace = fopen(trace, "w");
    // The start on the system's monotonic clock, so that a reader can tell the time from its own
    // start of the program to each picture.
    if (sdl_trace) fprintf(sdl_trace, "# start %llu\n", (unsigned long long)sdl_start_us());
    sdl_window = &window;
    return &window;
}

void window_show(Window *window)
{
    if (!window || window->destroyed) return;
    if (window->sdl && sdl_on_main_thread()) {
        SDL_ShowWindow(window->sdl);
        SDL_RaiseWindow(window->sdl);
    }
    // A shown window is the active one, also where no window manager says so.
    enqueue(WM_ACTIVATEAPP, 1, 0);
}

void window_destroy(Window *window)
{
    if (!window || window->destroyed) return;
    window->destroyed = 1;
    window->proc(window, WM_DESTROY, 0, 0);
    if (window->sdl && sdl_on_main_thread()) {
        sdl_release_video_objects();
        SDL_DestroyWindow(window->sdl);
        window->sdl = nullptr;
    }
}

int32_t window_peek_message()
{
    poll_events();
    std::lock_guard<std::mutex> lock(sdl_queue_mutex);
    return !sdl_queue.empty();
}

int32_t window_get_message(WindowMessage *message)
{
    for (;;) {
        poll_events();
        {
            std::lock_guard<std::mutex> lock(sdl_queue_mutex);
            if (!sdl_queue.empty()) {
                *message = sdl_queue.front();
                sdl_queue.pop_front();
                return message->message != WM_QUIT;
            }
        }
        if (sdl_video && sdl_on_main_thread())
            SDL_WaitEventTimeout(nullptr, 10);
        else
            Sleep(10);
    }
}

void window_translate_message(const WindowMessage *message)
{
    if (message->message == WM_KEYDOWN && message->lparam != 0) {
        std::lock_guard<std::mutex> lock(sdl_queue_mutex);
        sdl_queue.push_front(
            WindowMessage{message->window, WM_CHAR, (uintptr_t)message->lparam, 0});
    }
}

void window_dispatch_message(const WindowMessage *message)
{
    Window *window = message->window;
    if (!window || window->destroyed) return;
    window->proc(window, message->message, message->wparam,
                 message->message == WM_KEYDOWN ? 0 : message->lparam);
}

void window_post_quit(int32_t code)
{
    std::lock_guard<std::mutex> lock(sdl_queue_mutex);
    sdl_queue.push_back(WindowMessage{nullptr, WM_QUIT, (uintptr_t)code, 0});
}

int32_t window_message_box(Window *, const char *text, const char *caption, uint32_t flags)
{
    // SIGINT and SIGTERM end the player, boxes or not: one that came before this box (SDL
    // turns it into a quit event) ends it here, and one that ends a box ends it too, instead of
    // the next box opening.
    if (sdl_video && sdl_on_main_thread()) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) process_end(0);
    }
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
    if (!sdl_video || sdl_env_is("FILMO_NO_BOXES", "1")) return IDOK;
    // On X the box of our own: SDL's needs a dialog program or a scalable core font, and it
    // forks the process (threads and all) to draw it, which can hang the child. SDL's where
    // there is no X display.
    int shown = x11_box_show(caption, text);
    if (shown > 0) process_end(0);
    if (shown < 0)
        SDL_ShowSimpleMessageBox(flags & MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                            : SDL_MESSAGEBOX_INFORMATION,
                                 caption, text, nullptr);
    return IDOK;
}

void window_show_cursor(int32_t show)
{
    sdl_cursor_count += show ? 1 : -1;
    if (sdl_video && sdl_on_main_thread())
        SDL_ShowCursor(sdl_cursor_count >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

void process_end(int32_t code)
{
    if (sdl_trace) fclose(sdl_trace);
    fflush(stdout);
    fflush(stderr);
    std::_Exit(code);
}
