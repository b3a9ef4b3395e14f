// Clock and threads for the player: a millisecond clock for pacing and time-outs, sleeping,
// the yield of the polling loops, and the start of a detached thread.
#pragma once

#include <cstdint>

// Milliseconds since some fixed point; wraps around after 2^32 ms, so compare by difference.
uint32_t timeGetTime();

// Sleeps ms milliseconds; Sleep(0) is clock_yield().
void Sleep(uint32_t ms);

// Gives up the processor briefly, so that the playback threads' polling loops do not keep a
// core busy each. It ends early when another thread calls clock_wake, and otherwise after a
// backend's own short time (a millisecond or less; up to 10 ms, or 100 ms where a thread's
// wake-up is dear, where every value the playback threads poll for is followed by clock_wake).
void clock_yield();

// clock_yield, but over after max_us microseconds at the latest: for a poller that knows when
// the value it polls will change, so that it does not see the change late by most of a yield.
void clock_yield_for(uint32_t max_us);

// Ends the yields under way on the other threads: called right after raising a value that a
// polling loop waits for, so that the poller need not sleep out its yield.
void clock_wake();

// Starts proc(arg) on a new thread with the default stack size. The thread is not joined: its
// end is seen through the values it sets. 0 when it started.
int32_t thread_start(void (*proc)(void *arg), void *arg);
