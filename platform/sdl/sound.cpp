// The SDL backend's sound: an unsigned 8-bit mono device at 22050 Hz whose callback plays the
// looping buffer that was started last.
#include "platform/audio.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/softsound.h"
#include "platform/softsound_audio.h"

#include <cstring>
#include <mutex>

namespace
{

std::mutex sdl_audio_mutex;
AudioBuffer *sdl_stream; // the buffer the callback plays

uint64_t device_clock(void *)
{
    return sdl_now_us();
}

// The device takes the bytes itself, 256 at a time.
const SoftSoundDevice sdl_sound_device{nullptr, device_clock, nullptr, 22050, 0, nullptr};

void SDLCALL audio_callback(void *, Uint8 *stream, int len)
{
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    uint32_t n = 0;
    if (sdl_stream && !sdl_stream->released)
        n = softsound_pull(sdl_stream->sound, stream, (uint32_t)len);
    memset(stream + n, 0x80, (size_t)len - n);
}

} // namespace

int32_t sdl_sound_cursor()
{
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    return sdl_stream ? softsound_playing_cursor(sdl_stream->sound) : -1;
}

int32_t audio_create(AudioDevice **device)
{
    *device = nullptr;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
    SDL_AudioSpec want{}, have{};
    want.freq = 22050;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = 256; // 12 ms a callback
    want.callback = audio_callback;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) return DSERR_NODRIVER;
    SDL_PauseAudioDevice(id, 0);
    static AudioDevice d;
    d = AudioDevice{0, id};
    *device = &d;
    return DS_OK;
}

int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer)
{
    return softsound_audio_create_buffer(&sdl_sound_device, device, desc, buffer);
}

int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps)
{
    return softsound_audio_get_caps(&sdl_sound_device, device, caps);
}

int32_t audio_play(AudioBuffer *buffer, uint32_t flags)
{
    if (!buffer || buffer->released) return DSERR_BUFFERLOST;
    if (buffer->primary) return DS_OK;
    std::lock_guard<std::mutex> lock(sdl_audio_mutex);
    // The device plays the buffer started last; a buffer already playing keeps its place.
    if (!softsound_playing(buffer->sound)) {
        sdl_stream = buffer;
        // The trace's mark for the first picture of a movie.
        if (sdl_trace) fprintf(sdl_trace, "# play\n");
    }
    softsound_play(buffer->sound, (flags & DSBPLAY_LOOPING) != 0);
    return DS_OK;
}

void audio_release_buffer(AudioBuffer *buffer)
{
    if (!buffer) return;
    {
        // Out of the callback's reach before it goes.
        std::lock_guard<std::mutex> lock(sdl_audio_mutex);
        if (sdl_stream == buffer) sdl_stream = nullptr;
        buffer->released = 1;
    }
    softsound_destroy(buffer->sound);
    delete buffer;
}

void audio_release(AudioDevice *device)
{
    if (!device || device->released) return;
    device->released = 1;
    SDL_CloseAudioDevice(device->id);
}
