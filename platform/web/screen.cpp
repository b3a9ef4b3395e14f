// The web backend's screen: the mode's 16-bit surface in memory, turned into RGBA once per
// picture at every unlock and put on the page's canvas, which the page scales to 4:3 between
// black borders, pixel for pixel (nearest neighbour).
//
// Environment (the page's URL sets it): FILMO_PIXEL_FORMAT=555 (a 5-5-5 screen instead of
// 5-6-5), FILMO_MODE=640x480 (the 320x200 mode is refused), FILMO_TRACE (one entry a picture in
// the page's trace: microseconds and sound play position).
#include "platform/screen.h"
#include "platform/memscreen.h"
#include "platform/web/web.h"

#include <cstdlib>
#include <cstring>
#include <emscripten/emscripten.h>
#include <vector>

namespace
{

ScreenSurface *primary;
int32_t mode_width, mode_height, mode_set;
// The picture as the canvas takes it: R, G, B, A bytes, rows top to bottom.
std::vector<uint8_t> rgba;

bool env_is(const char *name, const char *value)
{
    const char *v = std::getenv(name);
    return v && !std::strcmp(v, value);
}

// A 5- or 6-bit channel widened to 8 bits, its top bits repeated below.
uint8_t widen(uint32_t value, int32_t bits)
{
    return static_cast<uint8_t>(value << (8 - bits) | value >> (2 * bits - 8));
}

void convert(const ScreenSurface *s)
{
    const int32_t green_bits = memscreen_rgb555() ? 5 : 6;
    const int32_t red_shift = memscreen_rgb555() ? 10 : 11;
    rgba.resize(static_cast<size_t>(s->width) * s->height * 4);
    uint8_t *out = rgba.data();
    for (int32_t y = 0; y < s->height; y++) {
        const uint8_t *line = s->memory.data() + static_cast<size_t>(y) * s->pitch;
        for (int32_t x = 0; x < s->width; x++, out += 4) {
            uint32_t p = static_cast<uint32_t>(line[2 * x] | line[2 * x + 1] << 8);
            out[0] = widen(p >> red_shift & 31, 5);
            out[1] = widen(p >> 5 & ((1u << green_bits) - 1), green_bits);
            out[2] = widen(p & 31, 5);
            out[3] = 255;
        }
    }
}

} // namespace

int32_t screen_create(ScreenDevice **device)
{
    static ScreenDevice devices[8];
    static int32_t next;
    ScreenDevice *d = &devices[next++ % 8];
    *d = ScreenDevice{0, 0};
    *device = d;
    return DD_OK;
}

int32_t screen_set_cooperative_level(ScreenDevice *device, Window *window, uint32_t flags)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!window || !(flags & DDSCL_EXCLUSIVE)) return DDERR_INVALIDPARAMS;
    device->cooperative = 1;
    return DD_OK;
}

int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!device->cooperative) return DDERR_NOEXCLUSIVEMODE;
    if (bits != 16 || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return DDERR_INVALIDMODE;
    if (env_is("FILMO_MODE", "640x480") && (width != 640 || height != 480))
        return DDERR_UNSUPPORTEDMODE;
    MAIN_THREAD_EM_ASM({ Module.web.playerMode($0, $1); }, width, height);
    mode_width = width;
    mode_height = height;
    mode_set = 1;
    return DD_OK;
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    *surface = nullptr;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!mode_set) return DDERR_NOEXCLUSIVEMODE;
    // Kept until the program ends: a release racing with a lock on another thread never frees
    // memory under it.
    static ScreenSurface surfaces[4];
    static int32_t next;
    ScreenSurface *s = &surfaces[next++ % 4];
    s->released = 0;
    s->locked = 0;
    s->width = mode_width;
    s->height = mode_height;
    s->pitch = mode_width * 2;
    s->memory.assign(static_cast<size_t>(s->pitch) * s->height, 0);
    primary = s;
    *surface = s;
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    convert(surface);
    // The page copies the picture before this returns: the buffer is free again after it.
    MAIN_THREAD_EM_ASM({ Module.web.playerPicture($0, $1, $2, $3, $4); }, rgba.data(),
                       surface->width, surface->height, static_cast<double>(web_now_us()),
                       web_sound_cursor());
    return DD_OK;
}

int32_t screen_restore_desktop(ScreenDevice *device)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    // Any thread (the fatal-error report runs on the audio thread): the page leaves its full
    // screen, so that the box shown next is seen.
    MAIN_THREAD_EM_ASM({ Module.web.playerLeaveScreen(); });
    return DD_OK;
}

void screen_release(ScreenDevice *device)
{
    if (device) device->released = 1;
}
