#include "present/display.h"

#include "platform/clock.h"
#include "platform/screen.h"
#include "present/owner.h"

#include <atomic>
#include <cstddef>
#include <cstring>

ScreenDesc screen_desc;
int32_t display_rgb565;
uint8_t *display_offscreen;
uint32_t *display_colour_table;

static int32_t mode_width = 640;
static int32_t mode_height = 480;
static int32_t mode_bytes_per_pixel = 2;
static int32_t mode_frame_bytes = 640 * 480 * 2;

// The fatal-error report may release the display from the audio thread while the main thread
// draws, so the references are swapped out atomically and the backend keeps released objects'
// memory alive.
static std::atomic<ScreenDevice *> display_device{nullptr};
static std::atomic<ScreenSurface *> display_primary{nullptr};
static std::atomic<int32_t> display_ready{0};

void display_set_mode(int32_t width, int32_t height, int32_t bytes_per_pixel)
{
    mode_width = width;
    mode_height = height;
    mode_bytes_per_pixel = bytes_per_pixel;
    mode_frame_bytes = width * height * bytes_per_pixel;
}

static int32_t create_surface_code(int32_t result)
{
    static const int32_t results[] = {
        DDERR_INCOMPATIBLEPRIMARY,
        DDERR_INVALIDCAPS,
        DDERR_INVALIDOBJECT,
        DDERR_INVALIDPARAMS,
        DDERR_INVALIDPIXELFORMAT,
        DDERR_NOALPHAHW,
        DDERR_NOCOOPERATIVELEVELSET,
        DDERR_NODIRECTDRAWHW,
        DDERR_NOEMULATION,
        DDERR_NOEXCLUSIVEMODE,
        DDERR_NOFLIPHW,
        DDERR_NOMIPMAPHW,
        DDERR_NOZBUFFERHW,
        DDERR_OUTOFMEMORY,
        DDERR_OUTOFVIDEOMEMORY,
        DDERR_PRIMARYSURFACEALREADYEXISTS,
        DDERR_UNSUPPORTEDMODE,
    };
    for (int32_t n = 0; n < (int32_t)(sizeof results / sizeof results[0]); n++)
        if (results[n] == result) return n + 1;
    return 255;
}

static int32_t pixel_format_code(int32_t result)
{
    if (result == DDERR_INVALIDOBJECT) return 1;
    if (result == DDERR_INVALIDPARAMS) return 2;
    if (result == DDERR_INVALIDSURFACETYPE) return 3;
    return 255;
}

// A failed set-up gives up the device (and a surface it made) so the next attempt starts clean.
static int32_t init_failed(ScreenDevice *device, ScreenSurface *surface, int32_t code)
{
    if (surface) screen_release_surface(surface);
    screen_release(device);
    return code;
}

int32_t display_init()
{
    ScreenDevice *device = nullptr;
    if (screen_create(&device) != DD_OK || !device) return DISPLAY_ERR_CREATE;
    if (screen_set_cooperative_level(device, owner_window(),
                                     DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT) !=
        DD_OK)
        return init_failed(device, nullptr, DISPLAY_ERR_CREATE);
    if (screen_set_mode(device, mode_width, mode_height, mode_bytes_per_pixel * 8) != DD_OK)
        return init_failed(device, nullptr, DISPLAY_ERR_MODE);
    ScreenSurface *surface = nullptr;
    int32_t r = screen_create_primary(device, &surface);
    if (r != DD_OK || !surface)
        return init_failed(device, nullptr, DISPLAY_ERR_SURFACE + create_surface_code(r));
    ScreenPixelFormat format{};
    r = screen_get_pixel_format(surface, &format);
    if (r != DD_OK) return init_failed(device, surface, DISPLAY_ERR_FORMAT + pixel_format_code(r));
    if (format.red_mask == 0xF800)
        display_rgb565 = 1;
    else if (format.red_mask == 0x7C00)
        display_rgb565 = 0;
    else
        return init_failed(device, surface, DISPLAY_ERR_LAYOUT);

    screen_desc.pixels = nullptr;
    screen_desc.line_bytes = mode_width * 2;
    screen_desc.height = mode_height;
    screen_desc.width = (int16_t)mode_width;
    screen_desc.lock_depth = 0;
    display_device.store(device);
    display_primary.store(surface);
    display_ready.store(1);
    return 0;
}

void display_restore()
{
    if (ScreenSurface *surface = display_primary.load()) screen_restore(surface);
}

void display_lock()
{
    if (screen_desc.lock_depth == 0) {
        for (;;) {
            owner_pump();
            owner_wait_while_inactive();
            ScreenSurface *surface = display_primary.load();
            if (!surface)
                break; // no screen: the pixel address stays as it is, the caller checks it
            void *pixels = nullptr;
            int32_t pitch = 0;
            if (screen_lock(surface, DDLOCK_WAIT | DDLOCK_WRITEONLY, &pixels, &pitch) == DD_OK) {
                screen_desc.pitch = pitch;
                screen_desc.pixels = (uint8_t *)pixels;
                break;
            }
            screen_restore(surface);
            Sleep(0); // a surface that stays lost must not keep a core busy
        }
        if (!display_primary.load()) screen_desc.pixels = nullptr;
    }
    screen_desc.lock_depth++;
}

static void unlock_surface()
{
    if (ScreenSurface *surface = display_primary.load()) screen_unlock(surface);
}

void display_end_lock()
{
    if (screen_desc.lock_depth > 0) {
        screen_desc.lock_depth = 0;
        unlock_surface();
    }
}

void display_set_target(uint8_t *buffer)
{
    display_end_lock();
    screen_desc.pixels = buffer;
}

void display_clear()
{
    display_lock();
    if (screen_desc.pixels)
        for (int32_t y = 0; y < screen_desc.height; y++)
            memset(screen_desc.pixels + (ptrdiff_t)y * screen_desc.pitch, 0,
                   (size_t)screen_desc.width * (size_t)mode_bytes_per_pixel);
    display_set_target(display_offscreen);
}

void present_picture(const uint8_t *picture, const uint8_t *palette)
{
    display_build_colour_table(display_colour_table, palette, display_rgb565);
    display_lock();
    if (!screen_desc.pixels) owner_screen_gone();
    if (screen_desc.line_bytes == 1280)
        display_stretch_picture(screen_desc.pixels, screen_desc.pitch, screen_desc.height, picture,
                                display_colour_table, display_rgb565);
    else
        display_copy_picture(screen_desc.pixels, screen_desc.pitch, screen_desc.height, picture,
                             display_colour_table);
    display_set_target(display_offscreen);
}

void display_shutdown()
{
    if (!display_ready.load()) return;
    ScreenSurface *surface = display_primary.exchange(nullptr);
    if (!surface) return;
    screen_release_surface(surface);
    if (ScreenDevice *device = display_device.exchange(nullptr)) {
        screen_restore_desktop(device);
        screen_release(device);
    }
    display_ready.store(0);
}
