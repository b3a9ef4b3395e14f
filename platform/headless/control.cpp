// The headless backend's control for tests and tools: reset, failures, delays, scripted events,
// and the records of what was shown, heard and reported.
#include "platform/headless/internal.h"

#include "platform/clock.h"
#include "platform/softsound.h"

#include <mutex>

namespace headless_backend
{

std::mutex hl_mutex;
HeadlessConfig hl_config = headless_defaults();
Injection hl_injections[HC_COUNT];
CallDelay hl_call_delays[HC_COUNT];
std::vector<Script> hl_scripts;
std::vector<HeadlessPresent> hl_presents;
std::vector<HeadlessBox> hl_boxes;
int32_t hl_delay_nth;
uint32_t hl_delay_ms;

// Under hl_mutex. 0, or the injected result of this call.
int32_t hl_injected(HeadlessCall call)
{
    Injection &in = hl_injections[call];
    in.calls++;
    if (in.nth > 0 && in.calls >= in.nth && in.calls < in.nth + in.times)
        return in.result == 0 ? -1 : in.result;
    return 0;
}

// The scripted delay of this call, outside the backend's lock: the calling thread falls behind
// the clock as on a slow or busy machine.
void hl_call_delay(HeadlessCall call)
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

} // namespace headless_backend

using namespace headless_backend;

namespace
{

void add_script(ScriptKind kind, uint32_t a, uint32_t b, int32_t after, uint32_t delay)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    hl_scripts.push_back(Script{kind, a, b, after, delay, 0});
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
    return hl_now_us();
}
