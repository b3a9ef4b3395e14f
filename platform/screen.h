// The display service: a full-screen 16-bit mode with one lockable primary surface. Results
// carry the names of the original display interface's documented results, so that the display
// code keeps its result-to-code tables as they were.
#pragma once

#include <cstdint>

struct Window;
struct ScreenDevice;
struct ScreenSurface;

enum ScreenResult : int32_t {
    DD_OK = 0,
    DDERR_GENERIC = -1,
    DDERR_INCOMPATIBLEPRIMARY = -2,
    DDERR_INVALIDCAPS = -3,
    DDERR_INVALIDOBJECT = -4,
    DDERR_INVALIDPARAMS = -5,
    DDERR_INVALIDPIXELFORMAT = -6,
    DDERR_NOALPHAHW = -7,
    DDERR_NOCOOPERATIVELEVELSET = -8,
    DDERR_NODIRECTDRAWHW = -9,
    DDERR_NOEMULATION = -10,
    DDERR_NOEXCLUSIVEMODE = -11,
    DDERR_NOFLIPHW = -12,
    DDERR_NOMIPMAPHW = -13,
    DDERR_NOZBUFFERHW = -14,
    DDERR_OUTOFMEMORY = -15,
    DDERR_OUTOFVIDEOMEMORY = -16,
    DDERR_PRIMARYSURFACEALREADYEXISTS = -17,
    DDERR_UNSUPPORTEDMODE = -18,
    DDERR_INVALIDSURFACETYPE = -19,
    DDERR_SURFACELOST = -20,
    DDERR_WASSTILLDRAWING = -21,
    DDERR_INVALIDMODE = -22,
    DDERR_UNSUPPORTED = -23,
    DDERR_EXCLUSIVEMODEALREADYSET = -24,
    DDERR_NOTLOCKED = -25,
    DDERR_SURFACEBUSY = -26,
};

// Cooperative level flags.
constexpr uint32_t DDSCL_FULLSCREEN = 0x01;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x02;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
// Lock flags.
constexpr uint32_t DDLOCK_WAIT = 0x01;
constexpr uint32_t DDLOCK_WRITEONLY = 0x20;

struct ScreenPixelFormat {
    uint32_t bits_per_pixel;
    uint32_t red_mask;
    uint32_t green_mask;
    uint32_t blue_mask;
};

// Creates a device on the primary display.
int32_t screen_create(ScreenDevice **device);
int32_t screen_set_cooperative_level(ScreenDevice *device, Window *window, uint32_t flags);
int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits);
// The visible surface of the current mode; no back buffers.
int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface);
int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format);
// Locks the whole surface for writing. The contents stay between locks.
int32_t screen_lock(ScreenSurface *surface, uint32_t flags, void **pixels, int32_t *pitch);
// Ends the lock; what was written becomes visible.
int32_t screen_unlock(ScreenSurface *surface);
// Gives the surface its memory back after the program was switched away from.
int32_t screen_restore(ScreenSurface *surface);
// Puts the desktop's own mode back.
int32_t screen_restore_desktop(ScreenDevice *device);
// Releases are safe against a lock or unlock on another thread: the object's memory lives
// until the process ends, a released object answers DDERR_SURFACELOST.
void screen_release_surface(ScreenSurface *surface);
void screen_release(ScreenDevice *device);
