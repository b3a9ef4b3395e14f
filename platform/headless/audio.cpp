// The headless sound device: soft buffers played by the clock, every byte heard recorded.
#include "platform/headless/internal.h"

#include "platform/audio.h"
#include "platform/softsound.h"

namespace headless_backend
{

std::vector<std::unique_ptr<AudioDevice>> hl_audio_devices;
std::vector<std::unique_ptr<AudioBuffer>> hl_buffers;
std::vector<uint8_t> hl_played;

// The cursor of the streaming buffer that plays, or -1.
int32_t hl_playing_cursor()
{
    for (auto it = hl_buffers.rbegin(); it != hl_buffers.rend(); ++it) {
        AudioBuffer *b = it->get();
        if (b->released || b->primary) continue;
        int32_t cursor = softsound_playing_cursor(b->sound);
        if (cursor >= 0) return cursor;
    }
    return -1;
}

} // namespace headless_backend

using namespace headless_backend;

namespace
{

// The virtual device: the clock moves the play cursor, every byte it passes goes to the record.
uint64_t device_clock(void *)
{
    return hl_now_us();
}

// Under hl_mutex: every call into a sound buffer is made holding it.
void device_heard(void *, const uint8_t *bytes, uint32_t count)
{
    hl_played.insert(hl_played.end(), bytes, bytes + count);
}

// The device's write cursor runs 331 bytes (15 ms) ahead of its play cursor.
const SoftSoundDevice hl_sound_device{nullptr, device_clock, device_heard, 22050, 331, nullptr};

} // namespace

int32_t audio_create(AudioDevice **device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *device = nullptr;
    if (int32_t r = hl_injected(HC_AUDIO_CREATE)) return r;
    hl_audio_devices.push_back(std::make_unique<AudioDevice>(AudioDevice{0}));
    *device = hl_audio_devices.back().get();
    return DS_OK;
}

int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *buffer = nullptr;
    int32_t primary = (desc->flags & DSBCAPS_PRIMARYBUFFER) != 0;
    if (int32_t r = hl_injected(primary ? HC_AUDIO_CREATE_PRIMARY : HC_AUDIO_CREATE_BUFFER))
        return r;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    if (primary ? desc->bytes != 0 || desc->format
                : desc->bytes < 4 || desc->bytes > (1u << 24) || !desc->format)
        return DSERR_INVALIDPARAM;
    if (!primary && (desc->format->format_tag != 1 || desc->format->channels != 1 ||
                     desc->format->bits_per_sample != 8 || desc->format->samples_per_sec != 22050))
        return DSERR_BADFORMAT;
    auto b = std::make_unique<AudioBuffer>();
    b->primary = primary;
    if (!primary) {
        b->sound = softsound_create(&hl_sound_device, desc->bytes);
        if (!b->sound) return DSERR_OUTOFMEMORY;
    }
    hl_buffers.push_back(std::move(b));
    *buffer = hl_buffers.back().get();
    return DS_OK;
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_CAPS)) return r;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    *caps = AudioCaps{0, 22050, 22050};
    return DS_OK;
}

int32_t audio_set_cooperative_level(AudioDevice *device, Window *window, uint32_t /*level*/)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_COOPERATIVE)) return r;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    return window ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t audio_set_format(AudioBuffer *buffer, const AudioFormat *format)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_SET_FORMAT)) return r;
    return buffer && format ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t audio_lock(AudioBuffer *buffer, uint32_t offset, uint32_t bytes, void **part1,
                   uint32_t *bytes1, void **part2, uint32_t *bytes2, uint32_t /*flags*/)
{
    hl_call_delay(HC_AUDIO_LOCK);
    std::lock_guard<std::mutex> lock(hl_mutex);
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2) *part2 = nullptr;
    if (bytes2) *bytes2 = 0;
    if (int32_t r = hl_injected(HC_AUDIO_LOCK)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DSERR_INVALIDCALL;
    return softsound_lock(buffer->sound, offset, bytes, part1, bytes1, part2, bytes2);
}

int32_t audio_unlock(AudioBuffer *buffer, void *part1, uint32_t bytes1, void *part2,
                     uint32_t bytes2)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_UNLOCK)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DSERR_INVALIDCALL;
    return softsound_unlock(buffer->sound, part1, bytes1, part2, bytes2);
}

int32_t audio_play(AudioBuffer *buffer, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_PLAY)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DS_OK;
    softsound_play(buffer->sound, (flags & DSBPLAY_LOOPING) != 0);
    return DS_OK;
}

int32_t audio_stop(AudioBuffer *buffer)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_STOP)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->sound) softsound_stop(buffer->sound);
    return DS_OK;
}

int32_t audio_get_position(AudioBuffer *buffer, uint32_t *play_cursor, uint32_t *write_cursor)
{
    hl_call_delay(HC_AUDIO_POSITION);
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_AUDIO_POSITION)) return r;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    softsound_position(buffer->sound, play_cursor, write_cursor);
    return DS_OK;
}

void audio_release_buffer(AudioBuffer *buffer)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (!buffer || buffer->released) return;
    // Kept until the reset, stopped: what it played so far stays in the record.
    if (buffer->sound) softsound_stop(buffer->sound);
    buffer->released = 1;
}

void audio_release(AudioDevice *device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (!device || device->released) return;
    device->released = 1;
    for (auto &b : hl_buffers)
        if (b->primary) b->released = 1;
}
