// The web backend's sound: an audio context at 22050 frames a second (the browser resamples to
// its device) whose worklet plays unsigned 8-bit mono bytes from a ring in the module's memory.
// A feeder thread keeps the ring a few render quanta ahead of what the worklet has taken, taking
// the bytes from the looping buffer started last (the shared soft buffer, pulled as a device
// callback would): the audio context's clock moves the play cursor, as the device's clock does
// on the desktop.
#include "platform/audio.h"
#include "platform/softsound.h"
#include "platform/softsound_audio.h"
#include "platform/web/web.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>
#include <mutex>
#include <new>
#include <thread>

namespace
{

constexpr uint32_t SAMPLE_RATE = 22050;
constexpr uint32_t QUANTUM = 128;     // frames the worklet renders at a time
constexpr uint32_t RING = 4096;       // bytes; a power of two
constexpr uint32_t LEAD = 3 * 128;    // bytes the ring holds ahead of the worklet
constexpr double OPEN_WAIT_MS = 3000; // for the page to get its audio context running

// Shared with the worklet, which reads the ring and moves `taken` and `rendered` on.
struct SoundRing {
    std::atomic<int32_t> state; // 0 opening, 1 running, -1 failed
    std::atomic<uint32_t> written;
    std::atomic<uint32_t> taken;
    std::atomic<uint32_t> rendered; // frames rendered, silence included: the context's clock
    uint8_t bytes[RING];
};
SoundRing ring;
// The worklet finds the fields at these offsets.
static_assert(offsetof(SoundRing, written) == 4 && offsetof(SoundRing, taken) == 8 &&
                  offsetof(SoundRing, rendered) == 12 && offsetof(SoundRing, bytes) == 16,
              "the worklet's view of the ring");

std::mutex stream_mutex;
AudioBuffer *stream;  // the buffer the feeder plays
int32_t stream_owner; // its program: when that ends, so does its sound

uint64_t device_clock(void *)
{
    return web_now_us();
}

// A device that takes the bytes itself.
const SoftSoundDevice web_sound_device{nullptr, device_clock, nullptr, SAMPLE_RATE, 0};

// Keeps the ring LEAD bytes ahead of the worklet, waking each time it has rendered a quantum.
void feeder_thread()
{
    uint8_t block[QUANTUM];
    for (;;) {
        uint32_t rendered = ring.rendered.load();
        while (ring.written.load() - ring.taken.load() < LEAD) {
            uint32_t n = 0;
            {
                std::lock_guard<std::mutex> lock(stream_mutex);
                if (stream && stream_owner && !web_process_running(stream_owner)) stream = nullptr;
                if (stream && !stream->released) n = softsound_pull(stream->sound, block, QUANTUM);
            }
            std::memset(block + n, 0x80, QUANTUM - n);
            uint32_t at = ring.written.load();
            for (uint32_t i = 0; i < QUANTUM; i++)
                ring.bytes[(at + i) & (RING - 1)] = block[i];
            ring.written.store(at + QUANTUM);
        }
        emscripten_futex_wait(&ring.rendered, rendered, 50.0);
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
    bool started = true;
    std::call_once(feeder, [&started] {
        try {
            // Outside every process: it serves the players one after the other.
            std::thread(feeder_thread).detach();
        } catch (...) {
            started = false;
        }
    });
    if (!started) return DSERR_OUTOFMEMORY;
    // The page opens its context once, on a user's gesture where the browser wants one.
    if (ring.state.load() != 1) {
        ring.state.store(0);
        MAIN_THREAD_EM_ASM({ Module.web.soundOpen($0, $1); }, &ring, RING);
        double deadline = emscripten_get_now() + OPEN_WAIT_MS;
        while (ring.state.load() == 0 && emscripten_get_now() < deadline) {
            web_process_check();
            web_wait(10000);
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
    *buffer = nullptr;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    int32_t primary = (desc->flags & DSBCAPS_PRIMARYBUFFER) != 0;
    if (!primary &&
        (!desc->format || desc->format->format_tag != 1 || desc->format->channels != 1 ||
         desc->format->bits_per_sample != 8 || desc->format->samples_per_sec != SAMPLE_RATE))
        return DSERR_BADFORMAT;
    if (!primary && (desc->bytes < 4 || desc->bytes > (1u << 24))) return DSERR_INVALIDPARAM;
    AudioBuffer *b = new (std::nothrow) AudioBuffer{primary, 0, nullptr};
    if (!b) return DSERR_OUTOFMEMORY;
    if (!primary && !(b->sound = softsound_create(&web_sound_device, desc->bytes))) {
        delete b;
        return DSERR_OUTOFMEMORY;
    }
    *buffer = b;
    return DS_OK;
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    if (!device || device->released) return DSERR_UNINITIALIZED;
    *caps = AudioCaps{0, SAMPLE_RATE, SAMPLE_RATE};
    return DS_OK;
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
    // The page's context stays open for the next player: opening it needs a user's gesture.
    if (device) device->released = 1;
}
