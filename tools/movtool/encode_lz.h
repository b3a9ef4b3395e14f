// Packer for a record's block codes: the inverse of lz_unpack, searching for the cheapest parse
// of literal runs and non-overlapping copies.
#pragma once

#include <cstdint>

// Working memory of the packer for inputs of up to max_input bytes, obtained once per run.
struct LzPacker;

LzPacker *encode_lz_alloc(int32_t max_input);
void encode_lz_free(LzPacker *packer);

enum LzEffort : int32_t {
    LZ_FAST, // a shorter search, for estimates: a few percent larger
    LZ_BEST,
};

// Packs length bytes of source into dest (dest_capacity bytes). Returns the packed length, or
// -1 when it does not fit in dest_capacity. Every copy reads only bytes already written, ending
// at or before the output's current end.
int32_t encode_lz_pack(LzPacker *packer, const uint8_t *source, int32_t length, uint8_t *dest,
                       int32_t dest_capacity, LzEffort effort);

// The size of the packed form of a literal-only stream of length bytes: an upper bound of what
// encode_lz_pack returns.
int32_t encode_lz_bound(int32_t length);
