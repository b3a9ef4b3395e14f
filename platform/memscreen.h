// The records of a screen kept in memory, for the backends that emulate the lockable screen: a
// device and its surfaces, whose pixels stay between locks as on the real screen.
#pragma once

#include <cstdint>
#include <vector>

struct ScreenDevice {
    int32_t released;
    int32_t cooperative;
};

// FILMO_PIXEL_FORMAT=555: the screen is 5-5-5 instead of 5-6-5.
int32_t memscreen_rgb555();

struct ScreenSurface {
    int32_t released;
    int32_t locked;
    int32_t width, height, pitch;
    std::vector<uint8_t> memory;
};

// The next primary surface of a width x height 16-bit mode. The four records are kept until
// the program ends and taken in turn: a release racing with a lock on another thread never
// frees memory under it.
ScreenSurface *memscreen_next_primary(int32_t width, int32_t height);
