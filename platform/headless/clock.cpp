// The headless clock and threads: the virtual clock at a chosen speed, or the lockstep clock.
#include "platform/headless/internal.h"

#include "platform/clock.h"

#include <algorithm>
#include <thread>

namespace headless_backend
{

std::mutex hl_yield_mutex; // apart from hl_mutex: yields must not wait behind the backend's work
std::condition_variable hl_yield_cv;
uint64_t hl_yield_epoch; // counts clock_wake calls
std::chrono::steady_clock::time_point hl_start = std::chrono::steady_clock::now();
std::atomic<int32_t> hl_threads{0};
Lockstep hl_lockstep;
thread_local int32_t hl_participant;

} // namespace headless_backend

using namespace headless_backend;

namespace
{

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

// Under hl_yield_mutex, for a participant of the lockstep clock: waits until the clock reaches
// deadline, or, with wake, until clock_wake is called.
void lockstep_wait(std::unique_lock<std::mutex> &lock, uint64_t deadline, int32_t wake)
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

} // namespace

uint64_t headless_backend::hl_now_us()
{
    if (hl_config.lockstep) {
        std::lock_guard<std::mutex> lock(hl_yield_mutex);
        return lockstep_now(std::chrono::steady_clock::now());
    }
    auto real = std::chrono::steady_clock::now() - hl_start;
    double ns = (double)std::chrono::duration_cast<std::chrono::nanoseconds>(real).count();
    return (uint64_t)(ns * hl_config.clock_speed / 1000.0);
}

uint32_t timeGetTime()
{
    return hl_config.clock_start_ms + (uint32_t)(hl_now_us() / 1000);
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
        if (hl_injected(HC_THREAD_START)) return -1;
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
