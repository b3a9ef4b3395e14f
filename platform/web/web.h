// What the web backend's files share, and what the page's programs (apps/) ask of it.
//
// The page runs several programs in one WebAssembly module: the menu, the player and the CD's
// in-page stand-ins. Each runs as a "process": a thread (and the threads it starts) under a
// number of its own. Ending a process ends its threads at their next call into the platform
// layer, as the end of a real process would, without touching the others.
//
// The browser's document lives on its main thread; the programs run on threads of their own
// (main() itself is proxied to one). Whatever touches the page goes to the main thread; the
// page's events come back through the queues of the services they are for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- processes -------------------------------------------------------------------------------

// An in-page program: runs on the new process's thread; returns its exit code.
typedef int32_t (*WebProgramMain)(const std::vector<std::string> &args);

// Starts run(context) on a thread of its own, outside any process; false when no thread could be
// had. (The module is built without exceptions: a std::thread that fails would end the page.)
bool web_thread_start(void (*run)(void *context), void *context);
// Starts a process running main(args) on a thread of its own; its number, or 0 when no thread
// could be had. `name` says to the page what ended when it ends.
int32_t web_process_spawn(const char *name, WebProgramMain main, std::vector<std::string> args);
// The process of the calling thread (0 for threads outside any, main() among them).
int32_t web_process_current();
// Ends the calling thread if its process has been ended: every wait of the layer calls it.
void web_process_check();
// Whether the calling thread's process runs on (true outside any process).
bool web_process_alive();
// Whether a process runs (it has not ended); whether any of its threads still does.
bool web_process_running(int32_t id);
bool web_process_has_threads(int32_t id);
// Ends the calling thread's process: the page is told, every other thread of it ends at its
// next wait, and the calling thread ends here.
[[noreturn]] void web_process_end_self(int32_t code);

// Programs that process_start can start, by the file name the CD or the install gives them
// (compared without regard to case). run is called on the caller's thread: a program that runs
// on, beside its caller, starts a process itself. It answers whether the program started.
typedef bool (*WebProgramStart)(const char *host_path, const std::vector<std::string> &args);
void web_program_register(const char *file_name, WebProgramStart run);

// ---- the page --------------------------------------------------------------------------------

// Monotonic microseconds, the same on every thread.
uint64_t web_now_us();
// Wakes threads blocked in the layer's waits (a page event arrived).
void web_signal();
// The count of signals so far. A waiter reads it before it looks for what it waits for, and
// waits with it: a signal that comes in between ends the wait at once.
uint32_t web_signals();
// Waits for a signal after `seen`, or until timeout_us passes, whichever comes first.
void web_wait(uint32_t seen, uint32_t timeout_us);
// Every event that a message loop waits for comes with a signal: the loops look again after
// this long only in case one ever comes without.
constexpr uint32_t MESSAGE_WAIT_US = 1000000;

// Keeps drive C: and the registry file in the browser's storage, after a change.
void web_storage_save();
// A line for the page's log of what the CD's programs did (UTF-8).
void web_page_log(const std::string &line);

// Message boxes: the page shows one, the caller waits for the answer. While it waits, idle is
// called every 50 ms on the waiting thread (the menu's timers run on in its boxes).
int32_t web_box(const char *text, const char *caption, uint32_t type, void (*idle)());

// Text for the page: code page 1252 to UTF-8.
std::string web_utf8(const char *cp1252);

// ---- the menu's windows ----------------------------------------------------------------------

// No windows, timers or page events left from an earlier run of the menu.
void web_ui_reset();

// ---- between the player's services ---------------------------------------------------------

// The play cursor of the sound buffer that plays, -1 when none does (for the trace).
int32_t web_sound_cursor();
// The player's canvas black (a new window).
void web_screen_clear();

// ---- files dropped on the page ----------------------------------------------------------------

// A dropped file is named "/dropped/<number>/<name>": readfile_open reads it in pieces from the
// page as it is read, never whole.
constexpr const char *WEB_DROPPED_FOLDER = "/dropped/";
