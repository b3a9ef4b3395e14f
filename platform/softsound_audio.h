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
