// Block coder: turns two pictures of palette indices into the record's block codes and colour
// list, exactly when that fits the record, else with the least added error that fits.
#pragma once

#include <cstdint>

#include "tools/movtool/encode_lz.h"

constexpr int32_t ENCODE_PALETTE_MAX = 248;

struct BlockCoder;

// Working memory for one run; also derives the pattern tables on first use.
BlockCoder *encode_blocks_alloc();
void encode_blocks_free(BlockCoder *coder);

struct BlockPictures {
    const uint8_t *indices; // 2 x 64000 palette indices (0 based), picture A then B
    const uint8_t *source;  // 2 x 64000 x 3 bytes: the RGB the indices stand for
    const uint8_t *palette; // palette_size x 3 bytes, RGB 0..255 as shown
    int32_t palette_size;
};

struct BlockOutput {
    uint8_t *codes;        // 16000 block codes
    uint8_t *data;         // 39500 bytes: colour list (pixel values) then the packed codes
    int32_t colour_count;  // bytes of colour list at data
    int32_t packed_length; // bytes of packed codes after it
    bool lossless;         // every block keeps its exact pixels
    int32_t merges;        // box merges made to fit
};

// Codes one record within data_limit bytes (39500 for a frame record). Returns false only when
// not even one colour a block fits, which no frame record's limit allows.
bool encode_blocks_code(BlockCoder *coder, LzPacker *packer, const BlockPictures *in,
                        int32_t data_limit, BlockOutput *out);

// The colours the exact codes of two pictures of palette indices would take: their sum of
// box counts.
int32_t encode_blocks_exact_colours(BlockCoder *coder, const uint8_t *indices);

// The box partition of each code, as cell masks (cell = dx + 2 dy + 4 picture), in the order of
// the code's colour numbers; box_count entries.
int32_t encode_blocks_boxes(int32_t code, uint8_t masks[8]);
// The code whose partition is exact for the eight cell values with the fewest boxes (first in
// code order among equals).
int32_t encode_blocks_exact_code(const uint8_t cells[8]);
