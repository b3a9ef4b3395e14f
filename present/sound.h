// Sound output: 8-bit mono at 22050 samples a second, secondary buffers in a small table, and
// the numbers of the looping streaming buffer of four quarters through which the player's audio
// thread plays each frame slot's sound.
#pragma once

#include <cstdint>

struct AudioBuffer;

struct SoundBufferEntry {
    AudioBuffer *buffer;
    void *lock_address; // written by every lock
    uint32_t size;      // requested at creation; every lock stores the locked byte count
};

constexpr int32_t SOUND_BUFFER_COUNT = 30;
constexpr int32_t SOUND_STREAM_ENTRY = 1;
constexpr uint32_t SOUND_BYTES_PER_SECOND = 22050;
constexpr int32_t SOUND_QUARTER_BYTES = 3528;
constexpr int32_t SOUND_STREAM_BYTES = 4 * SOUND_QUARTER_BYTES; // 640 ms

extern SoundBufferEntry sound_buffers[SOUND_BUFFER_COUNT];

// Each failure below ends the program through the fatal-error report.
int32_t sound_init();
int32_t sound_create_buffer(int32_t index, int32_t size);
void sound_write(int32_t index, const uint8_t *source, int32_t offset, int32_t count);
// Starts the buffer unless it has played before (cursor not 0); loop == 1 loops.
void sound_play(int32_t index, uint8_t loop);
uint32_t sound_play_position(int32_t index);
void sound_stop(int32_t index);
void sound_release_buffer(int32_t index);
void sound_shutdown();

// The number in each failure message for a result of that call.
int32_t sound_create_code(int32_t result);
int32_t sound_buffer_code(int32_t result); // primary and secondary CreateSoundBuffer
int32_t sound_caps_code(int32_t result);
int32_t sound_cooperative_code(int32_t result);
int32_t sound_lock_code(int32_t result);
int32_t sound_unlock_code(int32_t result); // also Play
