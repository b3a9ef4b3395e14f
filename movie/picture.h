// Block picture decoder: each 2x2 block of both pictures of a record (eight cells) is one code
// naming a partition of the cells into boxes; each box takes the next colour of the list.
#pragma once

#include <cstdint>

constexpr int32_t BLOCK_CODE_MAX = 154;

// Indexed by block code; entry 0 is unused and all zero. Cell = dx + 2*dy + 4*picture.
extern const uint8_t (&block_patterns)[BLOCK_CODE_MAX + 1][8];
// Number of colours a code takes from the list (its highest colour number + 1); 0 for code 0.
extern const uint8_t (&block_colour_counts)[BLOCK_CODE_MAX + 1];

enum PictureStatus : int32_t {
    PICTURE_OK = 0,
    PICTURE_BAD_CODE,      // a code outside 1 to 154
    PICTURE_COLOURS_SHORT, // the colour list runs out
    PICTURE_FEW_CODES,     // fewer than 16000 codes were given
};

// Decodes code_count codes (16000 for a whole record) with the colour_count bytes of
// colour_list into the 128000-byte picture buffer. Writes every byte of it: blocks from the
// first bad one on (or past code_count) become 0. *blocks_done gets the blocks decoded,
// *colours_used the list bytes they took (either may be null).
PictureStatus picture_decode(const uint8_t *colour_list, int32_t colour_count, uint8_t *pictures,
                             const uint8_t *codes, int32_t code_count, int32_t *blocks_done,
                             int32_t *colours_used);
