// The web backend's clock and threads: the page's monotonic clock, yields that another thread
// can cut short, and threads that belong to the process that started them.
#include "platform/clock.h"
#include "platform/web/web.h"

#include <algorithm>
#include <atomic>
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

namespace
{

// Counts clock_wake calls: the futex word of the yields.
std::atomic<uint32_t> yield_epoch;
static_assert(sizeof(std::atomic<uint32_t>) == 4, "a futex word is 32 bits");

// As on the desktop: a poller that knows when its value changes says so, and every value the
// playback threads poll for is followed by clock_wake; the cap bounds a wake that never comes.
// A wake-up of a thread costs several times what it costs natively, and three threads yield
// all through playback: at the desktop's 10 ms they woke 300 times a second between them.
constexpr uint32_t yield_max_us = 100000;

} // namespace

uint64_t web_now_us()
{
    // Each thread's clock is the page's (the runtime corrects the workers' own time origin).
    return static_cast<uint64_t>(emscripten_get_now() * 1000.0);
}

uint32_t timeGetTime()
{
    return static_cast<uint32_t>(web_now_us() / 1000);
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        clock_yield();
        return;
    }
    // Over early only when the caller's program ends meanwhile (a signal), as a process would.
    uint64_t end = web_now_us() + uint64_t{ms} * 1000;
    for (uint64_t now; (now = web_now_us()) < end;) {
        uint32_t seen = web_signals();
        web_process_check();
        web_wait(seen, static_cast<uint32_t>(std::min<uint64_t>(end - now, UINT32_MAX)));
    }
    web_process_check();
}

void clock_yield()
{
    // Until a wake, or the cap every yield has.
    clock_yield_for(UINT32_MAX);
}

void clock_yield_for(uint32_t max_us)
{
    // A wake that came since this thread's last yield ended ends this one at once. Before its
    // first yield a thread cannot tell which wakes it missed: that one ends at once too.
    thread_local uint32_t seen = yield_epoch.load() - 1;
    web_process_check();
    if (yield_epoch.load() == seen) {
        double ms = (max_us < yield_max_us ? max_us : yield_max_us) / 1000.0;
        emscripten_futex_wait(&yield_epoch, seen, ms);
    }
    seen = yield_epoch.load();
    web_process_check();
}

void clock_wake()
{
    yield_epoch.fetch_add(1);
    emscripten_futex_wake(&yield_epoch, INT32_MAX);
}
