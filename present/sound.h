// Sound output: 8-bit mono at 22050 samples a second through one secondary buffer, the looping
// streaming buffer of four quarters through which the player's audio thread plays each frame
// slot's sound.
#pragma once

#include <cstdint>

#include "movie/movie.h"

constexpr uint32_t SOUND_BYTES_PER_SECOND = 22050;
constexpr int32_t SOUND_QUARTER_BYTES = MOVIE_SOUND_SIZE;       // one record's sound
constexpr int32_t SOUND_STREAM_BYTES = 4 * SOUND_QUARTER_BYTES; // 640 ms

// Each failure below ends the program through the fatal-error report.
int32_t sound_init();
// The operations on the buffer do nothing while none was created (or after its release).
int32_t sound_create_buffer(int32_t size);
// Writes count bytes at offset; a write that would pass the buffer's end is cut at it.
void sound_write(const uint8_t *source, int32_t offset, int32_t count);
// Starts the buffer unless it has played before (cursor not 0); loop == 1 loops.
void sound_play(uint8_t loop);
uint32_t sound_play_position();
void sound_stop();
void sound_release_buffer();
void sound_shutdown();

// The number in each failure message for a result of that call.
int32_t sound_create_code(int32_t result);
int32_t sound_buffer_code(int32_t result); // primary and secondary CreateSoundBuffer
int32_t sound_caps_code(int32_t result);
int32_t sound_cooperative_code(int32_t result);
int32_t sound_lock_code(int32_t result);
int32_t sound_unlock_code(int32_t result); // also Play
