// The SDL2 backend of the player's platform: one window that shows the mode's 16-bit surface
// scaled to 4:3 with black borders, an unsigned 8-bit mono audio device whose callback plays a
// looping byte ring, keys and focus as window messages, and message boxes.
//
// Environment: FILMO_WINDOWED=1 (a window instead of the full screen), FILMO_PIXEL_FORMAT=555
// (a 5-5-5 texture instead of 5-6-5), FILMO_MODE=640x480 (the 320x200 mode is refused),
// FILMO_TRACE=FILE (one line a present: microseconds and play cursor).
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/cp1252.h"
#include "platform/screen.h"
#include "platform/window.h"

#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <linux/futex.h>
#include <mutex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct Window {
    SDL_Window *sdl;
    WindowProc proc;
    int32_t destroyed;
};

struct ScreenDevice {
    int32_t released;
    int32_t cooperative;
};

struct ScreenSurface {
    int32_t released;
    int32_t locked;
    int32_t width, height, pitch;
    std::vector<uint8_t> memory;
};

struct AudioDevice {
    SDL_AudioDeviceID id;
    int32_t released;
};

struct AudioBuffer {
    int32_t primary;
    int32_t released;
    int32_t playing;
    int32_t looping;
    int32_t locked;
    uint32_t size;
    uint32_t cursor;       // while stopped; while playing, the next byte to hand the device
    uint32_t start_cursor; // where playing began
    uint64_t fed;          // bytes handed to the device since playing began
    uint64_t heard_base;   // bytes handed before the latest callback
    uint64_t heard_last;   // the latest position answered: it never goes back
    uint64_t callback_us;  // when the latest callback ran
    std::vector<uint8_t> memory;
    std::vector<uint8_t> staging;
};

namespace
{

const auto sdl_start = std::chrono::steady_clock::now();
std::thread::id sdl_main_thread;
int32_t sdl_video;

std::mutex sdl_queue_mutex;
std::deque<WindowMessage> sdl_queue;
Window *sdl_window;
int32_t sdl_cursor_count;

SDL_Renderer *sdl_renderer;
SDL_Texture *sdl_texture;
ScreenSurface *sdl_primary;
int32_t sdl_mode_width, sdl_mode_height;
FILE *sdl_trace;

std::mutex sdl_audio_mutex;
AudioBuffer *sdl_stream; // the buffer the callback plays

// 1 while another thread waits for the main thread to give the desktop back, 2 once it has.
std::atomic<int32_t> sdl_desktop_request;

std::atomic<uint32_t> sdl_yield_epoch; // counts clock_wake calls; the yields' futex word
static_assert(sizeof(std::atomic<uint32_t>) == 4, "a futex word is 32 bits");

uint64_t now_us()
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - sdl_start)
        .count();
}

bool on_main_thread()
{
    return std::this_thread::get_id() == sdl_main_thread;
}

bool env_is(const char *name, const char *value)
{
    const char *v = getenv(name);
    return v && !strcmp(v, value);
}

int32_t rgb555()
{
    return env_is("FILMO_PIXEL_FORMAT", "555");
}

// Under sdl_audio_mutex. Interpolated between callbacks with the clock, never past what the
// device was given, never backwards.
uint32_t stream_position(AudioBuffer *b)
{
    if (!b->playing || b->size == 0) return b->cursor;
    uint64_t heard = b->heard_base + (now_us() - b->callback_us) * 22050 / 1000000;
    heard = std::min(heard, b->fed);
    heard = std::max(heard, b->heard_last);
    b->heard_last = heard;
    return (uint32_t)((b->start_cursor + heard) % b->size);
}

void SDLCALL audio_callback(void *, Uint8 *stream, int len)
{
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    AudioBuffer *b = sdl_stream;
    int i = 0;
    if (b && b->playing && !b->released && b->size > 0) {
        b->heard_base = b->fed;
        b->callback_us = now_us();
        while (i < len && b->playing) {
            uint32_t n = std::min<uint32_t>((uint32_t)(len - i), b->size - b->cursor);
            memcpy(stream + i, b->memory.data() + b->cursor, n);
            i += (int)n;
            b->fed += n;
            b->cursor += n;
            if (b->cursor == b->size) {
                b->cursor = 0;
                if (!b->looping) b->playing = 0;
            }
        }
    }
    memset(stream + i, 0x80, (size_t)(len - i));
}

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

// Main thread: leaves the full screen and hides the window.
void leave_screen()
{
    if (sdl_window && sdl_window->sdl) {
        SDL_SetWindowFullscreen(sdl_window->sdl, 0);
        SDL_HideWindow(sdl_window->sdl);
    }
}

// Main thread: what another thread asked of SDL's video, which only the main thread may touch.
// Called from every wait of the main thread, so the answer comes within a yield.
void serve_requests()
{
    if (sdl_desktop_request.load() != 1 || !on_main_thread()) return;
    leave_screen();
    sdl_desktop_request.store(2);
}

// Main thread: SDL's events into the message queue.
void poll_events()
{
    if (!sdl_video || !on_main_thread()) return;
    serve_requests();
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
            break;
        case SDL_QUIT: // also Ctrl+C and SIGTERM
            enqueue(WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
}

void release_video_objects()
{
    if (sdl_texture) SDL_DestroyTexture(sdl_texture);
    if (sdl_renderer) SDL_DestroyRenderer(sdl_renderer);
    sdl_texture = nullptr;
    sdl_renderer = nullptr;
}

} // namespace

// ---- clock and threads

uint32_t timeGetTime()
{
    return (uint32_t)(now_us() / 1000);
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        clock_yield();
    } else {
        serve_requests();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

// A millisecond a yield: each wake-up of a polling thread costs several microseconds (more in a
// virtual machine), and three threads poll all through playback. The one poll whose latency the
// pictures feel, the play loop's wait for the second-picture signal, is cut short by clock_wake.
// A bare futex on the wake count: one system call a yield, as a plain sleep would be.
void clock_yield()
{
    clock_yield_for(1000);
}

void clock_yield_for(uint32_t max_us)
{
    serve_requests();
    timespec timeout{0, (long)std::min<uint32_t>(max_us, 1000) * 1000};
    syscall(SYS_futex, &sdl_yield_epoch, FUTEX_WAIT_PRIVATE, sdl_yield_epoch.load(), &timeout,
            nullptr, 0);
}

void clock_wake()
{
    sdl_yield_epoch.fetch_add(1);
    syscall(SYS_futex, &sdl_yield_epoch, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

int32_t thread_start(void (*proc)(void *arg), void *arg)
{
    try {
        std::thread(proc, arg).detach();
    } catch (...) {
        return -1;
    }
    return 0;
}

// ---- window and events

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
        window.sdl = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640,
                                      480, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (!window.sdl) sdl_video = 0;
    }
    if (const char *trace = getenv("FILMO_TRACE")) sdl_trace = fopen(trace, "w");
    sdl_window = &window;
    return &window;
}

void window_show(Window *window)
{
    if (!window || window->destroyed) return;
    if (window->sdl && on_main_thread()) {
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
    if (window->sdl && on_main_thread()) {
        release_video_objects();
        SDL_DestroyWindow(window->sdl);
        window->sdl = nullptr;
    }
}

intptr_t window_default_proc(Window *window, uint32_t message, uintptr_t, intptr_t)
{
    if (message == WM_CLOSE) window_destroy(window);
    return 0;
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
        if (sdl_video && on_main_thread())
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
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
    if (sdl_video && !env_is("FILMO_NO_BOXES", "1"))
        SDL_ShowSimpleMessageBox(flags & MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                            : SDL_MESSAGEBOX_INFORMATION,
                                 caption, text, nullptr);
    return IDOK;
}

void window_show_cursor(int32_t show)
{
    sdl_cursor_count += show ? 1 : -1;
    if (sdl_video && on_main_thread())
        SDL_ShowCursor(sdl_cursor_count >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

void process_end(int32_t code)
{
    if (sdl_trace) fclose(sdl_trace);
    fflush(stdout);
    fflush(stderr);
    std::_Exit(code);
}

// ---- screen

int32_t screen_create(ScreenDevice **device)
{
    *device = nullptr;
    if (!sdl_video || !sdl_window || !sdl_window->sdl) return DDERR_NODIRECTDRAWHW;
    static ScreenDevice devices[8];
    static int32_t next;
    ScreenDevice *d = &devices[next++ % 8];
    *d = ScreenDevice{0, 0};
    *device = d;
    return DD_OK;
}

int32_t screen_set_cooperative_level(ScreenDevice *device, Window *window, uint32_t flags)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!window || !window->sdl || !(flags & DDSCL_EXCLUSIVE)) return DDERR_INVALIDPARAMS;
    device->cooperative = 1;
    return DD_OK;
}

int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!device->cooperative) return DDERR_NOEXCLUSIVEMODE;
    if (bits != 16 || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return DDERR_INVALIDMODE;
    if (env_is("FILMO_MODE", "640x480") && (width != 640 || height != 480))
        return DDERR_UNSUPPORTEDMODE;
    SDL_Window *w = sdl_window->sdl;
    release_video_objects();
    if (env_is("FILMO_WINDOWED", "1")) {
        // The mode at 4:3, as large as a monitor of the time showed it.
        SDL_SetWindowSize(w, 640, 480);
    } else if (SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        return DDERR_UNSUPPORTEDMODE;
    }
    sdl_renderer = SDL_CreateRenderer(w, -1, 0); // no vsync: a present must not wait a frame
    if (!sdl_renderer) sdl_renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl_renderer) return DDERR_NODIRECTDRAWHW;
    sdl_texture =
        SDL_CreateTexture(sdl_renderer, rgb555() ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565,
                          SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!sdl_texture) {
        release_video_objects();
        return DDERR_UNSUPPORTEDMODE;
    }
    sdl_mode_width = width;
    sdl_mode_height = height;
    return DD_OK;
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    *surface = nullptr;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!sdl_texture) return DDERR_NOEXCLUSIVEMODE;
    // Kept until the process ends: a release racing with a lock on another thread never frees
    // memory under it.
    static ScreenSurface surfaces[4];
    static int32_t next;
    ScreenSurface *s = &surfaces[next++ % 4];
    s->released = 0;
    s->locked = 0;
    s->width = sdl_mode_width;
    s->height = sdl_mode_height;
    s->pitch = sdl_mode_width * 2;
    s->memory.assign((size_t)s->pitch * s->height, 0);
    sdl_primary = s;
    *surface = s;
    return DD_OK;
}

int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format)
{
    if (!surface || surface->released) return DDERR_INVALIDOBJECT;
    *format = rgb555() ? ScreenPixelFormat{16, 0x7C00, 0x03E0, 0x001F}
                       : ScreenPixelFormat{16, 0xF800, 0x07E0, 0x001F};
    return DD_OK;
}

int32_t screen_lock(ScreenSurface *surface, uint32_t, void **pixels, int32_t *pitch)
{
    *pixels = nullptr;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (surface->locked) return DDERR_SURFACEBUSY;
    surface->locked = 1;
    *pixels = surface->memory.data();
    *pitch = surface->pitch;
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    if (sdl_trace) {
        int32_t cursor = -1;
        {
            std::lock_guard<std::mutex> lock(sdl_audio_mutex);
            if (sdl_stream && sdl_stream->playing) cursor = (int32_t)stream_position(sdl_stream);
        }
        fprintf(sdl_trace, "%llu %d\n", (unsigned long long)now_us(), cursor);
    }
    if (!on_main_thread() || !sdl_renderer || !sdl_texture) return DD_OK;
    SDL_UpdateTexture(sdl_texture, nullptr, surface->memory.data(), surface->pitch);
    SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl_renderer);
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(sdl_renderer, &ow, &oh);
    // Both modes fill a 4:3 picture, centred with black borders.
    SDL_Rect dst{0, 0, ow, oh};
    if ((int64_t)ow * 3 > (int64_t)oh * 4) {
        dst.w = oh * 4 / 3;
        dst.x = (ow - dst.w) / 2;
    } else {
        dst.h = ow * 3 / 4;
        dst.y = (oh - dst.h) / 2;
    }
    SDL_RenderCopy(sdl_renderer, sdl_texture, nullptr, &dst);
    SDL_RenderPresent(sdl_renderer);
    return DD_OK;
}

int32_t screen_restore(ScreenSurface *surface)
{
    return surface && !surface->released ? DD_OK : DDERR_SURFACELOST;
}

int32_t screen_restore_desktop(ScreenDevice *device)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (on_main_thread()) {
        leave_screen();
    } else if (sdl_video) {
        // The fatal-error report on the audio thread: SDL's video belongs to the main thread,
        // which is asked to leave the full screen, so that the box shown next is not hidden
        // behind the window. The main thread polls with yields all through playback; one that
        // does not answer within half a second does not hold the box back.
        sdl_desktop_request.store(1);
        clock_wake();
        for (int32_t ms = 0; ms < 500 && sdl_desktop_request.load() == 1; ms++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return DD_OK;
}

void screen_release_surface(ScreenSurface *surface)
{
    if (surface) surface->released = 1;
}

void screen_release(ScreenDevice *device)
{
    if (!device) return;
    device->released = 1;
    if (on_main_thread()) release_video_objects();
}

// ---- audio

int32_t audio_create(AudioDevice **device)
{
    *device = nullptr;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
    SDL_AudioSpec want{}, have{};
    want.freq = 22050;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = 256; // 12 ms a callback
    want.callback = audio_callback;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return DSERR_NODRIVER;
    SDL_PauseAudioDevice(id, 0);
    static AudioDevice d;
    d = AudioDevice{id, 0};
    *device = &d;
    return DS_OK;
}

int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    *buffer = nullptr;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    int32_t primary = (desc->flags & DSBCAPS_PRIMARYBUFFER) != 0;
    if (!primary &&
        (!desc->format || desc->format->format_tag != 1 || desc->format->channels != 1 ||
         desc->format->bits_per_sample != 8 || desc->format->samples_per_sec != 22050))
        return DSERR_BADFORMAT;
    if (!primary && (desc->bytes < 4 || desc->bytes > (1u << 24))) return DSERR_INVALIDPARAM;
    AudioBuffer *b = new (std::nothrow) AudioBuffer();
    if (!b) return DSERR_OUTOFMEMORY;
    b->primary = primary;
    b->size = primary ? 0 : desc->bytes;
    b->memory.assign(b->size, 0x80);
    b->staging.assign(b->size, 0x80);
    *buffer = b;
    return DS_OK;
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    if (!device || device->released) return DSERR_UNINITIALIZED;
    *caps = AudioCaps{0, 22050, 22050};
    return DS_OK;
}

int32_t audio_set_cooperative_level(AudioDevice *device, Window *, uint32_t)
{
    return device && !device->released ? DS_OK : DSERR_UNINITIALIZED;
}

int32_t audio_set_format(AudioBuffer *buffer, const AudioFormat *format)
{
    return buffer && format ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t audio_lock(AudioBuffer *buffer, uint32_t offset, uint32_t bytes, void **part1,
                   uint32_t *bytes1, void **part2, uint32_t *bytes2, uint32_t)
{
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2) *part2 = nullptr;
    if (bytes2) *bytes2 = 0;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary || buffer->locked) return DSERR_INVALIDCALL;
    if (offset >= buffer->size || bytes == 0 || bytes > buffer->size) return DSERR_INVALIDPARAM;
    {
        // The callback keeps playing from the buffer; the writer gets a copy.
        std::lock_guard<std::mutex> lock(sdl_audio_mutex);
        memcpy(buffer->staging.data(), buffer->memory.data(), buffer->size);
    }
    buffer->locked = 1;
    *part1 = buffer->staging.data() + offset;
    *bytes1 = std::min(bytes, buffer->size - offset);
    if (*bytes1 < bytes) {
        if (!part2 || !bytes2) return DSERR_INVALIDPARAM;
        *part2 = buffer->staging.data();
        *bytes2 = bytes - *bytes1;
    }
    return DS_OK;
}

int32_t audio_unlock(AudioBuffer *buffer, void *part1, uint32_t bytes1, void *part2,
                     uint32_t bytes2)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (!buffer->locked) return DSERR_INVALIDCALL;
    buffer->locked = 0;
    uint8_t *base = buffer->staging.data();
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    for (auto [part, n] : {std::pair<void *, uint32_t>{part1, bytes1}, {part2, bytes2}}) {
        if (!part || n == 0) continue;
        size_t at = (uint8_t *)part - base;
        if (at < buffer->size)
            memcpy(buffer->memory.data() + at, part, std::min<size_t>(n, buffer->size - at));
    }
    return DS_OK;
}

int32_t audio_play(AudioBuffer *buffer, uint32_t flags)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DS_OK;
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    buffer->looping = (flags & DSBPLAY_LOOPING) != 0;
    if (!buffer->playing) {
        buffer->playing = 1;
        buffer->start_cursor = buffer->cursor;
        buffer->fed = buffer->heard_base = buffer->heard_last = 0;
        buffer->callback_us = now_us();
        sdl_stream = buffer;
    }
    return DS_OK;
}

int32_t audio_stop(AudioBuffer *buffer)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    if (buffer->playing) {
        buffer->cursor = stream_position(buffer);
        buffer->playing = 0;
    }
    return DS_OK;
}

int32_t audio_get_position(AudioBuffer *buffer, uint32_t *play_cursor, uint32_t *write_cursor)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    uint32_t at = stream_position(buffer);
    if (play_cursor) *play_cursor = at;
    if (write_cursor) *write_cursor = buffer->playing && buffer->size ? buffer->cursor : at;
    return DS_OK;
}

void audio_release_buffer(AudioBuffer *buffer)
{
    if (!buffer) return;
    {
        std::lock_guard<std::mutex> lock(sdl_audio_mutex);
        if (sdl_stream == buffer) sdl_stream = nullptr;
        buffer->playing = 0;
        buffer->released = 1;
    }
    delete buffer;
}

void audio_release(AudioDevice *device)
{
    if (!device || device->released) return;
    device->released = 1;
    SDL_CloseAudioDevice(device->id);
}
