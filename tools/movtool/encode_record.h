// One frame record from two 320x200 RGB pictures and 3528 bytes of sound: palette, block codes,
// packing, and a check of the result through the movie decoder.
#pragma once

#include <cstddef>
#include <cstdint>

struct RecordEncoder;

RecordEncoder *encode_record_alloc();
void encode_record_free(RecordEncoder *encoder);

struct RecordStats {
    int32_t palette_size;
    int32_t colour_count;
    int32_t packed_length;
    int32_t merges;
    bool lossless;        // the pictures decode to exactly the quantized pictures
    double squared_error; // summed over both pictures and the three components, against rgb
};

// rgb: picture A then picture B, 320 x 200 x 3 bytes each. sound: 3528 bytes. Writes the
// 43797-byte record. Returns false with a reason in error when the record could not be made
// well formed, which is a fault of the encoder, not of its input.
bool encode_record(RecordEncoder *encoder, const uint8_t *rgb, const uint8_t *sound,
                   uint8_t *record, RecordStats *stats, char *error, size_t error_size);

// Peak signal-to-noise ratio in dB for a squared error summed over samples 8-bit values;
// 99 for no error at all.
double encode_psnr(double squared_error, double samples);
