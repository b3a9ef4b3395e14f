// The lockable screen in memory that the SDL and web backends show at each unlock: what they do
// alike with its surfaces.
#include "platform/memscreen.h"
#include "platform/screen.h"

#include <cstdlib>
#include <cstring>

int32_t memscreen_rgb555()
{
    const char *v = std::getenv("FILMO_PIXEL_FORMAT");
    return v && !std::strcmp(v, "555");
}

int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format)
{
    if (!surface || surface->released) return DDERR_INVALIDOBJECT;
    *format = memscreen_rgb555() ? ScreenPixelFormat{16, 0x7C00, 0x03E0, 0x001F}
                                 : ScreenPixelFormat{16, 0xF800, 0x07E0, 0x001F};
    return DD_OK;
}

int32_t screen_lock(ScreenSurface *surface, uint32_t, void **pixels, int32_t *pitch)
{
    *pixels = nullptr;
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (surface->locked) return DDERR_SURFACEBUSY;
    surface->locked = 1;
    *pixels = surface->memory.data();
    *pitch = surface->pitch;
    return DD_OK;
}

int32_t screen_restore(ScreenSurface *surface)
{
    return surface && !surface->released ? DD_OK : DDERR_SURFACELOST;
}

void screen_release_surface(ScreenSurface *surface)
{
    if (surface) surface->released = 1;
}

ScreenSurface *memscreen_next_primary(int32_t width, int32_t height)
{
    static ScreenSurface surfaces[4];
    static int32_t next;
    ScreenSurface *s = &surfaces[next++ % 4];
    s->released = 0;
    s->locked = 0;
    s->width = width;
    s->height = height;
    s->pitch = width * 2;
    s->memory.assign(static_cast<size_t>(s->pitch) * static_cast<size_t>(s->height), 0);
    return s;
}
