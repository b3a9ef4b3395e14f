// Record assembly. Each record is decoded again by the player's own decoder before it is
// handed out, so a fault in the encoder can never reach a movie file.
#include "tools/movtool/encode_record.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "movie/movie.h"
#include "tools/movtool/encode_arrays.h"
#include "tools/movtool/encode_blocks.h"
#include "tools/movtool/encode_lz.h"
#include "tools/movtool/encode_quantize.h"

// Exact codes this close to the record's limit may not fit once packed.
constexpr int32_t SPARE_HINT = 2000;

struct RecordEncoder {
    Quantizer *quantizer;
    BlockCoder *coder;
    LzPacker *packer;
    uint8_t *indices; // MOVIE_PICTURES_BYTES
    uint8_t *codes;   // MOVIE_CODE_COUNT
    uint8_t *decoded_codes;
    uint8_t *decoded; // MOVIE_PICTURES_BYTES
    uint8_t *means;   // MOVIE_CODE_COUNT x 3 colours: block means, for spare palette entries
    uint8_t *mean_indices;
    uint8_t palette6[ENCODE_PALETTE_MAX * 3];
    uint8_t palette8[ENCODE_PALETTE_MAX * 3];
};

RecordEncoder *encode_record_alloc()
{
    RecordEncoder *e = new (std::nothrow) RecordEncoder{};
    if (!e) return nullptr;
    e->quantizer = encode_quantize_alloc();
    e->coder = encode_blocks_alloc();
    e->packer = encode_lz_alloc(MOVIE_CODE_COUNT);
    e->indices = (uint8_t *)malloc(MOVIE_PICTURES_BYTES);
    e->codes = (uint8_t *)malloc(MOVIE_CODE_COUNT);
    e->decoded_codes = (uint8_t *)malloc(MOVIE_CODE_COUNT);
    e->decoded = (uint8_t *)malloc(MOVIE_PICTURES_BYTES);
    e->means = (uint8_t *)malloc(MOVIE_CODE_COUNT * 3 * 3);
    e->mean_indices = (uint8_t *)malloc(MOVIE_CODE_COUNT * 3);
    if (!encode_all_allocated(e->quantizer, e->coder, e->packer, e->indices, e->codes,
                              e->decoded_codes, e->decoded, e->means, e->mean_indices)) {
        encode_record_free(e);
        return nullptr;
    }
    return e;
}

void encode_record_free(RecordEncoder *e)
{
    if (!e) return;
    encode_quantize_free(e->quantizer);
    encode_blocks_free(e->coder);
    encode_lz_free(e->packer);
    encode_free_all(e->indices, e->codes, e->decoded_codes, e->decoded, e->means, e->mean_indices);
    delete e;
}

// Pictures of few colours that still do not fit: merged boxes would have to take one of those
// few colours (black or white for a two-colour picture), so the unused palette entries get
// colours of the block means (each picture's 2x2 squares and the blocks whole) that merged
// boxes will want. Returns the number of entries added after the first `size`.
static int32_t spare_colours(RecordEncoder *e, const uint8_t *rgb, int32_t size)
{
    int32_t n = 0;
    for (int32_t b = 0; b < MOVIE_CODE_COUNT; b++) {
        int32_t x = b % 160 * 2, y = b / 160 * 2;
        int32_t sum[2][3] = {};
        for (int32_t t = 0; t < 2; t++)
            for (int32_t cell = 0; cell < 4; cell++) {
                const uint8_t *p =
                    rgb +
                    ((ptrdiff_t)t * MOVIE_PICTURE_BYTES + (y + cell / 2) * 320 + x + cell % 2) * 3;
                for (int32_t a = 0; a < 3; a++)
                    sum[t][a] += p[a];
            }
        for (int32_t a = 0; a < 3; a++) {
            e->means[n * 3 + a] = (uint8_t)((sum[0][a] + 2) / 4);
            e->means[(n + 1) * 3 + a] = (uint8_t)((sum[1][a] + 2) / 4);
            e->means[(n + 2) * 3 + a] = (uint8_t)((sum[0][a] + sum[1][a] + 4) / 8);
        }
        n += 3;
    }
    return encode_quantize(e->quantizer, e->means, n, e->palette6 + size * 3, e->mean_indices,
                           ENCODE_PALETTE_MAX - size);
}

double encode_psnr(double squared_error, double samples)
{
    if (squared_error <= 0) return 99.0;
    double psnr = 10.0 * std::log10(255.0 * 255.0 * samples / squared_error);
    return psnr > 99.0 ? 99.0 : psnr;
}

bool encode_record(RecordEncoder *e, const uint8_t *rgb, const uint8_t *sound, uint8_t *record,
                   RecordStats *stats, char *error, size_t error_size)
{
    memset(stats, 0, sizeof *stats);
    int32_t size = encode_quantize(e->quantizer, rgb, MOVIE_PICTURES_BYTES, e->palette6, e->indices,
                                   ENCODE_PALETTE_MAX);
    if (size < ENCODE_PALETTE_MAX &&
        encode_blocks_exact_colours(e->coder, e->indices) > MOVIE_DATA_AREA - SPARE_HINT)
        size += spare_colours(e, rgb, size);
    for (int32_t i = 0; i < size * 3; i++)
        e->palette8[i] = (uint8_t)encode_expand6(e->palette6[i]);

    memset(record, 0, MOVIE_RECORD_SIZE);
    BlockPictures in{e->indices, rgb, e->palette8, size};
    BlockOutput out{};
    out.codes = e->codes;
    out.data = record + MOVIE_COLOUR_LIST_OFFSET;
    if (!encode_blocks_code(e->coder, e->packer, &in, MOVIE_DATA_AREA, &out)) {
        snprintf(error, error_size, "the pictures could not be fitted into one record");
        return false;
    }
    record[0] = (uint8_t)(out.colour_count & 255);
    record[1] = (uint8_t)(out.colour_count >> 8);
    record[2] = (uint8_t)(out.packed_length & 255);
    record[3] = (uint8_t)(out.packed_length >> 8);
    memcpy(record + MOVIE_PALETTE_OFFSET, e->palette6, (size_t)size * 3);
    memcpy(record + MOVIE_SOUND_OFFSET, sound, MOVIE_SOUND_SIZE);

    int32_t fault_at = 0;
    MovieFault fault =
        movie_decode_record(record, MOVIE_RECORD_SIZE, e->decoded_codes, e->decoded, &fault_at);
    if (fault != MOVIE_FAULT_NONE || memcmp(e->decoded_codes, e->codes, MOVIE_CODE_COUNT) != 0) {
        snprintf(error, error_size, "internal error: the record does not decode (%s at %d)",
                 movie_fault_text(fault), fault_at);
        return false;
    }
    double squared = 0;
    bool exact = true;
    for (int32_t p = 0; p < MOVIE_PICTURES_BYTES; p++) {
        int32_t v = e->decoded[p];
        if (v < 1 || v > size) {
            snprintf(error, error_size, "internal error: pixel value %d outside the palette", v);
            return false;
        }
        exact = exact && v == e->indices[p] + 1;
        const uint8_t *c = e->palette8 + (v - 1) * 3;
        const uint8_t *s = rgb + p * 3;
        for (int32_t a = 0; a < 3; a++) {
            int32_t d = c[a] - s[a];
            squared += d * d;
        }
    }
    if (out.lossless && !exact) {
        snprintf(error, error_size, "internal error: a lossless record decodes differently");
        return false;
    }
    stats->palette_size = size;
    stats->colour_count = out.colour_count;
    stats->packed_length = out.packed_length;
    stats->merges = out.merges;
    stats->lossless = exact;
    stats->squared_error = squared;
    return true;
}
