// The headless backend: everything the player asks of the machine, in memory, on a virtual
// clock. One mutex guards the backend's own state; it is never held while the player's window
// procedure runs, so the procedure may call back into the platform. This header is what the
// backend's files (control, clock, window, screen, audio) share of that state.
#pragma once

#include "platform/headless/headless.h"

#include "platform/memscreen.h"
#include "platform/softsound.h"
#include "platform/window.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

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

namespace headless_backend
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

struct CallDelay {
    int32_t nth;
    uint32_t ms;
    int32_t calls;
};

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

// control.cpp
extern std::mutex hl_mutex;
extern HeadlessConfig hl_config;
extern Injection hl_injections[HC_COUNT];
extern CallDelay hl_call_delays[HC_COUNT];
extern std::vector<Script> hl_scripts;
extern std::vector<HeadlessPresent> hl_presents;
extern std::vector<HeadlessBox> hl_boxes;
extern int32_t hl_delay_nth;
extern uint32_t hl_delay_ms;

// clock.cpp
extern std::mutex hl_yield_mutex;
extern std::condition_variable hl_yield_cv;
extern uint64_t hl_yield_epoch;
extern std::chrono::steady_clock::time_point hl_start;
extern std::atomic<int32_t> hl_threads;
extern Lockstep hl_lockstep;
extern thread_local int32_t hl_participant;

// window.cpp
extern std::deque<WindowMessage> hl_queue;
extern std::vector<std::unique_ptr<Window>> hl_windows;
extern Window *hl_window;
extern int32_t hl_active;
extern int32_t hl_cursor_count;
extern std::thread::id hl_main_thread;

// screen.cpp
extern std::vector<std::unique_ptr<ScreenDevice>> hl_devices;
extern std::vector<std::unique_ptr<ScreenSurface>> hl_surfaces;
extern ScreenSurface *hl_primary;
extern int32_t hl_mode_width, hl_mode_height;
extern int32_t hl_desktop;
extern int32_t hl_restores;
extern int32_t hl_lost;

// audio.cpp
extern std::vector<std::unique_ptr<AudioDevice>> hl_audio_devices;
extern std::vector<std::unique_ptr<AudioBuffer>> hl_buffers;
extern std::vector<uint8_t> hl_played;

// The virtual clock, microseconds since the reset.
uint64_t hl_now_us();
// Under hl_mutex. 0, or the injected result of this call.
int32_t hl_injected(HeadlessCall call);
// The scripted delay of this call, outside the backend's lock: the calling thread falls behind
// the clock as on a slow or busy machine.
void hl_call_delay(HeadlessCall call);
// Under hl_mutex: the cursor of the streaming buffer that plays, or -1.
int32_t hl_playing_cursor();

} // namespace headless_backend
