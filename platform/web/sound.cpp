// The web backend's sound: an audio context at 22050 frames a second (the browser resamples to
// its device) whose worklet plays unsigned 8-bit mono bytes from a ring in the module's memory.
// The device asks the worklet for a few render quanta at a time (a burst, one device buffer),
// then nothing until its next buffer. A feeder thread wakes once a burst and keeps the ring two
// bursts ahead, taking the bytes from the looping buffer started last (the shared soft buffer,
// pulled as a device callback would). The play cursor is what the worklet has taken, moved on
// with the clock through the latest burst: the audio context's clock paces the pictures, as the
// device's clock does on the desktop.
#include "platform/audio.h"
#include "platform/softsound.h"
#include "platform/softsound_audio.h"
#include "platform/web/web.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>
#include <mutex>

namespace
{

constexpr uint32_t SAMPLE_RATE = 22050;
constexpr uint32_t QUANTUM = 128;       // frames the worklet renders at a time
constexpr uint32_t RING = 8192;         // bytes; a power of two
constexpr uint32_t MIN_LEAD = 3 * 128;  // bytes the ring holds ahead of the worklet at least
constexpr double OPEN_WAIT_MS = 3000;   // for the page to get its audio context running
constexpr double FEEDER_WAIT_MS = 1000; // a context that renders nothing (suspended)

// Shared with the worklet, which reads the ring, moves `taken` on and counts the bursts.
struct SoundRing {
    std::atomic<int32_t> state; // 0 opening, 1 running, -1 failed
    std::atomic<uint32_t> written;
    std::atomic<uint32_t> taken;
    std::atomic<uint32_t> bursts;      // the feeder waits on this
    std::atomic<uint32_t> burst_taken; // `taken` when the latest burst began
    std::atomic<uint32_t> lead;        // set by the page: two device buffers and a quantum
    std::atomic<uint32_t> starved;     // quanta the worklet found short while a sound played
    std::atomic<uint32_t> live;        // 1 while the feeder takes a sound's bytes, from...
    std::atomic<uint32_t> live_from;   // ...this place in the ring on
    uint8_t bytes[RING];
};
SoundRing ring;
// The worklet and the page find the fields at these offsets.
static_assert(offsetof(SoundRing, written) == 4 && offsetof(SoundRing, taken) == 8 &&
                  offsetof(SoundRing, bursts) == 12 && offsetof(SoundRing, burst_taken) == 16 &&
                  offsetof(SoundRing, lead) == 20 && offsetof(SoundRing, starved) == 24 &&
                  offsetof(SoundRing, live) == 28 && offsetof(SoundRing, live_from) == 32 &&
                  offsetof(SoundRing, bytes) == 36,
              "the worklet's view of the ring");

// Bytes the feeder is moving from the soft buffer into the ring: handed out, not yet written.
std::atomic<uint32_t> in_flight;

// The latest burst as the feeder saw it begin: what had been taken before it, and when.
std::mutex burst_mutex;
uint32_t burst_base;
uint64_t burst_us;

std::mutex stream_mutex;
AudioBuffer *stream;  // the buffer the feeder plays
int32_t stream_owner; // its program: when that ends, so does its sound

uint64_t device_clock(void *)
{
    return web_now_us();
}

// Bytes of the ring the context has played: those taken before the latest burst, and of the
// burst as many as the time since it began has played.
uint32_t played()
{
    uint32_t base;
    uint64_t since;
    {
        std::lock_guard<std::mutex> lock(burst_mutex);
        base = burst_base;
        since = web_now_us() - burst_us;
    }
    uint32_t burst = ring.taken.load() - base;
    uint64_t moved = since * SAMPLE_RATE / 1000000;
    return base + static_cast<uint32_t>(std::min<uint64_t>(moved, burst));
}

// What the buffer that plays has handed out and the context has not played: in the ring, or on
// the way into it. In flight is read first: once it is clear, `written` counts those bytes.
uint32_t device_held(void *)
{
    uint32_t moving = in_flight.load();
    return ring.written.load() + moving - played();
}

// A device that takes the bytes itself, ahead of playing them.
const SoftSoundDevice web_sound_device{nullptr, device_clock, nullptr, SAMPLE_RATE, 0, device_held};

// Keeps the ring `lead` bytes ahead of the worklet, waking once a burst.
void feeder_thread(void *)
{
    static uint8_t block[RING];
    uint32_t bursts = ring.bursts.load();
    for (;;) {
        uint32_t lead = std::clamp<uint32_t>(ring.lead.load(), MIN_LEAD, RING - QUANTUM);
        uint32_t at = ring.written.load();
        uint32_t ahead = at - ring.taken.load();
        uint32_t want = ahead < lead ? lead - ahead : 0;
        if (want) {
            uint32_t n = 0;
            in_flight.store(want);
            {
                std::lock_guard<std::mutex> lock(stream_mutex);
                if (stream && stream_owner && !web_process_running(stream_owner)) stream = nullptr;
                if (stream && !stream->released) n = softsound_pull(stream->sound, block, want);
            }
            std::memset(block + n, 0x80, want - n);
            for (uint32_t i = 0; i < want; i++)
                ring.bytes[(at + i) & (RING - 1)] = block[i];
            if (n > 0 && !ring.live.load()) {
                ring.live_from.store(at);
                ring.live.store(1);
            }
            ring.written.store(at + want);
            in_flight.store(0);
            if (n < want) ring.live.store(0);
        }
        emscripten_futex_wait(&ring.bursts, bursts, FEEDER_WAIT_MS);
        uint32_t now = ring.bursts.load();
        if (now != bursts) {
            std::lock_guard<std::mutex> lock(burst_mutex);
            burst_base = ring.burst_taken.load();
            burst_us = web_now_us();
        }
        bursts = now;
    }
}

} // namespace

int32_t web_sound_cursor()
{
    std::lock_guard<std::mutex> lock(stream_mutex);
    return stream && !stream->released ? softsound_playing_cursor(stream->sound) : -1;
}

int32_t audio_create(AudioDevice **device)
{
    *device = nullptr;
    static std::once_flag feeder;
    static bool feeding;
    // Outside every process: it serves the players one after the other.
    std::call_once(feeder, [] { feeding = web_thread_start(feeder_thread, nullptr); });
    if (!feeding) return DSERR_OUTOFMEMORY;
    // The page opens its context once, on a user's gesture where the browser wants one, and
    // has it render again for each player. Once it has run, the player need not wait for that:
    // the play cursor stands until the context takes the first bytes.
    if (ring.state.load() == 1) {
        MAIN_THREAD_ASYNC_EM_ASM({ Module.web.soundOpen($0, $1); }, &ring, RING);
    } else {
        ring.state.store(0);
        MAIN_THREAD_EM_ASM({ Module.web.soundOpen($0, $1); }, &ring, RING);
        double deadline = emscripten_get_now() + OPEN_WAIT_MS;
        while (ring.state.load() == 0 && emscripten_get_now() < deadline) {
            web_process_check();
            emscripten_futex_wait(&ring.state, 0, 50.0);
        }
        if (ring.state.load() != 1) return DSERR_NODRIVER;
    }
    static AudioDevice d;
    d = AudioDevice{0, 0};
    *device = &d;
    return DS_OK;
}

int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    return softsound_audio_create_buffer(&web_sound_device, device, desc, buffer);
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    return softsound_audio_get_caps(&web_sound_device, device, caps);
}

int32_t audio_play(AudioBuffer *buffer, uint32_t flags)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DS_OK;
    std::lock_guard<std::mutex> lock(stream_mutex);
    // The device plays the buffer started last; a buffer already playing keeps its place.
    if (!softsound_playing(buffer->sound)) {
        stream = buffer;
        stream_owner = web_process_current();
        MAIN_THREAD_ASYNC_EM_ASM({ Module.web.traceMark("play"); });
    }
    softsound_play(buffer->sound, (flags & DSBPLAY_LOOPING) != 0);
    return DS_OK;
}

void audio_release_buffer(AudioBuffer *buffer)
{
    if (!buffer) return;
    {
        // Out of the feeder's reach before it goes.
        std::lock_guard<std::mutex> lock(stream_mutex);
        if (stream == buffer) stream = nullptr;
        buffer->released = 1;
    }
    softsound_destroy(buffer->sound);
    delete buffer;
}

void audio_release(AudioDevice *device)
{
    // The page's context stays for the next player (opening it needs a user's gesture), but
    // renders nothing meanwhile.
    if (!device || device->released) return;
    device->released = 1;
    MAIN_THREAD_ASYNC_EM_ASM({ Module.web.soundSuspend(); });
}
