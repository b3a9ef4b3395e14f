// The sound service's devices and buffers where the buffers are the shared soft buffer
// (platform/softsound) and a device of the backend's plays the one started last: what the
// backends that work so (SDL, the web) do alike is here once.
#pragma once

#include "platform/softsound.h"

#include <cstdint>

struct AudioDevice {
    int32_t released;
    uint32_t id; // the backend's own number for its device, where it has one
};

struct AudioBuffer {
    int32_t primary;
    int32_t released;
    SoftSound *sound; // null for the primary buffer
};

struct AudioBufferDesc;
struct AudioCaps;

// Creating a buffer and the device's caps, for a device that plays 8-bit mono at the sound
// device's rate (its bytes a second); a backend's audio_create_buffer and audio_get_caps hand
// over to these with its own soft sound device.
int32_t softsound_audio_create_buffer(const SoftSoundDevice *sound, AudioDevice *device,
                                      const AudioBufferDesc *desc, AudioBuffer **buffer);
int32_t softsound_audio_get_caps(const SoftSoundDevice *sound, AudioDevice *device,
                                 AudioCaps *caps);
