// Test-only generator of well-formed movie records: codes each block exactly with its fewest
// boxes, packs the codes with a greedy matcher, and lays the record out. Deliberately simple and
// independent of the real encoder, so the decoder is checked against a second writer.
#pragma once

#include <cstdint>
#include <vector>

enum GenScene : int32_t {
    GEN_FLAT,     // large flat rectangles that move a little
    GEN_GRADIENT, // smooth ramps that drift
    GEN_SHAPES,   // moving discs and bars over a ramp
    GEN_NOISE,    // a patch of noise as big as still fits the record
    GEN_TEXTURE,  // film-like: most blocks flat or split once, some busy, moving texture
    GEN_SCENE_COUNT,
};

// Exact block coding of both pictures (128000 bytes): writes 16000 codes and the colour list
// (up to 128000 bytes) and returns the colour count.
int32_t gen_block_codes(const uint8_t *pictures, uint8_t *codes, uint8_t *colours);

// Greedy LZ packing of n bytes into out (cap bytes). Returns the packed length, or -1 when it
// does not fit. Uses every operation where it is the shortest form.
int32_t gen_lz_pack(const uint8_t *in, int32_t n, uint8_t *out, int32_t cap);

// Lays out one record (43797 bytes). Returns false when colour list plus packed codes exceed
// the record's 39500-byte area.
bool gen_record(const uint8_t *pictures, const uint8_t *palette, const uint8_t *sound,
                uint8_t *record);

// Pictures (128000 bytes), palette (744) and sound (3528) for record `index` of a scene.
void gen_scene(GenScene scene, int32_t index, uint8_t *pictures, uint8_t *palette, uint8_t *sound);

// A whole movie of `records` records of one scene, in memory.
std::vector<uint8_t> gen_movie(GenScene scene, int32_t records);

// Writes bytes to a file; false on failure.
bool gen_write_file(const char *path, const std::vector<uint8_t> &bytes);

// Writes a movie of twelve silent records whose every pixel is palette entry 7, 6-bit
// (40, 50, 20) like the rest of the palette: one flat colour to find on a screen. False on
// failure.
bool gen_write_flat_movie(const char *path);
