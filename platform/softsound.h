// A looping sound buffer in memory, for backends whose sound device has no buffer of its own
// that the player could lock: lock and unlock of a region, play (once or looping), stop, and a
// play and write cursor that can be read at any time.
//
// The backend hands over what differs between devices as a table of functions:
// - a device that takes the bytes itself (a callback that asks for the next block) calls
//   softsound_pull; between two pulls the play cursor moves with the clock, never past the
//   bytes handed out, never backwards; the write cursor is the next byte the device takes. A
//   device that takes bytes ahead of playing them (a queue of its own) says how many it holds
//   instead: the play cursor stands that far behind the bytes handed out, never backwards;
// - a device without a callback has the clock move the play cursor alone: every byte the cursor
//   passes goes to `heard`, with the buffer's contents at the moment it was passed; the write
//   cursor runs `write_lead` bytes ahead of the play cursor.
//
// Every function is safe to call from any thread. `heard` and `held` run inside the calls of
// this module (under its lock); they must not call back into it.
#pragma once

#include <cstdint>

struct SoftSoundDevice {
    void *context;
    uint64_t (*now_us)(void *context); // the clock that moves the play cursor
    // Null for a device that pulls; else where the bytes that were played go.
    void (*heard)(void *context, const uint8_t *bytes, uint32_t count);
    uint32_t bytes_per_second;
    uint32_t write_lead; // devices without pull only
    // Pulled devices with a queue: bytes handed out that it has not played yet. Else null.
    uint32_t (*held)(void *context);
};

struct SoftSound;

// A silent buffer of size bytes (the device's table is copied). Null when out of memory.
SoftSound *softsound_create(const SoftSoundDevice *device, uint32_t size);
void softsound_destroy(SoftSound *sound);

// The region of bytes from offset on, as one or two parts (the second from the start of the
// buffer); the writer gets a copy, written back at unlock, so that playing goes on meanwhile.
// Results are the sound service's (DS_OK, DSERR_INVALIDCALL, DSERR_INVALIDPARAM).
int32_t softsound_lock(SoftSound *sound, uint32_t offset, uint32_t bytes, void **part1,
                       uint32_t *bytes1, void **part2, uint32_t *bytes2);
int32_t softsound_unlock(SoftSound *sound, void *part1, uint32_t bytes1, void *part2,
                         uint32_t bytes2);

// Plays from the play cursor; a buffer that is already playing only changes its looping.
void softsound_play(SoftSound *sound, int32_t looping);
// Stops; the play cursor stays where the sound was.
void softsound_stop(SoftSound *sound);
int32_t softsound_playing(SoftSound *sound);
// Null (a primary buffer, which holds no sound of its own): both cursors at 0.
void softsound_position(SoftSound *sound, uint32_t *play_cursor, uint32_t *write_cursor);
// The play cursor while playing, else -1.
int32_t softsound_playing_cursor(SoftSound *sound);

// Brings a clocked buffer up to the clock: every byte passed goes to `heard`.
void softsound_advance(SoftSound *sound);

// For a device that pulls: up to count bytes from the write cursor on; fewer once a buffer that
// does not loop reaches its end or when it does not play. The number of bytes written.
uint32_t softsound_pull(SoftSound *sound, uint8_t *out, uint32_t count);
