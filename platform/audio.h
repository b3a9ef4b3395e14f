// The sound service: a device with a primary buffer and looping secondary buffers of 8-bit
// mono sound whose play cursor can be read at any time. Results carry the names of the original
// sound interface's documented results, so the sound code keeps its error code tables.
#pragma once

#include <cstdint>

struct Window;
struct AudioDevice;
struct AudioBuffer;

enum AudioResult : int32_t {
    DS_OK = 0,
    DSERR_ALLOCATED = -101,
    DSERR_BADFORMAT = -102,
    DSERR_BUFFERLOST = -103,
    DSERR_GENERIC = -104,
    DSERR_INVALIDCALL = -105,
    DSERR_INVALIDPARAM = -106,
    DSERR_NOAGGREGATION = -107,
    DSERR_NODRIVER = -108,
    DSERR_OUTOFMEMORY = -109,
    DSERR_PRIOLEVELNEEDED = -110,
    DSERR_UNINITIALIZED = -111,
    DSERR_UNSUPPORTED = -112,
    DSERR_CONTROLUNAVAIL = -113,
};

// Buffer description flags.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x01;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
// Cooperative level.
constexpr uint32_t DSSCL_EXCLUSIVE = 3;
// Play flags.
constexpr uint32_t DSBPLAY_LOOPING = 1;

struct AudioFormat {
    uint16_t format_tag; // 1: PCM
    uint16_t channels;
    uint32_t samples_per_sec;
    uint32_t avg_bytes_per_sec;
    uint16_t block_align;
    uint16_t bits_per_sample;
    uint16_t extra_size;
};

struct AudioBufferDesc {
    uint32_t flags;
    uint32_t bytes;            // 0 for the primary buffer
    const AudioFormat *format; // null for the primary buffer
};

struct AudioCaps {
    uint32_t flags;
    uint32_t min_rate;
    uint32_t max_rate;
};

int32_t audio_create(AudioDevice **device);
int32_t audio_create_buffer(AudioDevice *device, const AudioBufferDesc *desc, AudioBuffer **buffer);
int32_t audio_get_caps(AudioDevice *device, AudioCaps *caps);
int32_t audio_set_cooperative_level(AudioDevice *device, Window *window, uint32_t level);
int32_t audio_set_format(AudioBuffer *buffer, const AudioFormat *format);
// Locks bytes from offset on; a region that passes the end continues at the start as the
// second part. Writing is allowed while the buffer plays.
int32_t audio_lock(AudioBuffer *buffer, uint32_t offset, uint32_t bytes, void **part1,
                   uint32_t *bytes1, void **part2, uint32_t *bytes2, uint32_t flags);
int32_t audio_unlock(AudioBuffer *buffer, void *part1, uint32_t bytes1, void *part2,
                     uint32_t bytes2);
// Plays from the play cursor; DSBPLAY_LOOPING wraps at the end, else it stops there.
int32_t audio_play(AudioBuffer *buffer, uint32_t flags);
// Stops; the play cursor stays where it was.
int32_t audio_stop(AudioBuffer *buffer);
int32_t audio_get_position(AudioBuffer *buffer, uint32_t *play_cursor, uint32_t *write_cursor);
void audio_release_buffer(AudioBuffer *buffer);
// Releases the device and its primary buffer.
void audio_release(AudioDevice *device);
