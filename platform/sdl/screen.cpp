// The SDL backend's screen: the mode's 16-bit surface in memory, shown at every unlock scaled
// to 4:3 with black borders.
//
// Where the machine renders in hardware, a renderer scales the picture. Elsewhere the picture is
// scaled once per unlock into the window's own pixels, which costs a fraction of what a software
// rasteriser (and the memory it is loaded into) would.
//
// Environment: FILMO_WINDOWED=1 (a window instead of the full screen), FILMO_PIXEL_FORMAT=555
// (a 5-5-5 picture instead of 5-6-5), FILMO_MODE=640x480 (the 320x200 mode is refused).
#include "platform/screen.h"
#include "platform/memscreen.h"
#include "platform/sdl/scale.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/sdl/x11.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <vector>

namespace
{

// The renderer's way.
SDL_Renderer *sdl_renderer;
SDL_Texture *sdl_texture;
// The window's pixels' way: the surface last drawn on and whether all of it must be drawn.
int32_t sdl_mode_set;
SDL_Surface *sdl_drawn;
int32_t sdl_drawn_w, sdl_drawn_h;
int32_t sdl_redraw_all = 1;
ScaleTable sdl_scale;

ScreenSurface *sdl_primary;
int32_t sdl_mode_width, sdl_mode_height;

int32_t rgb555()
{
    return memscreen_rgb555();
}

// The full-screen request is the window manager's to carry out; where there is none (a bare X
// server, a kiosk session) the window would stay at its first size. Placed and sized over the
// display first, borderless, it covers the screen either way.
void cover_display(SDL_Window *w)
{
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(w), 0), &bounds) != 0) return;
    SDL_SetWindowBordered(w, SDL_FALSE);
    SDL_SetWindowPosition(w, bounds.x, bounds.y);
    SDL_SetWindowSize(w, bounds.w, bounds.h);
}

// A render node: a graphics card whose renderer rasterises in hardware.
bool render_node()
{
    DIR *d = opendir("/dev/dri");
    if (!d) return false;
    bool found = false;
    while (dirent *e = readdir(d))
        if (!strncmp(e->d_name, "renderD", 7)) found = true;
    closedir(d);
    return found;
}

// A renderer where one was asked for by name (SDL_RENDER_DRIVER) or where the display has a
// graphics card; SDL's off-screen and dummy drivers have none to use.
bool want_renderer()
{
    if (getenv("SDL_RENDER_DRIVER")) return true;
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || !strcmp(driver, "offscreen") || !strcmp(driver, "dummy")) return false;
    return render_node();
}

// The renderer's GL draws in software after all (no driver for the card): the window's pixels
// are cheaper.
bool software_gl(SDL_Renderer *renderer)
{
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || strncmp(info.name, "opengl", 6) != 0)
        return false;
    using GetString = const unsigned char *(*)(unsigned int);
    auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const char *name = get_string ? (const char *)get_string(0x1F01 /* GL_RENDERER */) : nullptr;
    return name && (strstr(name, "llvmpipe") || strstr(name, "softpipe") ||
                    strstr(name, "swrast") || strstr(name, "Software"));
}

// Main thread: the picture onto the window's pixels; borders too when the surface is new or
// the window was uncovered.
void draw_on_window(SDL_Window *w, const ScreenSurface *picture)
{
    SDL_Surface *ws = SDL_GetWindowSurface(w);
    if (!ws) return;
    if (ws != sdl_drawn || ws->w != sdl_drawn_w || ws->h != sdl_drawn_h) {
        sdl_drawn = ws;
        sdl_drawn_w = ws->w;
        sdl_drawn_h = ws->h;
        sdl_scale.bytes = 0;
        sdl_redraw_all = 1;
        const SDL_PixelFormat *f = ws->format;
        scale_table(&sdl_scale, rgb555(), f->BytesPerPixel, f->Rmask, f->Gmask, f->Bmask);
    }
    ScaleRect r = scale_fit(ws->w, ws->h);
    SDL_Rect dst{r.x, r.y, r.w, r.h};
    if (SDL_MUSTLOCK(ws) && SDL_LockSurface(ws) != 0) return;
    if (sdl_redraw_all) SDL_FillRect(ws, nullptr, SDL_MapRGB(ws->format, 0, 0, 0));
    if (sdl_scale.bytes) {
        scale_picture(&sdl_scale, picture->memory.data(), picture->width, picture->height,
                      picture->pitch, (uint8_t *)ws->pixels, ws->pitch, r);
    } else {
        // A window of another pixel size: SDL converts and scales.
        SDL_Surface *from = SDL_CreateRGBSurfaceWithFormatFrom(
            (void *)picture->memory.data(), picture->width, picture->height, 16, picture->pitch,
            rgb555() ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565);
        if (from) {
            SDL_BlitScaled(from, nullptr, ws, &dst);
            SDL_FreeSurface(from);
        }
    }
    if (SDL_MUSTLOCK(ws)) SDL_UnlockSurface(ws);
    if (sdl_redraw_all)
        SDL_UpdateWindowSurface(w);
    else
        SDL_UpdateWindowSurfaceRects(w, &dst, 1);
    sdl_redraw_all = 0;
}

void draw_with_renderer(const ScreenSurface *surface)
{
    SDL_UpdateTexture(sdl_texture, nullptr, surface->memory.data(), surface->pitch);
    SDL_SetRenderDrawColor(sdl_renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl_renderer);
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(sdl_renderer, &ow, &oh);
    ScaleRect r = scale_fit(ow, oh);
    SDL_Rect dst{r.x, r.y, r.w, r.h};
    SDL_RenderCopy(sdl_renderer, sdl_texture, nullptr, &dst);
    SDL_RenderPresent(sdl_renderer);
}

} // namespace

void sdl_screen_exposed()
{
    sdl_redraw_all = 1;
}

void sdl_release_video_objects()
{
    sdl_mode_set = 0;
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
    }
    sdl_mode_set = 0;
    if (want_renderer()) {
        sdl_renderer = SDL_CreateRenderer(w, -1, 0); // no vsync: a present must not wait a frame
        if (sdl_renderer && !getenv("SDL_RENDER_DRIVER") && software_gl(sdl_renderer))
            sdl_release_video_objects();
    }
    // The window's own pixels without a renderer in between: SDL would otherwise put one there.
    if (!sdl_renderer) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (!sdl_env_is("FILMO_WINDOWED", "1")) {
        // After the renderer, which may have made the window anew.
        cover_display(w);
        // Where no window manager could carry out the request, SDL would only wait for it (a
        // tenth of a second when the window is shown); the window covers the display already.
        if (x11_window_manager(w) != 0 &&
            SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            sdl_release_video_objects();
            return DDERR_UNSUPPORTEDMODE;
        }
    }
    if (sdl_renderer) {
        sdl_texture = SDL_CreateTexture(sdl_renderer,
                                        rgb555() ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565,
                                        SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!sdl_texture) {
            sdl_release_video_objects();
            return DDERR_UNSUPPORTEDMODE;
        }
    } else if (!SDL_GetWindowSurface(w)) {
        return DDERR_NODIRECTDRAWHW;
    }
    sdl_redraw_all = 1;
    sdl_mode_set = 1;
    sdl_mode_width = width;
    sdl_mode_height = height;
    return DD_OK;
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    *surface = nullptr;
    if (!device || device->released) return DDERR_INVALIDOBJECT;
    if (!sdl_mode_set) return DDERR_NOEXCLUSIVEMODE;
    ScreenSurface *s = memscreen_next_primary(sdl_mode_width, sdl_mode_height);
    sdl_primary = s;
    *surface = s;
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    if (sdl_trace)
        fprintf(sdl_trace, "%llu %d\n", (unsigned long long)sdl_now_us(), sdl_sound_cursor());
    if (!sdl_on_main_thread() || !sdl_mode_set || !sdl_window || !sdl_window->sdl) return DD_OK;
    if (sdl_renderer)
        draw_with_renderer(surface);
    else
        draw_on_window(sdl_window->sdl, surface);
    return DD_OK;
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

void screen_release(ScreenDevice *device)
{
    if (!device) return;
    device->released = 1;
    if (sdl_on_main_thread()) sdl_release_video_objects();
}
