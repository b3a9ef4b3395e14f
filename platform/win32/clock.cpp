// Clock and threads over KERNEL32 and the multimedia timer.
#include "platform/win32/win32.h"

#include "platform/clock.h"

#include <atomic>
#include <new>

// <mmsystem.h> would declare the timer under the name the platform header gives our own.
namespace winmm
{
extern "C" DWORD WINAPI timeGetTime(void);
extern "C" UINT WINAPI timeBeginPeriod(UINT period);
} // namespace winmm

namespace
{

// A millisecond timer resolution for the whole program, so that Sleep(1) is about 1 ms and not
// a 15.6 ms tick: taken once, before the first wait.
std::atomic<int> resolution_taken{0};

void take_resolution()
{
    if (resolution_taken.exchange(1)) return;
    winmm::timeBeginPeriod(1);
}

HANDLE wake()
{
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

struct ThreadStart {
    void (*proc)(void *);
    void *arg;
};

DWORD WINAPI thread_entry(LPVOID param)
{
    ThreadStart start = *static_cast<ThreadStart *>(param);
    delete static_cast<ThreadStart *>(param);
    start.proc(start.arg);
    return 0;
}

} // namespace

uint32_t timeGetTime()
{
    return winmm::timeGetTime();
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        clock_yield();
        return;
    }
    take_resolution();
    ::Sleep(DWORD{ms});
}

void clock_yield()
{
    clock_yield_for(1000);
}

void clock_yield_for(uint32_t max_us)
{
    take_resolution();
    // The waits of the system are whole milliseconds: below one, only give up the time slice.
    if (max_us < 1000) {
        SwitchToThread();
        return;
    }
    WaitForSingleObject(wake(), 1);
}

void clock_wake()
{
    SetEvent(wake());
}

int32_t thread_start(void (*proc)(void *arg), void *arg)
{
    auto *start = new (std::nothrow) ThreadStart{proc, arg};
    if (!start) return -1;
    HANDLE thread = CreateThread(nullptr, 0, thread_entry, start, 0, nullptr);
    if (!thread) {
        delete start;
        return -1;
    }
    CloseHandle(thread);
    return 0;
}
