// Control of the headless backend, for tests and tools: a memory screen, a virtual sound device
// clocked by a virtual clock that runs at real time or faster, scripted window events, failure
// injection for every platform call, and records of what was shown, heard and reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Platform calls that can be made to fail.
enum HeadlessCall : int32_t {
    HC_SCREEN_CREATE,
    HC_SCREEN_COOPERATIVE,
    HC_SCREEN_SET_MODE,
    HC_SCREEN_CREATE_PRIMARY,
    HC_SCREEN_PIXEL_FORMAT,
    HC_SCREEN_LOCK,
    HC_SCREEN_LOCK_NULL, // the lock succeeds but yields no address (result unused)
    HC_SCREEN_UNLOCK,
    HC_SCREEN_RESTORE,
    HC_SCREEN_RESTORE_DESKTOP,
    HC_AUDIO_CREATE,
    HC_AUDIO_CREATE_PRIMARY,
    HC_AUDIO_CREATE_BUFFER,
    HC_AUDIO_CAPS,
    HC_AUDIO_COOPERATIVE,
    HC_AUDIO_SET_FORMAT,
    HC_AUDIO_LOCK,
    HC_AUDIO_UNLOCK,
    HC_AUDIO_PLAY,
    HC_AUDIO_STOP,
    HC_AUDIO_POSITION,
    HC_WINDOW_CREATE, // result unused: the window is not created
    HC_THREAD_START,  // result unused: the thread is not started
    HC_COUNT
};

struct HeadlessConfig {
    double clock_speed;      // virtual seconds per real second; 1 is real time
    uint32_t clock_start_ms; // what timeGetTime answers at the start
    uint32_t red_mask;       // pixel layout of the screen
    uint32_t green_mask;
    uint32_t blue_mask;
    int32_t pitch_extra;   // bytes a surface line has beyond width x 2
    int32_t auto_activate; // showing the window activates the program
    int32_t yield_us;      // real microseconds clock_yield sleeps
    int32_t quiet_boxes;   // message boxes are recorded but not printed on stderr
    // The clock moves only while the player's threads all wait on it (a yield, a sleep), so
    // that a machine busy with other work cannot make them fall behind it: only a scripted
    // delay does (headless_delay_thread, headless_delay_call).
    int32_t lockstep;
};

// The defaults: real time, 5-6-5, no extra pitch, auto-activation, a short start before the
// 32-bit millisecond clock wraps (so wrapping is exercised), 500 us yield.
HeadlessConfig headless_defaults();

// Back to a fresh machine with this configuration (null: the defaults). Waits for threads that
// the platform started to end; every record, script and injected failure is dropped.
void headless_reset(const HeadlessConfig *config);

// The nth call (from 1) of call and the times-1 calls after it answer result.
void headless_fail(HeadlessCall call, int32_t result, int32_t nth, int32_t times);
// The nth thread started (from 1) waits delay_ms of the clock before it runs: a slow start.
void headless_delay_thread(int32_t nth, uint32_t delay_ms);
// The nth call (from 1) of call waits delay_ms of the clock before it does anything: the thread
// that makes it falls behind as on a slow machine. For the screen's unlock (the main thread's
// present), the sound's position query and lock (the audio thread).
void headless_delay_call(HeadlessCall call, int32_t nth, uint32_t delay_ms);
// How often call was made since the reset.
int32_t headless_calls(HeadlessCall call);

// Scripted events. Each becomes due when the screen has been presented after_presents times
// (every unlock counts, the clear after set-up too) and then delay_ms of the clock have passed;
// the pump delivers it at its next pass. Key-down carries a virtual key and the character it
// makes (0 for none): the translation gives the character message right after the key-down.
void headless_script_key(uint32_t virtual_key, uint32_t character, int32_t after_presents,
                         uint32_t delay_ms);
void headless_script_activate(int32_t active, int32_t after_presents, uint32_t delay_ms);
void headless_script_close(int32_t after_presents, uint32_t delay_ms);

struct HeadlessPresent {
    int32_t index;        // 0 for the first unlock
    uint64_t time_us;     // the virtual clock, microseconds since the reset
    int32_t play_cursor;  // of the playing streaming buffer, -1 when none plays
    uint64_t hash;        // of the visible width x height pixels
    uint16_t first_pixel; // pixel (0, 0)
};
struct HeadlessBox {
    std::string caption;
    std::string text;
    uint32_t flags;
    int32_t on_main_thread; // the thread that created the window
    int32_t over_desktop;   // the desktop's mode was back when it was shown
};
struct HeadlessScreenState {
    int32_t width, height; // the current mode, 0 when none was set
    int32_t pitch;
    int32_t desktop;  // the desktop's mode is back (or was never left)
    int32_t surfaces; // surfaces not released
    int32_t devices;  // devices not released
    int32_t restores; // surface restores
    int32_t lost;     // the surface is lost (program inactive)
};

std::vector<HeadlessPresent> headless_presents();
// Every byte the sound device played, in order, across all buffers.
std::vector<uint8_t> headless_played();
std::vector<HeadlessBox> headless_boxes();
HeadlessScreenState headless_screen_state();
// A copy of the current surface's lines, pitch bytes each (empty when there is none).
std::vector<uint8_t> headless_screen_pixels();
// Sound buffers and devices not released.
int32_t headless_audio_buffers();
int32_t headless_audio_devices();
// Threads started by the platform that have not ended yet.
int32_t headless_threads_running();
// ShowCursor's counter: the cursor shows when it is 0 or more.
int32_t headless_cursor_count();
// The window exists and is visible.
int32_t headless_window_visible();
// Virtual microseconds since the reset.
uint64_t headless_now_us();
