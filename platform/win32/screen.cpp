// The display over DirectDraw: exclusive full screen, the mode set, one lockable primary
// surface. Results are turned back into the layer's names one to one.
#include "platform/win32/win32.h"

#include <ddraw.h>

#include <cstdio>
#include <cstdlib>

// The results the display passes on. The list is read twice: here, while the system's macros
// stand, it gives their numbers; below the layer's header, which takes the same names, it gives
// the layer's. So both tables have one order by construction.
#define DISPLAY_RESULTS                                                                            \
    DDERR_GENERIC, DDERR_INCOMPATIBLEPRIMARY, DDERR_INVALIDCAPS, DDERR_INVALIDOBJECT,              \
        DDERR_INVALIDPARAMS, DDERR_INVALIDPIXELFORMAT, DDERR_NOALPHAHW,                            \
        DDERR_NOCOOPERATIVELEVELSET, DDERR_NODIRECTDRAWHW, DDERR_NOEMULATION,                      \
        DDERR_NOEXCLUSIVEMODE, DDERR_NOFLIPHW, DDERR_NOMIPMAPHW, DDERR_NOZBUFFERHW,                \
        DDERR_OUTOFMEMORY, DDERR_OUTOFVIDEOMEMORY, DDERR_PRIMARYSURFACEALREADYEXISTS,              \
        DDERR_UNSUPPORTEDMODE, DDERR_INVALIDSURFACETYPE, DDERR_SURFACELOST, DDERR_WASSTILLDRAWING, \
        DDERR_INVALIDMODE, DDERR_UNSUPPORTED, DDERR_EXCLUSIVEMODEALREADYSET, DDERR_NOTLOCKED,      \
        DDERR_SURFACEBUSY

namespace dd
{
constexpr HRESULT results[] = {DISPLAY_RESULTS};
} // namespace dd

#undef DD_OK
#undef DDERR_GENERIC
#undef DDERR_INCOMPATIBLEPRIMARY
#undef DDERR_INVALIDCAPS
#undef DDERR_INVALIDOBJECT
#undef DDERR_INVALIDPARAMS
#undef DDERR_INVALIDPIXELFORMAT
#undef DDERR_NOALPHAHW
#undef DDERR_NOCOOPERATIVELEVELSET
#undef DDERR_NODIRECTDRAWHW
#undef DDERR_NOEMULATION
#undef DDERR_NOEXCLUSIVEMODE
#undef DDERR_NOFLIPHW
#undef DDERR_NOMIPMAPHW
#undef DDERR_NOZBUFFERHW
#undef DDERR_OUTOFMEMORY
#undef DDERR_OUTOFVIDEOMEMORY
#undef DDERR_PRIMARYSURFACEALREADYEXISTS
#undef DDERR_UNSUPPORTEDMODE
#undef DDERR_INVALIDSURFACETYPE
#undef DDERR_SURFACELOST
#undef DDERR_WASSTILLDRAWING
#undef DDERR_INVALIDMODE
#undef DDERR_UNSUPPORTED
#undef DDERR_EXCLUSIVEMODEALREADYSET
#undef DDERR_NOTLOCKED
#undef DDERR_SURFACEBUSY
#undef DDSCL_FULLSCREEN
#undef DDSCL_ALLOWREBOOT
#undef DDSCL_EXCLUSIVE
#undef DDLOCK_WAIT
#undef DDLOCK_WRITEONLY

#include "platform/screen.h"

// The layer's flags are the system's numbers.
static_assert(DDSCL_FULLSCREEN == 0x01 && DDSCL_ALLOWREBOOT == 0x02 && DDSCL_EXCLUSIVE == 0x10,
              "cooperative level flags");
static_assert(DDLOCK_WAIT == 0x01 && DDLOCK_WRITEONLY == 0x20, "lock flags");

struct ScreenDevice {
    IDirectDraw *draw;
    bool released;
};

struct ScreenSurface {
    IDirectDrawSurface *surface;
    bool locked;
    bool released;
};

namespace
{

// Display shut-down may come from the sound thread's fatal error while the main thread holds
// the surface locked and writes into it: the surface (and the device under it) then go away at
// the unlock, not under the writer's feet. One lock for the whole display.
Win32Lock &display_lock()
{
    static Win32Lock lock;
    return lock;
}

ScreenDevice *deferred_device; // released while its surface was locked
ScreenSurface *live_surface;   // the one primary surface, until it is released

int32_t result_of(HRESULT r)
{
    static const int32_t names[] = {DISPLAY_RESULTS};
    return win32_result_name(r, dd::results, names, DD_OK, DDERR_GENERIC);
}

// FILMO_TRACE=FILE: a line for each picture made visible, the time in microseconds and the
// sound's play cursor (-1 while no sound plays), to see the pictures follow the sound.
void trace_picture()
{
    static FILE *trace = [] {
        const char *name = std::getenv("FILMO_TRACE");
        return name && *name ? std::fopen(name, "w") : nullptr;
    }();
    if (!trace) return;
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t cursor = 0;
    bool playing = win32_audio_play_cursor(&cursor);
    std::fprintf(trace, "%llu %ld\n",
                 static_cast<unsigned long long>(now.QuadPart / frequency.QuadPart * 1000000 +
                                                 now.QuadPart % frequency.QuadPart * 1000000 /
                                                     frequency.QuadPart),
                 playing ? static_cast<long>(cursor) : -1L);
    std::fflush(trace);
}

void release_device(ScreenDevice *device)
{
    if (device->draw) device->draw->Release();
    device->draw = nullptr;
}

} // namespace

int32_t screen_create(ScreenDevice **device)
{
    *device = nullptr;
    IDirectDraw *draw = nullptr;
    HRESULT r = DirectDrawCreate(nullptr, &draw, nullptr);
    if (FAILED(r)) return result_of(r);
    // Kept to the process end, as the header promises for released objects.
    *device = new ScreenDevice{draw, false};
    return DD_OK;
}

int32_t screen_set_cooperative_level(ScreenDevice *device, Window *window, uint32_t flags)
{
    Win32Guard g(display_lock());
    if (device->released) return DDERR_INVALIDOBJECT;
    return result_of(device->draw->SetCooperativeLevel(reinterpret_cast<HWND>(window), flags));
}

int32_t screen_set_mode(ScreenDevice *device, int32_t width, int32_t height, int32_t bits)
{
    Win32Guard g(display_lock());
    if (device->released) return DDERR_INVALIDOBJECT;
    return result_of(device->draw->SetDisplayMode(
        static_cast<DWORD>(width), static_cast<DWORD>(height), static_cast<DWORD>(bits)));
}

int32_t screen_create_primary(ScreenDevice *device, ScreenSurface **surface)
{
    Win32Guard g(display_lock());
    *surface = nullptr;
    if (device->released) return DDERR_INVALIDOBJECT;
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface *primary = nullptr;
    HRESULT r = device->draw->CreateSurface(&desc, &primary, nullptr);
    if (FAILED(r)) return result_of(r);
    *surface = new ScreenSurface{primary, false, false};
    live_surface = *surface;
    return DD_OK;
}

int32_t screen_get_pixel_format(ScreenSurface *surface, ScreenPixelFormat *format)
{
    Win32Guard g(display_lock());
    if (surface->released) return DDERR_SURFACELOST;
    DDPIXELFORMAT pixel = {};
    pixel.dwSize = sizeof pixel;
    HRESULT r = surface->surface->GetPixelFormat(&pixel);
    if (FAILED(r)) return result_of(r);
    format->bits_per_pixel = pixel.dwRGBBitCount;
    format->red_mask = pixel.dwRBitMask;
    format->green_mask = pixel.dwGBitMask;
    format->blue_mask = pixel.dwBBitMask;
    return DD_OK;
}

int32_t screen_lock(ScreenSurface *surface, uint32_t flags, void **pixels, int32_t *pitch)
{
    Win32Guard g(display_lock());
    if (surface->released) return DDERR_SURFACELOST;
    if (surface->locked) return DDERR_SURFACEBUSY;
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    HRESULT r = surface->surface->Lock(nullptr, &desc, flags, nullptr);
    if (FAILED(r)) return result_of(r);
    surface->locked = true;
    *pixels = desc.lpSurface;
    *pitch = desc.lPitch;
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    trace_picture();
    Win32Guard g(display_lock());
    if (!surface->locked) return surface->released ? DDERR_SURFACELOST : DDERR_NOTLOCKED;
    HRESULT r = surface->surface->Unlock(nullptr);
    surface->locked = false;
    if (surface->released) {
        surface->surface->Release();
        surface->surface = nullptr;
        if (live_surface == surface) live_surface = nullptr;
        if (deferred_device) release_device(deferred_device);
        deferred_device = nullptr;
        return DDERR_SURFACELOST;
    }
    return result_of(r);
}

int32_t screen_restore(ScreenSurface *surface)
{
    Win32Guard g(display_lock());
    if (surface->released) return DDERR_SURFACELOST;
    return result_of(surface->surface->Restore());
}

int32_t screen_restore_desktop(ScreenDevice *device)
{
    Win32Guard g(display_lock());
    if (device->released) return DDERR_INVALIDOBJECT;
    return result_of(device->draw->RestoreDisplayMode());
}

void screen_release_surface(ScreenSurface *surface)
{
    Win32Guard g(display_lock());
    if (!surface || surface->released) return;
    surface->released = true;
    if (surface->locked) return; // the unlock releases it
    surface->surface->Release();
    surface->surface = nullptr;
    if (live_surface == surface) live_surface = nullptr;
}

void screen_release(ScreenDevice *device)
{
    Win32Guard g(display_lock());
    if (!device || device->released) return;
    device->released = true;
    // A surface still locked on another thread lives on the device: both go at its unlock.
    if (live_surface && live_surface->locked) {
        deferred_device = device;
        return;
    }
    release_device(device);
}
