// The SDL backend's screen: the mode's 16-bit surface in memory, shown at every unlock scaled
// to 4:3 with black borders.
//
// Environment: FILMO_WINDOWED=1 (a window instead of the full screen), FILMO_PIXEL_FORMAT=555
// (a 5-5-5 picture instead of 5-6-5), FILMO_MODE=640x480 (the 320x200 mode is refused).
#include "platform/screen.h"
#include "platform/sdl/sdl_internal.h"

#include <vector>

struct ScreenDevice {
    int32_t released;
    int32_t cooperative;
};

struct ScreenSurface {
    int32_t released;
    int32_t locked;
    int32_t width, height, pitch;
    std::vector<uint8_t> memory;
};

namespace
{

SDL_Renderer *sdl_renderer;
SDL_Texture *sdl_texture;
ScreenSurface *sdl_primary;
int32_t sdl_mode_width, sdl_mode_height;

int32_t rgb555()
{
    return sdl_env_is("FILMO_PIXEL_FORMAT", "555");
}

} // namespace

void sdl_release_video_objects()
{
    if (sdl_texture) SDL_DestroyTexture(sdl_texture);
    if (sdl_renderer) SDL_DestroyRenderer(sdl_renderer);
    sdl_texture = nullptr;
    sdl_renderer = nullptr;
}

int32_t screen_create(ScreenDevice **device)
{
    *device = nullptr;
    if (!sdl_video || !sdl_window || !sdl_window->sdl) return DDERR_NODIRECTDRAWHW;
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
    if (!window || !window->sdl || !(flags & DDSCL_EXCLUSIVE)) return DDERR_INVALIDPARAMS;
    device->cooperative = 1;
    return DD_OK;
}

int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!device->cooperative) return DDERR_NOEXCLUSIVEMODE;
    if (bits != 16 || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return DDERR_INVALIDMODE;
    if (sdl_env_is("FILMO_MODE", "640x480") && (width != 640 || height != 480))
        return DDERR_UNSUPPORTEDMODE;
    SDL_Window *w = sdl_window->sdl;
    sdl_release_video_objects();
    if (sdl_env_is("FILMO_WINDOWED", "1")) {
        // The mode at 4:3, as large as a monitor of the time showed it.
        SDL_SetWindowSize(w, 640, 480);
    } else if (SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        return DDERR_UNSUPPORTEDMODE;
    }
    sdl_renderer = SDL_CreateRenderer(w, -1, 0); // no vsync: a present must not wait a frame
    if (!sdl_renderer) sdl_renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl_renderer) return DDERR_NODIRECTDRAWHW;
    sdl_texture =
        SDL_CreateTexture(sdl_renderer, rgb555() ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565,
                          SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!sdl_texture) {
        sdl_release_video_objects();
        return DDERR_UNSUPPORTEDMODE;
    }
    sdl_mode_width = width;
    sdl_mode_height = height;
    return DD_OK;
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    *surface = nullptr;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!sdl_texture) return DDERR_NOEXCLUSIVEMODE;
    // Kept until the process ends: a release racing with a lock on another thread never frees
    // memory under it.
    static ScreenSurface surfaces[4];
    static int32_t next;
    ScreenSurface *s = &surfaces[next++ % 4];
    s->released = 0;
    s->locked = 0;
    s->width = sdl_mode_width;
    s->height = sdl_mode_height;
    s->pitch = sdl_mode_width * 2;
    s->memory.assign((size_t)s->pitch * s->height, 0);
    sdl_primary = s;
    *surface = s;
    return DD_OK;
}

int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format)
{
    if (!surface || surface->released) return DDERR_INVALIDOBJECT;
    *format = rgb555() ? ScreenPixelFormat{16, 0x7C00, 0x03E0, 0x001F}
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

int32_t screen_unlock(ScreenSurface *surface)
{
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    if (sdl_trace)
        fprintf(sdl_trace, "%llu %d\n", (unsigned long long)sdl_now_us(), sdl_sound_cursor());
    if (!sdl_on_main_thread() || !sdl_renderer || !sdl_texture) return DD_OK;
    SDL_UpdateTexture(sdl_texture, nullptr, surface->memory.data(), surface->pitch);
    SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl_renderer);
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(sdl_renderer, &ow, &oh);
    // Both modes fill a 4:3 picture, centred with black borders.
    SDL_Rect dst{0, 0, ow, oh};
    if ((int64_t)ow * 3 > (int64_t)oh * 4) {
        dst.w = oh * 4 / 3;
        dst.x = (ow - dst.w) / 2;
    } else {
        dst.h = ow * 3 / 4;
        dst.y = (oh - dst.h) / 2;
    }
    SDL_RenderCopy(sdl_renderer, sdl_texture, nullptr, &dst);
    SDL_RenderPresent(sdl_renderer);
    return DD_OK;
}

int32_t screen_restore(ScreenSurface *surface)
{
    return surface && !surface->released ? DD_OK : DDERR_SURFACELOST;
}

int32_t screen_restore_desktop(ScreenDevice *device)
{
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (sdl_on_main_thread())
        sdl_leave_screen();
    else if (sdl_video)
        sdl_request_desktop();
    return DD_OK;
}

void screen_release_surface(ScreenSurface *surface)
{
    if (surface) surface->released = 1;
}

void screen_release(ScreenDevice *device)
{
    if (!device) return;
    device->released = 1;
    if (sdl_on_main_thread()) sdl_release_video_objects();
}
