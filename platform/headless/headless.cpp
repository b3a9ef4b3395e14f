// The headless backend: everything the player asks of the machine, in memory, on a virtual
// clock. One mutex guards the backend's own state; it is never held while the player's window
// procedure runs, so the procedure may call back into the platform.
#include "platform/headless/headless.h"

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/memscreen.h"
#include "platform/screen.h"
#include "platform/softsound.h"
#include "platform/window.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

struct Window {
    WindowProc proc;
    int32_t visible;
    int32_t destroyed;
};

struct AudioDevice {
    int32_t released;
};

struct AudioBuffer {
    int32_t primary = 0;
    int32_t released = 0;
    SoftSound *sound = nullptr; // null for the primary buffer
    ~AudioBuffer() { softsound_destroy(sound); }
};

namespace
{

enum ScriptKind { SCRIPT_KEY, SCRIPT_ACTIVATE, SCRIPT_CLOSE };

struct Script {
    ScriptKind kind;
    uint32_t a, b;
    int32_t after_presents;
    uint32_t delay_ms;
    int32_t delivered;
};

struct Injection {
    int32_t result;
    int32_t nth;
    int32_t times;
    int32_t calls;
};

std::mutex hl_mutex;
std::mutex hl_yield_mutex; // apart from hl_mutex: yields must not wait behind the backend's work
std::condition_variable hl_yield_cv;
uint64_t hl_yield_epoch; // counts clock_wake calls
HeadlessConfig hl_config = headless_defaults();
std::chrono::steady_clock::time_point hl_start = std::chrono::steady_clock::now();
std::atomic<int32_t> hl_threads{0};
std::thread::id hl_main_thread;

Injection hl_injections[HC_COUNT];
std::vector<Script> hl_scripts;
std::deque<WindowMessage> hl_queue;
std::vector<std::unique_ptr<Window>> hl_windows;
Window *hl_window;
int32_t hl_active;
int32_t hl_cursor_count;

std::vector<std::unique_ptr<ScreenDevice>> hl_devices;
std::vector<std::unique_ptr<ScreenSurface>> hl_surfaces;
ScreenSurface *hl_primary;
int32_t hl_mode_width, hl_mode_height;
int32_t hl_desktop = 1;
int32_t hl_restores;
int32_t hl_lost;

std::vector<std::unique_ptr<AudioDevice>> hl_audio_devices;
std::vector<std::unique_ptr<AudioBuffer>> hl_buffers;
std::vector<uint8_t> hl_played;

std::vector<HeadlessPresent> hl_presents;
std::vector<HeadlessBox> hl_boxes;
int32_t hl_delay_nth;
uint32_t hl_delay_ms;

struct CallDelay {
    int32_t nth;
    uint32_t ms;
    int32_t calls;
};
CallDelay hl_call_delays[HC_COUNT];

// The lockstep clock (HeadlessConfig::lockstep), under hl_yield_mutex. Its time moves only while
// every participant (the thread that reset the backend and the threads the platform started)
// waits on the clock, and never past the earliest moment one of them waits for: a thread the
// machine does not run for a while stops the clock instead of falling behind it.
struct Lockstep {
    uint64_t base_us; // the clock at real_base
    std::chrono::steady_clock::time_point real_base;
    int32_t busy; // participants not waiting on the clock
    std::multiset<uint64_t> deadlines;
};
Lockstep hl_lockstep;
thread_local int32_t hl_participant;

// Under hl_yield_mutex.
uint64_t lockstep_now(std::chrono::steady_clock::time_point real)
{
    const Lockstep &l = hl_lockstep;
    if (l.busy > 0) return l.base_us;
    double ns =
        (double)std::chrono::duration_cast<std::chrono::nanoseconds>(real - l.real_base).count();
    uint64_t t = l.base_us + (uint64_t)(ns * hl_config.clock_speed / 1000.0);
    if (!l.deadlines.empty()) t = std::min(t, *l.deadlines.begin());
    return std::max(t, l.base_us);
}

// Under hl_yield_mutex: before the participants or their deadlines change.
void lockstep_settle()
{
    auto real = std::chrono::steady_clock::now();
    hl_lockstep.base_us = lockstep_now(real);
    hl_lockstep.real_base = real;
}

int32_t lockstep_on()
{
    return hl_config.lockstep && hl_participant;
}

uint64_t now_us()
{
    if (hl_config.lockstep) {
        std::lock_guard<std::mutex> lock(hl_yield_mutex);
        return lockstep_now(std::chrono::steady_clock::now());
    }
    auto real = std::chrono::steady_clock::now() - hl_start;
    double ns = (double)std::chrono::duration_cast<std::chrono::nanoseconds>(real).count();
    return (uint64_t)(ns * hl_config.clock_speed / 1000.0);
}

// Under hl_mutex. 0, or the injected result of this call.
int32_t injected(HeadlessCall call)
{
    Injection &in = hl_injections[call];
    in.calls++;
    if (in.nth > 0 && in.calls >= in.nth && in.calls < in.nth + in.times)
        return in.result == 0 ? -1 : in.result;
    return 0;
}

// The virtual device: the clock moves the play cursor, every byte it passes goes to the record.
uint64_t device_clock(void *)
{
    return now_us();
}

// Under hl_mutex: every call into a sound buffer is made holding it.
void device_heard(void *, const uint8_t *bytes, uint32_t count)
{
    hl_played.insert(hl_played.end(), bytes, bytes + count);
}

// The device's write cursor runs 331 bytes (15 ms) ahead of its play cursor.
const SoftSoundDevice hl_sound_device{nullptr, device_clock, device_heard, 22050, 331, nullptr};

// The cursor of the streaming buffer that plays, or -1.
int32_t playing_cursor()
{
    for (auto it = hl_buffers.rbegin(); it != hl_buffers.rend(); ++it) {
        AudioBuffer *b = it->get();
        if (b->released || b->primary) continue;
        int32_t cursor = softsound_playing_cursor(b->sound);
        if (cursor >= 0) return cursor;
    }
    return -1;
}

void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    hl_queue.push_back(WindowMessage{hl_window, message, wparam, lparam});
}

// Moves the scripted events that are due into the queue.
void deliver_scripts()
{
    uint64_t now = now_us();
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

uint64_t screen_hash(const ScreenSurface *s)
{
    uint64_t h = 1469598103934665603ull;
    for (int32_t y = 0; y < s->height; y++) {
        const uint8_t *line = s->memory.data() + (ptrdiff_t)y * s->pitch;
        for (int32_t x = 0; x < s->width * 2; x++)
            h = (h ^ line[x]) * 1099511628211ull;
    }
    return h;
}

} // namespace

HeadlessConfig headless_defaults()
{
    HeadlessConfig c{};
    c.clock_speed = 1.0;
    c.clock_start_ms = 0xFFFFFFFFu - 1500; // wraps 1.5 s into the run, inside most movies
    c.red_mask = 0xF800;
    c.green_mask = 0x07E0;
    c.blue_mask = 0x001F;
    c.pitch_extra = 0;
    c.auto_activate = 1;
    c.yield_us = 500;
    c.quiet_boxes = 0;
    c.lockstep = 0;
    return c;
}

void headless_reset(const HeadlessConfig *config)
{
    // A yield, so that a lockstep clock goes on for the threads that are still to end.
    while (hl_threads.load() > 0)
        clock_yield();
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_config = config ? *config : headless_defaults();
    hl_start = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> clock(hl_yield_mutex);
        hl_lockstep.base_us = 0;
        hl_lockstep.real_base = hl_start;
        hl_lockstep.busy = 1;
        hl_lockstep.deadlines.clear();
    }
    hl_participant = 1;
    for (CallDelay &d : hl_call_delays)
        d = CallDelay{0, 0, 0};
    for (Injection &in : hl_injections)
        in = Injection{0, 0, 0, 0};
    hl_scripts.clear();
    hl_queue.clear();
    hl_windows.clear();
    hl_window = nullptr;
    hl_active = 0;
    hl_cursor_count = 0;
    hl_devices.clear();
    hl_surfaces.clear();
    hl_primary = nullptr;
    hl_mode_width = hl_mode_height = 0;
    hl_desktop = 1;
    hl_restores = 0;
    hl_lost = 0;
    hl_audio_devices.clear();
    hl_buffers.clear();
    hl_played.clear();
    hl_presents.clear();
    hl_presents.reserve(100000);
    hl_boxes.clear();
    hl_delay_nth = 0;
    hl_delay_ms = 0;
}

void headless_delay_thread(int32_t nth, uint32_t delay_ms)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_delay_nth = nth;
    hl_delay_ms = delay_ms;
}

void headless_delay_call(HeadlessCall call, int32_t nth, uint32_t delay_ms)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_call_delays[call] = CallDelay{nth, delay_ms, hl_call_delays[call].calls};
}

// The scripted delay of this call, outside the backend's lock: the calling thread falls behind
// the clock as on a slow or busy machine.
static void call_delay(HeadlessCall call)
{
    uint32_t ms = 0;
    {
        std::lock_guard<std::mutex> lock(hl_mutex);
        CallDelay &d = hl_call_delays[call];
        d.calls++;
        if (d.nth > 0 && d.calls == d.nth) ms = d.ms;
    }
    if (ms) Sleep(ms);
}

void headless_fail(HeadlessCall call, int32_t result, int32_t nth, int32_t times)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_injections[call] = Injection{result, nth, times, hl_injections[call].calls};
}

int32_t headless_calls(HeadlessCall call)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    return hl_injections[call].calls;
}

static void add_script(ScriptKind kind, uint32_t a, uint32_t b, int32_t after, uint32_t delay)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_scripts.push_back(Script{kind, a, b, after, delay, 0});
}

void headless_script_key(uint32_t virtual_key, uint32_t character, int32_t after_presents,
                         uint32_t delay_ms)
{
    add_script(SCRIPT_KEY, virtual_key, character, after_presents, delay_ms);
}

void headless_script_activate(int32_t active, int32_t after_presents, uint32_t delay_ms)
{
    add_script(SCRIPT_ACTIVATE, active ? 1 : 0, 0, after_presents, delay_ms);
}

void headless_script_close(int32_t after_presents, uint32_t delay_ms)
{
    add_script(SCRIPT_CLOSE, 0, 0, after_presents, delay_ms);
}

std::vector<HeadlessPresent> headless_presents()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    return hl_presents;
}

std::vector<uint8_t> headless_played()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    for (auto &b : hl_buffers)
        if (!b->released && b->sound) softsound_advance(b->sound);
    return hl_played;
}

std::vector<HeadlessBox> headless_boxes()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    return hl_boxes;
}

HeadlessScreenState headless_screen_state()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    HeadlessScreenState s{};
    s.width = hl_mode_width;
    s.height = hl_mode_height;
    s.pitch = hl_primary ? hl_primary->pitch : 0;
    s.desktop = hl_desktop;
    for (auto &d : hl_devices)
        s.devices += !d->released;
    for (auto &f : hl_surfaces)
        s.surfaces += !f->released;
    s.restores = hl_restores;
    s.lost = hl_lost;
    return s;
}

std::vector<uint8_t> headless_screen_pixels()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (!hl_primary) return {};
    return hl_primary->memory;
}

int32_t headless_audio_buffers()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    int32_t n = 0;
    for (auto &b : hl_buffers)
        n += !b->released && !b->primary;
    return n;
}

int32_t headless_audio_devices()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    int32_t n = 0;
    for (auto &d : hl_audio_devices)
        n += !d->released;
    return n;
}

int32_t headless_threads_running()
{
    return hl_threads.load();
}

int32_t headless_cursor_count()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    return hl_cursor_count;
}

int32_t headless_window_visible()
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    return hl_window && hl_window->visible && !hl_window->destroyed;
}

uint64_t headless_now_us()
{
    return now_us();
}

// ---- clock and threads

uint32_t timeGetTime()
{
    return hl_config.clock_start_ms + (uint32_t)(now_us() / 1000);
}

// Under hl_yield_mutex, for a participant of the lockstep clock: waits until the clock reaches
// deadline, or, with wake, until clock_wake is called.
static void lockstep_wait(std::unique_lock<std::mutex> &lock, uint64_t deadline, int32_t wake)
{
    Lockstep &l = hl_lockstep;
    uint64_t epoch = hl_yield_epoch;
    lockstep_settle();
    l.busy--;
    auto mine = l.deadlines.insert(deadline);
    if (l.busy == 0) hl_yield_cv.notify_all(); // the clock may move now
    for (;;) {
        uint64_t now = lockstep_now(std::chrono::steady_clock::now());
        if (now >= deadline || (wake && hl_yield_epoch != epoch)) break;
        uint64_t first = *l.deadlines.begin();
        if (l.busy > 0 || now >= first) {
            // Stopped until a participant waits or leaves its wait: both notify.
            hl_yield_cv.wait_for(lock, std::chrono::milliseconds(100));
        } else {
            double us = (double)(std::min(deadline, first) - now) / hl_config.clock_speed;
            hl_yield_cv.wait_for(lock, std::chrono::microseconds((int64_t)us + 1));
        }
    }
    lockstep_settle();
    // The clock stood at this deadline for the others too: they may go on once it is gone.
    int32_t held = *mine <= l.base_us;
    l.deadlines.erase(mine);
    l.busy++;
    if (held) hl_yield_cv.notify_all();
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        clock_yield();
        return;
    }
    if (lockstep_on()) {
        std::unique_lock<std::mutex> lock(hl_yield_mutex);
        lockstep_wait(lock, lockstep_now(std::chrono::steady_clock::now()) + ms * 1000ull, 0);
        return;
    }
    std::this_thread::sleep_for(
        std::chrono::microseconds((int64_t)(ms * 1000.0 / hl_config.clock_speed)));
}

void clock_yield()
{
    clock_yield_for((uint32_t)hl_config.yield_us);
}

void clock_yield_for(uint32_t max_us)
{
    std::unique_lock<std::mutex> lock(hl_yield_mutex);
    if (lockstep_on()) {
        // A yield lasts what it would at this clock speed, on the clock.
        double most = std::max<int32_t>(hl_config.yield_us, 0) * hl_config.clock_speed;
        uint64_t now = lockstep_now(std::chrono::steady_clock::now());
        lockstep_wait(lock, now + (uint64_t)std::min<double>(max_us, most), 1);
        return;
    }
    uint64_t epoch = hl_yield_epoch;
    hl_yield_cv.wait_for(lock,
                         std::chrono::microseconds(std::min<uint32_t>(
                             max_us, (uint32_t)std::max<int32_t>(hl_config.yield_us, 0))),
                         [epoch] { return hl_yield_epoch != epoch; });
}

void clock_wake()
{
    {
        std::lock_guard<std::mutex> lock(hl_yield_mutex);
        hl_yield_epoch++;
    }
    hl_yield_cv.notify_all();
}

int32_t thread_start(void (*proc)(void *arg), void *arg)
{
    uint32_t delay = 0;
    {
        std::lock_guard<std::mutex> lock(hl_mutex);
        if (injected(HC_THREAD_START)) return -1;
        if (hl_injections[HC_THREAD_START].calls == hl_delay_nth) delay = hl_delay_ms;
    }
    // A started thread takes part in the lockstep clock from here: the clock does not move on
    // before it has run up to its first wait.
    int32_t lockstep = hl_config.lockstep;
    auto leave = [lockstep] {
        if (lockstep) {
            std::lock_guard<std::mutex> lock(hl_yield_mutex);
            lockstep_settle();
            hl_lockstep.busy--;
            hl_yield_cv.notify_all();
        }
        hl_threads.fetch_sub(1);
    };
    hl_threads.fetch_add(1);
    if (lockstep) {
        std::lock_guard<std::mutex> lock(hl_yield_mutex);
        lockstep_settle();
        hl_lockstep.busy++;
    }
    try {
        std::thread([proc, arg, delay, lockstep, leave] {
            hl_participant = lockstep;
            if (delay) Sleep(delay);
            proc(arg);
            leave();
        }).detach();
    } catch (...) {
        leave();
        return -1;
    }
    return 0;
}

// ---- window and events

Window *window_create(const char * /*title*/, int32_t /*x*/, int32_t /*y*/, int32_t /*width*/,
                      int32_t /*height*/, WindowProc proc)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (injected(HC_WINDOW_CREATE)) return nullptr;
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

// ---- screen

int32_t screen_create(ScreenDevice **device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *device = nullptr;
    if (int32_t r = injected(HC_SCREEN_CREATE)) return r;
    hl_devices.push_back(std::make_unique<ScreenDevice>(ScreenDevice{0, 0}));
    *device = hl_devices.back().get();
    return DD_OK;
}

int32_t screen_set_cooperative_level(ScreenDevice *device, Window *window, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_SCREEN_COOPERATIVE)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    device->cooperative = (flags & DDSCL_EXCLUSIVE) && window;
    return device->cooperative ? DD_OK : DDERR_INVALIDPARAMS;
}

int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_SCREEN_SET_MODE)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!device->cooperative) return DDERR_NOEXCLUSIVEMODE;
    if (bits != 16 || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return DDERR_INVALIDMODE;
    hl_mode_width = width;
    hl_mode_height = height;
    hl_desktop = 0;
    return DD_OK;
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *surface = nullptr;
    if (int32_t r = injected(HC_SCREEN_CREATE_PRIMARY)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (hl_desktop) return DDERR_NOEXCLUSIVEMODE;
    if (hl_primary && !hl_primary->released) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    auto s = std::make_unique<ScreenSurface>();
    s->width = hl_mode_width;
    s->height = hl_mode_height;
    s->pitch = hl_mode_width * 2 + hl_config.pitch_extra;
    // Video memory holds whatever was there before: not black until the player clears it.
    s->memory.assign((size_t)s->pitch * (size_t)s->height, 0xA5);
    hl_surfaces.push_back(std::move(s));
    hl_primary = hl_surfaces.back().get();
    hl_lost = 0;
    *surface = hl_primary;
    return DD_OK;
}

int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_SCREEN_PIXEL_FORMAT)) return r;
    if (!surface || surface->released) return DDERR_INVALIDOBJECT;
    *format = ScreenPixelFormat{16, hl_config.red_mask, hl_config.green_mask, hl_config.blue_mask};
    return DD_OK;
}

int32_t screen_lock(ScreenSurface *surface, uint32_t /*flags*/, void **pixels, int32_t *pitch)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *pixels = nullptr;
    if (int32_t r = injected(HC_SCREEN_LOCK)) return r;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (surface->locked) return DDERR_SURFACEBUSY;
    if (hl_lost) return DDERR_SURFACELOST;
    surface->locked = 1;
    *pitch = surface->pitch;
    if (!injected(HC_SCREEN_LOCK_NULL)) *pixels = surface->memory.data();
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    call_delay(HC_SCREEN_UNLOCK);
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_SCREEN_UNLOCK)) return r;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    uint64_t now = now_us();
    HeadlessPresent p{};
    p.index = (int32_t)hl_presents.size();
    p.time_us = now;
    p.play_cursor = playing_cursor();
    p.hash = screen_hash(surface);
    p.first_pixel = (uint16_t)(surface->memory[0] | surface->memory[1] << 8);
    hl_presents.push_back(p);
    return DD_OK;
}

int32_t screen_restore(ScreenSurface *surface)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_SCREEN_RESTORE)) return r;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!hl_active) return DDERR_SURFACELOST;
    hl_restores++;
    hl_lost = 0;
    return DD_OK;
}

int32_t screen_restore_desktop(ScreenDevice *device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_SCREEN_RESTORE_DESKTOP)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    hl_desktop = 1;
    return DD_OK;
}

void screen_release_surface(ScreenSurface *surface)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (surface) surface->released = 1;
}

void screen_release(ScreenDevice *device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (device) device->released = 1;
}

// ---- audio

int32_t audio_create(AudioDevice **device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *device = nullptr;
    if (int32_t r = injected(HC_AUDIO_CREATE)) return r;
    hl_audio_devices.push_back(std::make_unique<AudioDevice>(AudioDevice{0}));
    *device = hl_audio_devices.back().get();
    return DS_OK;
}

int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *buffer = nullptr;
    int32_t primary = (desc->flags & DSBCAPS_PRIMARYBUFFER) != 0;
    if (int32_t r = injected(primary ? HC_AUDIO_CREATE_PRIMARY : HC_AUDIO_CREATE_BUFFER)) return r;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    if (primary ? desc->bytes != 0 || desc->format
                : desc->bytes < 4 || desc->bytes > (1u << 24) || !desc->format)
        return DSERR_INVALIDPARAM;
    if (!primary && (desc->format->format_tag != 1 || desc->format->channels != 1 ||
                     desc->format->bits_per_sample != 8 || desc->format->samples_per_sec != 22050))
        return DSERR_BADFORMAT;
    auto b = std::make_unique<AudioBuffer>();
    b->primary = primary;
    if (!primary) {
        b->sound = softsound_create(&hl_sound_device, desc->bytes);
        if (!b->sound) return DSERR_OUTOFMEMORY;
    }
    hl_buffers.push_back(std::move(b));
    *buffer = hl_buffers.back().get();
    return DS_OK;
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_CAPS)) return r;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    *caps = AudioCaps{0, 22050, 22050};
    return DS_OK;
}

int32_t audio_set_cooperative_level(AudioDevice *device, Window *window, uint32_t /*level*/)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_COOPERATIVE)) return r;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    return window ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t audio_set_format(AudioBuffer *buffer, const AudioFormat *format)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_SET_FORMAT)) return r;
    return buffer && format ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t audio_lock(AudioBuffer *buffer, uint32_t offset, uint32_t bytes, void **part1,
                   uint32_t *bytes1, void **part2, uint32_t *bytes2, uint32_t /*flags*/)
{
    call_delay(HC_AUDIO_LOCK);
    std::lock_guard<std::mutex> lock(hl_mutex);
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2) *part2 = nullptr;
    if (bytes2) *bytes2 = 0;
    if (int32_t r = injected(HC_AUDIO_LOCK)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DSERR_INVALIDCALL;
    return softsound_lock(buffer->sound, offset, bytes, part1, bytes1, part2, bytes2);
}

int32_t audio_unlock(AudioBuffer *buffer, void *part1, uint32_t bytes1, void *part2,
                     uint32_t bytes2)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_UNLOCK)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DSERR_INVALIDCALL;
    return softsound_unlock(buffer->sound, part1, bytes1, part2, bytes2);
}

int32_t audio_play(AudioBuffer *buffer, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_PLAY)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DS_OK;
    softsound_play(buffer->sound, (flags & DSBPLAY_LOOPING) != 0);
    return DS_OK;
}

int32_t audio_stop(AudioBuffer *buffer)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_STOP)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->sound) softsound_stop(buffer->sound);
    return DS_OK;
}

int32_t audio_get_position(AudioBuffer *buffer, uint32_t *play_cursor, uint32_t *write_cursor)
{
    call_delay(HC_AUDIO_POSITION);
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = injected(HC_AUDIO_POSITION)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    softsound_position(buffer->sound, play_cursor, write_cursor);
    return DS_OK;
}

void audio_release_buffer(AudioBuffer *buffer)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (!buffer || buffer->released) return;
    // Kept until the reset, stopped: what it played so far stays in the record.
    if (buffer->sound) softsound_stop(buffer->sound);
    buffer->released = 1;
}

void audio_release(AudioDevice *device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (!device || device->released) return;
    device->released = 1;
    for (auto &b : hl_buffers)
        if (b->primary) b->released = 1;
}
