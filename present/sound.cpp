#include "present/sound.h"

#include "platform/audio.h"
#include "present/owner.h"

#include <cstring>

struct SoundBufferEntry {
    AudioBuffer *buffer;
    void *lock_address; // written by every lock
    uint32_t size;      // requested at creation; every lock stores the locked byte count
};

static AudioDevice *sound_device;
static AudioBuffer *sound_primary;
// The streaming buffer: made and released on the main thread while the audio thread is not
// running, used by the audio thread in between.
static SoundBufferEntry sound_stream;

static const AudioFormat sound_format = {1, 1, 22050, 22050, 1, 8, 0};

static int32_t code_in(int32_t result, const int32_t *results, int32_t count, int32_t other)
{
    for (int32_t n = 0; n < count; n++)
        if (results[n] == result) return n + 1;
    return other;
}

int32_t sound_create_code(int32_t result)
{
    static const int32_t r[] = {DSERR_ALLOCATED, DSERR_INVALIDPARAM, DSERR_NOAGGREGATION,
                                DSERR_NODRIVER, DSERR_OUTOFMEMORY};
    return code_in(result, r, 5, 255);
}

int32_t sound_buffer_code(int32_t result)
{
    static const int32_t r[] = {DSERR_ALLOCATED,     DSERR_BADFORMAT,   DSERR_INVALIDPARAM,
                                DSERR_NOAGGREGATION, DSERR_OUTOFMEMORY, DSERR_UNINITIALIZED,
                                DSERR_UNSUPPORTED};
    return code_in(result, r, 7, 255);
}

int32_t sound_caps_code(int32_t result)
{
    static const int32_t r[] = {DSERR_GENERIC, DSERR_INVALIDPARAM, DSERR_UNINITIALIZED};
    return code_in(result, r, 3, 255);
}

int32_t sound_cooperative_code(int32_t result)
{
    static const int32_t r[] = {DSERR_ALLOCATED, DSERR_INVALIDPARAM, DSERR_UNINITIALIZED,
                                DSERR_UNSUPPORTED};
    return code_in(result, r, 4, 255);
}

static const int32_t buffer_call_results[] = {DSERR_BUFFERLOST, DSERR_INVALIDCALL,
                                              DSERR_INVALIDPARAM, DSERR_PRIOLEVELNEEDED};

int32_t sound_lock_code(int32_t result)
{
    return code_in(result, buffer_call_results, 4, 5);
}

int32_t sound_unlock_code(int32_t result)
{
    return code_in(result, buffer_call_results, 4, 255);
}

int32_t sound_init()
{
    int32_t r = audio_create(&sound_device);
    if (r != DS_OK) owner_fatal("SoundErrorA: %d", sound_create_code(r));
    AudioBufferDesc primary{DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME, 0,
                            nullptr};
    r = audio_create_buffer(sound_device, &primary, &sound_primary);
    if (r != DS_OK) owner_fatal("Init CreateSoundBuffer: %d", sound_buffer_code(r));
    AudioCaps caps{}; // asked for as a test of the device; nothing reads it
    r = audio_get_caps(sound_device, &caps);
    if (r != DS_OK) owner_fatal("GetCaps Error: %d", sound_caps_code(r));
    r = audio_set_cooperative_level(sound_device, owner_window(), DSSCL_EXCLUSIVE);
    if (r != DS_OK) owner_fatal("Init: SetCooperativeLevel: %d", sound_cooperative_code(r));
    audio_set_format(sound_primary, &sound_format); // the device may keep its own format
    return 1;
}

int32_t sound_create_buffer(int32_t size)
{
    SoundBufferEntry *e = &sound_stream;
    if (size <= 0) return 0;
    e->size = (uint32_t)size;
    AudioBufferDesc desc{DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME,
                         (uint32_t)size, &sound_format};
    int32_t r = audio_create_buffer(sound_device, &desc, &e->buffer);
    if (r != DS_OK) owner_fatal("Class Sound: CreateSoundBuffer: %d", sound_buffer_code(r));
    r = audio_lock(e->buffer, 0, e->size, &e->lock_address, &e->size, nullptr, nullptr, 0);
    if (r != DS_OK) owner_fatal("Soundlock: %d", sound_lock_code(r));
    r = audio_unlock(e->buffer, e->lock_address, e->size, nullptr, 0);
    if (r != DS_OK) owner_fatal("Cant unlock soundbuffer: %d", sound_unlock_code(r));
    return 1;
}

void sound_write(const uint8_t *source, int32_t offset, int32_t count)
{
    SoundBufferEntry *e = &sound_stream;
    if (!e->buffer) return;
    int32_t r = audio_lock(e->buffer, 0, e->size, &e->lock_address, &e->size, nullptr, nullptr, 0);
    if (r != DS_OK) owner_fatal("Soundlock: %d", sound_lock_code(r));
    if (offset >= 0 && count > 0 && (uint32_t)offset < e->size && e->lock_address) {
        uint32_t n = (uint32_t)count;
        if (n > e->size - (uint32_t)offset) n = e->size - (uint32_t)offset;
        memcpy((uint8_t *)e->lock_address + offset, source, n);
    }
    r = audio_unlock(e->buffer, e->lock_address, e->size, nullptr, 0);
    if (r != DS_OK) owner_fatal("Cant unlock soundbuffer: %d", sound_unlock_code(r));
}

// The cursors stay local to the call, so that a query on one thread never reads another
// thread's answer.
static uint32_t position_of(SoundBufferEntry *e)
{
    uint32_t play = 0, write = 0;
    if (audio_get_position(e->buffer, &play, &write) != DS_OK)
        owner_fatal("Cant get sound position");
    return play;
}

void sound_play(uint8_t loop)
{
    SoundBufferEntry *e = &sound_stream;
    if (!e->buffer) return;
    if (position_of(e) != 0) return;
    int32_t r = audio_play(e->buffer, loop == 1 ? DSBPLAY_LOOPING : 0);
    if (r != DS_OK) owner_fatal("Cant play sound: %d", sound_unlock_code(r));
}

uint32_t sound_play_position()
{
    SoundBufferEntry *e = &sound_stream;
    if (!e->buffer) return 0;
    return position_of(e);
}

void sound_stop()
{
    SoundBufferEntry *e = &sound_stream;
    if (!e->buffer) return;
    if (position_of(e) == 0) return;
    audio_stop(e->buffer);
}

void sound_release_buffer()
{
    SoundBufferEntry *e = &sound_stream;
    if (!e->buffer) return;
    audio_release_buffer(e->buffer);
    e->buffer = nullptr;
}

void sound_shutdown()
{
    if (sound_device) audio_release(sound_device);
    sound_device = nullptr;
    sound_primary = nullptr;
}
