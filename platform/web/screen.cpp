// The web backend's screen: the mode's 16-bit surface in memory, turned into RGBA once per
// picture at every unlock and posted to the page's screen worker, which puts it on the canvas
// that the page scales to 4:3 between black borders, pixel for pixel (nearest neighbour).
//
// Environment (the page's URL sets it): FILMO_PIXEL_FORMAT=555 (a 5-5-5 screen instead of
// 5-6-5), FILMO_MODE=640x480 (the 320x200 mode is refused), FILMO_TRACE (one entry a picture in
// the page's trace: microseconds and sound play position).
#include "platform/screen.h"
#include "platform/memscreen.h"
#include "platform/web/web.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>
#include <mutex>
#include <vector>

namespace
{

ScreenSurface *primary;
int32_t mode_width, mode_height, mode_set;
// The picture as the canvas takes it: R, G, B, A bytes, rows top to bottom.
std::vector<uint8_t> rgba;

// What the screen worker draws next: a picture or a black screen. It counts a post shown once
// it has copied the picture out.
enum : int32_t { POST_PICTURE = 1, POST_CLEAR = 2 };
struct ScreenPost {
    std::atomic<int32_t> posted;
    std::atomic<int32_t> shown;
    int32_t kind;
    int32_t pointer;
    int32_t width, height;
};
ScreenPost post_box;
static_assert(offsetof(ScreenPost, shown) == 4 && offsetof(ScreenPost, kind) == 8 &&
                  offsetof(ScreenPost, pointer) == 12 && offsetof(ScreenPost, width) == 16 &&
                  offsetof(ScreenPost, height) == 20,
              "the screen worker's view of the post");
std::mutex post_mutex;
// A worker that does not answer (a page being torn down) holds up a picture no longer.
constexpr double SHOWN_WAIT_MS = 250;
bool trace;

void attach()
{
    static std::once_flag once;
    std::call_once(once, [] {
        trace = std::getenv("FILMO_TRACE") != nullptr;
        MAIN_THREAD_EM_ASM({ Module.web.screenAttach($0); }, &post_box);
    });
}

// Waits until the worker has the last post: its picture is free to be written again.
void wait_shown()
{
    double deadline = emscripten_get_now() + SHOWN_WAIT_MS;
    for (int32_t shown; (shown = post_box.shown.load()) != post_box.posted.load();) {
        double left = deadline - emscripten_get_now();
        if (left <= 0) break;
        emscripten_futex_wait(&post_box.shown, static_cast<uint32_t>(shown), left);
    }
}

void post(int32_t kind, int32_t width, int32_t height)
{
    post_box.kind = kind;
    post_box.pointer = static_cast<int32_t>(reinterpret_cast<uintptr_t>(rgba.data()));
    post_box.width = width;
    post_box.height = height;
    post_box.posted.fetch_add(1);
    emscripten_futex_wake(&post_box.posted, 1);
}

bool env_is(const char *name, const char *value)
{
    const char *v = std::getenv(name);
    return v && !std::strcmp(v, value);
}

// A 5- or 6-bit channel widened to 8 bits, its top bits repeated below.
uint32_t widen(uint32_t value, int32_t bits)
{
    return (value << (8 - bits) | value >> (2 * bits - 8)) & 255;
}

// A pixel's R, G, B, A bytes as one word in memory order.
uint32_t rgba_of(uint32_t pixel, bool rgb555)
{
    const int32_t green_bits = rgb555 ? 5 : 6;
    const int32_t red_shift = rgb555 ? 10 : 11;
    return widen(pixel >> red_shift & 31, 5) |
           widen(pixel >> 5 & ((1u << green_bits) - 1), green_bits) << 8 |
           widen(pixel & 31, 5) << 16 | 0xFF000000u;
}

// Every bit of a widened channel comes from one of a pixel's two bytes (green's top bits, the
// ones repeated below, lie in the high byte with red): a pixel's word is the low byte's word
// or'ed with the high byte's.
struct ConvertTables {
    int32_t rgb555 = -1;
    uint32_t low[256], high[256];
};
ConvertTables tables;

void convert(const ScreenSurface *s)
{
    const int32_t rgb555 = memscreen_rgb555() ? 1 : 0;
    if (tables.rgb555 != rgb555) {
        for (uint32_t b = 0; b < 256; b++) {
            tables.low[b] = rgba_of(b, rgb555);
            tables.high[b] = rgba_of(b << 8, rgb555);
        }
        tables.rgb555 = rgb555;
    }
    rgba.resize(static_cast<size_t>(s->width) * static_cast<size_t>(s->height) * 4);
    uint8_t *out = rgba.data();
    for (int32_t y = 0; y < s->height; y++) {
        const uint8_t *line = s->memory.data() + static_cast<ptrdiff_t>(y) * s->pitch;
        for (int32_t x = 0; x < s->width; x++, out += 4) {
            uint32_t word = tables.low[line[2 * x]] | tables.high[line[2 * x + 1]];
            std::memcpy(out, &word, 4);
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
    ScreenSurface *s = memscreen_next_primary(mode_width, mode_height);
    primary = s;
    *surface = s;
    return DD_OK;
}

int32_t screen_unlock(ScreenSurface *surface)
{
    if (!surface || surface->released) return DDERR_SURFACELOST;
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = 0;
    attach();
    std::lock_guard<std::mutex> lock(post_mutex);
    wait_shown();
    convert(surface);
    if (trace)
        MAIN_THREAD_ASYNC_EM_ASM({ Module.web.tracePicture($0, $1); },
                                 static_cast<double>(web_now_us()), web_sound_cursor());
    post(POST_PICTURE, surface->width, surface->height);
    return DD_OK;
}

void web_screen_clear()
{
    attach();
    std::lock_guard<std::mutex> lock(post_mutex);
    wait_shown();
    post(POST_CLEAR, 0, 0);
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
