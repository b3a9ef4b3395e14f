// The SDL backend's clock and threads: a monotonic clock from the process start, and yields
// that another thread can cut short.
#include "platform/clock.h"
#include "platform/sdl/sdl_internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <linux/futex.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace
{

const auto sdl_start = std::chrono::steady_clock::now();

std::atomic<uint32_t> sdl_yield_epoch; // counts clock_wake calls; the yields' futex word
static_assert(sizeof(std::atomic<uint32_t>) == 4, "a futex word is 32 bits");

} // namespace

uint64_t sdl_now_us()
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - sdl_start)
        .count();
}

uint64_t sdl_start_us()
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(
               sdl_start.time_since_epoch())
        .count();
}

uint32_t timeGetTime()
{
    return (uint32_t)(sdl_now_us() / 1000);
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        clock_yield();
    } else {
        sdl_serve_requests();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

// Each wake-up of a polling thread costs several microseconds (more in a virtual machine) and
// three threads poll all through playback. The playback threads call clock_wake after every value
// another of them polls for, and a poller that waits for a time says when: a yield can last until
// then. The cap only bounds what a wake-up that never comes costs. A bare futex on the wake count:
// one system call a yield.
constexpr uint32_t yield_max_us = 10000;

void clock_yield()
{
    clock_yield_for(yield_max_us);
}

void clock_yield_for(uint32_t max_us)
{
    // The wake count this thread saw when its last yield ended: a wake that came since (between
    // the caller's look at its value and this call) ends this yield at once, where waiting for
    // the count as it is now would sleep through it.
    thread_local uint32_t seen = sdl_yield_epoch.load();
    sdl_serve_requests();
    if (sdl_yield_epoch.load() == seen) {
        timespec timeout{0, (long)std::min<uint32_t>(max_us, yield_max_us) * 1000};
        syscall(SYS_futex, &sdl_yield_epoch, FUTEX_WAIT_PRIVATE, seen, &timeout, nullptr, 0);
    }
    seen = sdl_yield_epoch.load();
}

void clock_wake()
{
    sdl_yield_epoch.fetch_add(1);
    syscall(SYS_futex, &sdl_yield_epoch, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

int32_t thread_start(void (*proc)(void *arg), void *arg)
{
    try {
        std::thread([proc, arg] {
            // Yields that end at a known time end then, not up to 50 us later: the audio
            // thread's wait for the next quarter is what picture B waits for.
            prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
            proc(arg);
        }).detach();
    } catch (...) {
        return -1;
    }
    return 0;
}
