// Sound over DirectSound: the device, its primary buffer and looping secondary buffers whose
// play cursor is the device's own. Results are turned back into the layer's names one to one.
#include "platform/win32/win32.h"

#include <mmsystem.h>

#include <dsound.h>

// The results the sound passes on, read twice as the display's are: while the system's macros
// stand it gives their numbers, below the layer's header the layer's names.
#define SOUND_RESULTS                                                                              \
    DSERR_ALLOCATED, DSERR_BADFORMAT, DSERR_BUFFERLOST, DSERR_GENERIC, DSERR_INVALIDCALL,          \
        DSERR_INVALIDPARAM, DSERR_NOAGGREGATION, DSERR_NODRIVER, DSERR_OUTOFMEMORY,                \
        DSERR_PRIOLEVELNEEDED, DSERR_UNINITIALIZED, DSERR_UNSUPPORTED, DSERR_CONTROLUNAVAIL

namespace ds
{
constexpr HRESULT results[] = {SOUND_RESULTS};
} // namespace ds

#undef DS_OK
#undef DSERR_ALLOCATED
#undef DSERR_BADFORMAT
#undef DSERR_BUFFERLOST
#undef DSERR_GENERIC
#undef DSERR_INVALIDCALL
#undef DSERR_INVALIDPARAM
#undef DSERR_NOAGGREGATION
#undef DSERR_NODRIVER
#undef DSERR_OUTOFMEMORY
#undef DSERR_PRIOLEVELNEEDED
#undef DSERR_UNINITIALIZED
#undef DSERR_UNSUPPORTED
#undef DSERR_CONTROLUNAVAIL
#undef DSBCAPS_PRIMARYBUFFER
#undef DSBCAPS_CTRLFREQUENCY
#undef DSBCAPS_CTRLPAN
#undef DSBCAPS_CTRLVOLUME
#undef DSSCL_EXCLUSIVE
#undef DSBPLAY_LOOPING

#include "platform/audio.h"

// The layer's flags are the system's numbers.
static_assert(DSBCAPS_PRIMARYBUFFER == 0x01 && DSBCAPS_CTRLFREQUENCY == 0x20 &&
                  DSBCAPS_CTRLPAN == 0x40 && DSBCAPS_CTRLVOLUME == 0x80,
              "buffer flags");
static_assert(DSSCL_EXCLUSIVE == 3 && DSBPLAY_LOOPING == 1, "level and play flags");

namespace
{

// The looping buffer that plays now, for the display's trace; it goes away on the audio
// thread while the main thread may ask for its cursor.
Win32Lock &trace_lock()
{
    static Win32Lock lock;
    return lock;
}
IDirectSoundBuffer *traced_buffer;

int32_t result_of(HRESULT r)
{
    static const int32_t names[] = {SOUND_RESULTS};
    return win32_result_name(r, ds::results, names, DS_OK, DSERR_GENERIC);
}

IDirectSound *device_of(AudioDevice *device)
{
    return reinterpret_cast<IDirectSound *>(device);
}

IDirectSoundBuffer *buffer_of(AudioBuffer *buffer)
{
    return reinterpret_cast<IDirectSoundBuffer *>(buffer);
}

WAVEFORMATEX wave_format(const AudioFormat *format)
{
    WAVEFORMATEX wave = {};
    wave.wFormatTag = format->format_tag;
    wave.nChannels = format->channels;
    wave.nSamplesPerSec = format->samples_per_sec;
    wave.nAvgBytesPerSec = format->avg_bytes_per_sec;
    wave.nBlockAlign = format->block_align;
    wave.wBitsPerSample = format->bits_per_sample;
    wave.cbSize = format->extra_size;
    return wave;
}

} // namespace

int32_t audio_create(AudioDevice **device)
{
    IDirectSound *sound = nullptr;
    HRESULT r = DirectSoundCreate(nullptr, &sound, nullptr);
    *device = SUCCEEDED(r) ? reinterpret_cast<AudioDevice *>(sound) : nullptr;
    return result_of(r);
}

int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    *buffer = nullptr;
    WAVEFORMATEX wave = {};
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = desc->flags;
    description.dwBufferBytes = desc->bytes;
    if (desc->format) {
        wave = wave_format(desc->format);
        description.lpwfxFormat = &wave;
    }
    IDirectSoundBuffer *made = nullptr;
    HRESULT r = device_of(device)->CreateSoundBuffer(&description, &made, nullptr);
    if (SUCCEEDED(r)) *buffer = reinterpret_cast<AudioBuffer *>(made);
    return result_of(r);
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    DSCAPS system = {};
    system.dwSize = sizeof system;
    HRESULT r = device_of(device)->GetCaps(&system);
    if (FAILED(r)) return result_of(r);
    caps->flags = system.dwFlags;
    caps->min_rate = system.dwMinSecondarySampleRate;
    caps->max_rate = system.dwMaxSecondarySampleRate;
    return DS_OK;
}

int32_t audio_set_cooperative_level(AudioDevice *device, Window *window, uint32_t level)
{
    return result_of(device_of(device)->SetCooperativeLevel(reinterpret_cast<HWND>(window), level));
}

int32_t audio_set_format(AudioBuffer *buffer, const AudioFormat *format)
{
    WAVEFORMATEX wave = wave_format(format);
    return result_of(buffer_of(buffer)->SetFormat(&wave));
}

int32_t audio_lock(AudioBuffer *buffer, uint32_t offset, uint32_t bytes, void **part1,
                   uint32_t *bytes1, void **part2, uint32_t *bytes2, uint32_t flags)
{
    DWORD size1 = 0, size2 = 0;
    void *second = nullptr;
    HRESULT r = buffer_of(buffer)->Lock(offset, bytes, part1, &size1, part2 ? part2 : &second,
                                        &size2, flags);
    if (FAILED(r)) return result_of(r);
    *bytes1 = size1;
    if (bytes2) *bytes2 = size2;
    return DS_OK;
}

int32_t audio_unlock(AudioBuffer *buffer, void *part1, uint32_t bytes1, void *part2,
                     uint32_t bytes2)
{
    return result_of(buffer_of(buffer)->Unlock(part1, bytes1, part2, bytes2));
}

int32_t audio_play(AudioBuffer *buffer, uint32_t flags)
{
    HRESULT r = buffer_of(buffer)->Play(0, 0, flags);
    if (SUCCEEDED(r) && (flags & DSBPLAY_LOOPING)) {
        Win32Guard g(trace_lock());
        traced_buffer = buffer_of(buffer);
    }
    return result_of(r);
}

int32_t audio_stop(AudioBuffer *buffer)
{
    return result_of(buffer_of(buffer)->Stop());
}

int32_t audio_get_position(AudioBuffer *buffer, uint32_t *play_cursor, uint32_t *write_cursor)
{
    DWORD play = 0, write = 0;
    HRESULT r = buffer_of(buffer)->GetCurrentPosition(&play, &write);
    if (FAILED(r)) return result_of(r);
    if (play_cursor) *play_cursor = play;
    if (write_cursor) *write_cursor = write;
    return DS_OK;
}

void audio_release_buffer(AudioBuffer *buffer)
{
    if (!buffer) return;
    {
        Win32Guard g(trace_lock());
        if (traced_buffer == buffer_of(buffer)) traced_buffer = nullptr;
    }
    buffer_of(buffer)->Release();
}

bool win32_audio_play_cursor(uint32_t *cursor)
{
    Win32Guard g(trace_lock());
    DWORD play = 0, status = 0;
    bool playing = traced_buffer && SUCCEEDED(traced_buffer->GetStatus(&status)) &&
                   (status & DSBSTATUS_PLAYING) &&
                   SUCCEEDED(traced_buffer->GetCurrentPosition(&play, nullptr));
    *cursor = play;
    return playing;
}

void audio_release(AudioDevice *device)
{
    if (device) device_of(device)->Release();
}
