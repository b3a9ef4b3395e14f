#include "platform/softsound_audio.h"

#include "platform/audio.h"

#include <new>

int32_t audio_set_cooperative_level(AudioDevice *device, Window *, uint32_t)
{
    return device && !device->released ? DS_OK : DSERR_UNINITIALIZED;
}

int32_t audio_set_format(AudioBuffer *buffer, const AudioFormat *format)
{
    return buffer && format ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t audio_lock(AudioBuffer *buffer, uint32_t offset, uint32_t bytes, void **part1,
                   uint32_t *bytes1, void **part2, uint32_t *bytes2, uint32_t)
{
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2) *part2 = nullptr;
    if (bytes2) *bytes2 = 0;
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DSERR_INVALIDCALL;
    return softsound_lock(buffer->sound, offset, bytes, part1, bytes1, part2, bytes2);
}

int32_t audio_unlock(AudioBuffer *buffer, void *part1, uint32_t bytes1, void *part2,
                     uint32_t bytes2)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DSERR_INVALIDCALL;
    return softsound_unlock(buffer->sound, part1, bytes1, part2, bytes2);
}

int32_t audio_stop(AudioBuffer *buffer)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->sound) softsound_stop(buffer->sound);
    return DS_OK;
}

int32_t audio_get_position(AudioBuffer *buffer, uint32_t *play_cursor, uint32_t *write_cursor)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    softsound_position(buffer->sound, play_cursor, write_cursor);
    return DS_OK;
}

int32_t softsound_audio_create_buffer(const SoftSoundDevice *sound, AudioDevice *device,
                                      const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    *buffer = nullptr;
    if (!device || device->released) return DSERR_UNINITIALIZED;
    int32_t primary = (desc->flags & DSBCAPS_PRIMARYBUFFER) != 0;
    if (!primary && (!desc->format || desc->format->format_tag != 1 ||
                     desc->format->channels != 1 || desc->format->bits_per_sample != 8 ||
                     desc->format->samples_per_sec != sound->bytes_per_second))
        return DSERR_BADFORMAT;
    if (!primary && (desc->bytes < 4 || desc->bytes > (1u << 24))) return DSERR_INVALIDPARAM;
    AudioBuffer *b = new (std::nothrow) AudioBuffer{primary, 0, nullptr};
    if (!b) return DSERR_OUTOFMEMORY;
    if (!primary && !(b->sound = softsound_create(sound, desc->bytes))) {
        delete b;
        return DSERR_OUTOFMEMORY;
    }
    *buffer = b;
    return DS_OK;
}

int32_t softsound_audio_get_caps(const SoftSoundDevice *sound, AudioDevice *device, AudioCaps *caps)
{
    if (!device || device->released) return DSERR_UNINITIALIZED;
    *caps = AudioCaps{0, sound->bytes_per_second, sound->bytes_per_second};
    return DS_OK;
}
