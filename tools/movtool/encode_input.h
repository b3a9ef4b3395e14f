// The encoder's inputs: PNG pictures brought to 320x200 RGB, and a sound file brought to the
// movie's 8-bit unsigned mono at 22050 samples a second.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t ENCODE_WIDTH = 320;
constexpr int32_t ENCODE_HEIGHT = 200;
constexpr int32_t ENCODE_SOUND_RATE = 22050;

// Working memory of the picture loader; grows to the largest picture read, once per run.
struct PictureLoader;

PictureLoader *encode_loader_alloc();
void encode_loader_free(PictureLoader *loader);

// Reads the PNG at path into rgb (320 x 200 x 3 bytes, rows top to bottom). A picture of
// another size is scaled to fit, keeping its shape, by area averaging (each pixel is the mean
// of the source area it covers, weighted by coverage), and centred on black. Transparency is
// laid over black. On failure returns false with a one-line reason in error.
bool encode_load_picture(PictureLoader *loader, const char *path, uint8_t *rgb, char *error,
                         size_t error_size);

// Scales a w x h RGB picture into the 320x200 rgb as encode_load_picture does.
void encode_fit_picture(const uint8_t *source, int32_t w, int32_t h, uint8_t *rgb, float *scratch);
// Floats of scratch encode_fit_picture needs for a source h pixels high.
size_t encode_fit_scratch(int32_t h);

struct SoundTrack {
    uint8_t *samples; // unsigned 8-bit mono at 22050 a second, 0x80 silence
    int64_t count;
    int32_t source_rate;
    int32_t source_channels;
};

// Reads a sound file (WAV of any common rate, sample format and channel count), mixes its
// channels down and resamples it. On failure returns false with a one-line reason in error.
bool encode_load_sound(const char *path, SoundTrack *track, char *error, size_t error_size);
void encode_free_sound(SoundTrack *track);
