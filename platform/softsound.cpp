// The looping buffer behind the backends' sound service. One mutex per buffer: the device's
// callback and the player's threads meet only here.
#include "platform/softsound.h"

#include "platform/audio.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

struct SoftSound {
    SoftSoundDevice device;
    std::mutex mutex;
    uint32_t size;
    int32_t playing;
    int32_t looping;
    int32_t locked;
    // While stopped, the play cursor. While a pulled buffer plays, the next byte to hand out.
    uint32_t cursor;
    uint32_t start_cursor; // where playing began
    uint64_t start_us;     // when playing began (clocked devices)
    uint64_t fed;          // bytes handed out (pulled) or passed (clocked) since playing began
    uint64_t heard_base;   // pulled: bytes handed out before the latest pull
    uint64_t heard_last;   // pulled: the latest position answered, so that it never goes back
    uint64_t pulled_us;    // pulled: when the latest pull ran
    std::vector<uint8_t> memory;
    std::vector<uint8_t> staging; // what a lock hands out, copied back at unlock
};

namespace
{

bool clocked(const SoftSound *s)
{
    return s->device.heard != nullptr;
}

uint64_t now(const SoftSound *s)
{
    return s->device.now_us(s->device.context);
}

// Under the buffer's mutex. A clocked buffer up to now: every byte the cursor passed goes out
// as the buffer holds it now; one that does not loop stops at its end.
void advance(SoftSound *s)
{
    if (!s->playing || !clocked(s)) return;
    uint64_t total = (now(s) - s->start_us) * s->device.bytes_per_second / 1000000;
    int32_t ends = 0;
    if (!s->looping && s->start_cursor + total >= s->size) {
        total = s->size - s->start_cursor;
        ends = 1;
    }
    while (s->fed < total) {
        uint32_t at = (uint32_t)((s->start_cursor + s->fed) % s->size);
        uint32_t n = (uint32_t)std::min<uint64_t>(total - s->fed, s->size - at);
        s->device.heard(s->device.context, s->memory.data() + at, n);
        s->fed += n;
    }
    if (ends) {
        s->playing = 0;
        s->cursor = 0;
    }
}

// Under the buffer's mutex, after advance. A pulled buffer's position is interpolated between
// pulls with the clock, or stands as far behind what the device was given as the device still
// holds of it; never past what it was given, never backwards.
uint32_t play_position(SoftSound *s)
{
    if (!s->playing) return s->cursor;
    if (clocked(s)) return (uint32_t)((s->start_cursor + s->fed) % s->size);
    uint64_t heard;
    if (s->device.held) {
        uint64_t held = s->device.held(s->device.context);
        heard = s->fed > held ? s->fed - held : 0;
    } else {
        heard = s->heard_base + (now(s) - s->pulled_us) * s->device.bytes_per_second / 1000000;
    }
    heard = std::min(heard, s->fed);
    heard = std::max(heard, s->heard_last);
    s->heard_last = heard;
    return (uint32_t)((s->start_cursor + heard) % s->size);
}

} // namespace

SoftSound *softsound_create(const SoftSoundDevice *device, uint32_t size)
{
    if (!device || !device->now_us || size == 0) return nullptr;
    SoftSound *s = new (std::nothrow) SoftSound();
    if (!s) return nullptr;
    s->device = *device;
    s->size = size;
    try {
        // A fresh buffer holds no sound of its own: silence, as the device gives it.
        s->memory.assign(size, 0x80);
        s->staging.assign(size, 0x80);
    } catch (const std::bad_alloc &) {
        delete s;
        return nullptr;
    }
    return s;
}

void softsound_destroy(SoftSound *sound)
{
    delete sound;
}

int32_t softsound_lock(SoftSound *s, uint32_t offset, uint32_t bytes, void **part1,
                       uint32_t *bytes1, void **part2, uint32_t *bytes2)
{
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2) *part2 = nullptr;
    if (bytes2) *bytes2 = 0;
    if (offset >= s->size || bytes == 0 || bytes > s->size) return DSERR_INVALIDPARAM;
    if (bytes > s->size - offset && (!part2 || !bytes2)) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(s->mutex);
    // One lock at a time: the staging copy belongs to its holder until the unlock.
    if (s->locked) return DSERR_INVALIDCALL;
    advance(s);
    memcpy(s->staging.data(), s->memory.data(), s->size);
    s->locked = 1;
    *part1 = s->staging.data() + offset;
    *bytes1 = std::min(bytes, s->size - offset);
    if (*bytes1 < bytes) {
        *part2 = s->staging.data();
        *bytes2 = bytes - *bytes1;
    }
    return DS_OK;
}

int32_t softsound_unlock(SoftSound *s, void *part1, uint32_t bytes1, void *part2, uint32_t bytes2)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    if (!s->locked) return DSERR_INVALIDCALL;
    const uint8_t *base = s->staging.data();
    // What played before the unlock was played as it was.
    advance(s);
    for (auto [part, n] : {std::pair<void *, uint32_t>{part1, bytes1}, {part2, bytes2}}) {
        if (!part || n == 0) continue;
        // Only addresses inside the copy that was handed out are written back.
        uintptr_t at = (uintptr_t)part - (uintptr_t)base;
        if (at < s->size) memcpy(s->memory.data() + at, part, std::min<size_t>(n, s->size - at));
    }
    // Only now may another lock take the staging copy.
    s->locked = 0;
    return DS_OK;
}

void softsound_play(SoftSound *s, int32_t looping)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    advance(s);
    s->looping = looping != 0;
    if (s->playing) return;
    s->playing = 1;
    s->start_cursor = s->cursor;
    s->start_us = now(s);
    s->fed = s->heard_base = s->heard_last = 0;
    s->pulled_us = s->start_us;
}

void softsound_stop(SoftSound *s)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    advance(s);
    s->cursor = play_position(s);
    s->playing = 0;
}

int32_t softsound_playing(SoftSound *s)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    advance(s);
    return s->playing;
}

void softsound_position(SoftSound *s, uint32_t *play_cursor, uint32_t *write_cursor)
{
    if (!s) {
        if (play_cursor) *play_cursor = 0;
        if (write_cursor) *write_cursor = 0;
        return;
    }
    std::lock_guard<std::mutex> lock(s->mutex);
    advance(s);
    uint32_t at = play_position(s);
    if (play_cursor) *play_cursor = at;
    if (!write_cursor) return;
    if (!s->playing)
        *write_cursor = at;
    else if (clocked(s))
        *write_cursor = (uint32_t)(((uint64_t)at + s->device.write_lead) % s->size);
    else
        *write_cursor = s->cursor;
}

int32_t softsound_playing_cursor(SoftSound *s)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    advance(s);
    return s->playing ? (int32_t)play_position(s) : -1;
}

void softsound_advance(SoftSound *s)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    advance(s);
}

uint32_t softsound_pull(SoftSound *s, uint8_t *out, uint32_t count)
{
    std::lock_guard<std::mutex> lock(s->mutex);
    if (!s->playing || clocked(s)) return 0;
    s->heard_base = s->fed;
    s->pulled_us = now(s);
    uint32_t i = 0;
    while (i < count && s->playing) {
        uint32_t n = std::min(count - i, s->size - s->cursor);
        memcpy(out + i, s->memory.data() + s->cursor, n);
        i += n;
        s->fed += n;
        s->cursor += n;
        if (s->cursor == s->size) {
            s->cursor = 0;
            if (!s->looping) s->playing = 0;
        }
    }
    return i;
}
