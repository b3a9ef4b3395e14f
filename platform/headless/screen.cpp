// The headless screen: a surface in memory whose every present is recorded with its hash.
#include "platform/headless/internal.h"

#include "platform/screen.h"

#include <cstddef>

namespace headless_backend
{

std::vector<std::unique_ptr<ScreenDevice>> hl_devices;
std::vector<std::unique_ptr<ScreenSurface>> hl_surfaces;
ScreenSurface *hl_primary;
int32_t hl_mode_width, hl_mode_height;
int32_t hl_desktop = 1;
int32_t hl_restores;
int32_t hl_lost;

} // namespace headless_backend

using namespace headless_backend;

namespace
{

uint64_t screen_hash(const ScreenSurface *s)
{
    uint64_t h = 1469598103934665603ull;
    for (int32_t y = 0; y < s->height; y++) {
        const uint8_t *line = s->memory.data() + (ptrdiff_t)y * s->pitch;
        for (int32_t x = 0; x < s->width * 2; x++)
            h = (h ^ line[x]) * 1099511628211ull;
    }
    return h;
}

} // namespace

int32_t screen_create(ScreenDevice **device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *device = nullptr;
    if (int32_t r = hl_injected(HC_SCREEN_CREATE)) return r;
    hl_devices.push_back(std::make_unique<ScreenDevice>(ScreenDevice{0, 0}));
    *device = hl_devices.back().get();
    return DD_OK;
}

int32_t screen_set_cooperative_level(ScreenDevice *device, Window *window, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_SCREEN_COOPERATIVE)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    device->cooperative = (flags & DDSCL_EXCLUSIVE) && window;
    return device->cooperative ? DD_OK : DDERR_INVALIDPARAMS;
}

int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_SCREEN_SET_MODE)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!device->cooperative) return DDERR_NOEXCLUSIVEMODE;
    if (bits != 16 || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return DDERR_INVALIDMODE;
    hl_mode_width = width;
    hl_mode_height = height;
    hl_desktop = 0;
    return DD_OK;
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *surface = nullptr;
    if (int32_t r = hl_injected(HC_SCREEN_CREATE_PRIMARY)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (hl_desktop) return DDERR_NOEXCLUSIVEMODE;
    if (hl_primary && !hl_primary->released) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    auto s = std::make_unique<ScreenSurface>();
    s->width = hl_mode_width;
    s->height = hl_mode_height;
    s->pitch = hl_mode_width * 2 + hl_config.pitch_extra;
    // Video memory holds whatever was there before: not black until the player clears it.
    s->memory.assign((size_t)s->pitch * (size_t)s->height, 0xA5);
    hl_surfaces.push_back(std::move(s));
    hl_primary = hl_surfaces.back().get();
    hl_lost = 0;
    *surface = hl_primary;
    return DD_OK;
}

int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_SCREEN_PIXEL_FORMAT)) return r;
    if (!surface || surface->released) return DDERR_INVALIDOBJECT;
    *format = ScreenPixelFormat{16, hl_config.red_mask, hl_config.green_mask, hl_config.blue_mask};
    return DD_OK;
}

int32_t screen_lock(ScreenSurface *surface, uint32_t /*flags*/, void **pixels, int32_t *pitch)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    *pixels = nullptr;
    if (int32_t r = hl_injected(HC_SCREEN_LOCK)) return r;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (surface->locked) return DDERR_SURFACEBUSY;
    if (hl_lost) return DDERR_SURFACELOST;
    surface->locked = 1;
    *pitch = surface->pitch;
    if (!hl_injected(HC_SCREEN_LOCK_NULL)) *pixels = surface->memory.data();
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    hl_call_delay(HC_SCREEN_UNLOCK);
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_SCREEN_UNLOCK)) return r;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    uint64_t now = hl_now_us();
    HeadlessPresent p{};
    p.index = (int32_t)hl_presents.size();
    p.time_us = now;
    p.play_cursor = hl_playing_cursor();
    p.hash = screen_hash(surface);
    p.first_pixel = (uint16_t)(surface->memory[0] | surface->memory[1] << 8);
    hl_presents.push_back(p);
    return DD_OK;
}

int32_t screen_restore(ScreenSurface *surface)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_SCREEN_RESTORE)) return r;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!hl_active) return DDERR_SURFACELOST;
    hl_restores++;
    hl_lost = 0;
    return DD_OK;
}

int32_t screen_restore_desktop(ScreenDevice *device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (int32_t r = hl_injected(HC_SCREEN_RESTORE_DESKTOP)) return r;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    hl_desktop = 1;
    return DD_OK;
}

void screen_release_surface(ScreenSurface *surface)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (surface) surface->released = 1;
}

void screen_release(ScreenDevice *device)
{
    std::lock_guard<std::mutex> lock(hl_mutex);
    if (device) device->released = 1;
}
