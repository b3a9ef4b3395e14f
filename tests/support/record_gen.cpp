#include "tests/support/record_gen.h"

#include "movie/movie.h"
#include "movie/picture.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int32_t gen_block_codes(const uint8_t *pictures, uint8_t *codes, uint8_t *colours)
{
    int32_t q = 0;
    for (int32_t i = 0; i < MOVIE_CODE_COUNT; i++) {
        const int32_t x = (i % 160) * 2;
        const int32_t y = (i / 160) * 2;
        uint8_t cell[8];
        for (int c = 0; c < 8; c++)
            cell[c] =
                pictures[(c >> 2) * MOVIE_PICTURE_BYTES + (y + ((c >> 1) & 1)) * 320 + x + (c & 1)];
        // Codes are ordered by box count, so the first exact one has the fewest boxes.
        for (int code = 1; code <= BLOCK_CODE_MAX; code++) {
            const uint8_t *p = block_patterns[code];
            int16_t colour[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
            bool exact = true;
            for (int c = 0; c < 8 && exact; c++) {
                if (colour[p[c]] < 0) colour[p[c]] = cell[c];
                exact = colour[p[c]] == cell[c];
            }
            if (!exact) continue;
            codes[i] = static_cast<uint8_t>(code);
            for (int k = 0; k < block_colour_counts[code]; k++)
                colours[q++] = static_cast<uint8_t>(colour[k]);
            break;
        }
    }
    return q;
}

namespace
{

int32_t emit_literals(const uint8_t *from, int32_t n, uint8_t *out, int32_t at, int32_t cap)
{
    while (n > 0) {
        const int32_t run = n > 8192 ? 8192 : n;
        if (run <= 32) {
            if (at + 1 + run > cap) return -1;
            out[at++] = static_cast<uint8_t>(run - 1);
        } else {
            if (at + 2 + run > cap) return -1;
            out[at++] = static_cast<uint8_t>(0x20 | ((run - 1) & 31));
            out[at++] = static_cast<uint8_t>((run - 1) >> 5);
        }
        std::memcpy(out + at, from, static_cast<size_t>(run));
        at += run;
        from += run;
        n -= run;
    }
    return at;
}

int32_t emit_copy(int32_t length, int32_t offset, uint8_t *out, int32_t at, int32_t cap)
{
    uint8_t b[4];
    int32_t size;
    if (length <= 35) {
        if (offset <= 255) {
            b[0] = static_cast<uint8_t>(0x40 | (length - 4));
            b[1] = static_cast<uint8_t>(offset);
            size = 2;
        } else {
            b[0] = static_cast<uint8_t>(0x80 | (length - 4));
            b[1] = static_cast<uint8_t>(offset);
            b[2] = static_cast<uint8_t>(offset >> 8);
            size = 3;
        }
    } else {
        const int32_t n = (length - 4) & 31;
        const int32_t e = (length - 4) >> 5;
        if (offset <= 255) {
            b[0] = static_cast<uint8_t>(0x60 | n);
            b[1] = static_cast<uint8_t>(e);
            b[2] = static_cast<uint8_t>(offset);
            size = 3;
        } else {
            b[0] = static_cast<uint8_t>(0xA0 | n);
            b[1] = static_cast<uint8_t>(e);
            b[2] = static_cast<uint8_t>(offset);
            b[3] = static_cast<uint8_t>(offset >> 8);
            size = 4;
        }
    }
    if (at + size > cap) return -1;
    std::memcpy(out + at, b, static_cast<size_t>(size));
    return at + size;
}

} // namespace

int32_t gen_lz_pack(const uint8_t *in, int32_t n, uint8_t *out, int32_t cap)
{
    constexpr int32_t HASH_BITS = 14;
    std::vector<int32_t> head(1 << HASH_BITS, -1);
    std::vector<int32_t> chain(static_cast<size_t>(n > 0 ? n : 1), -1);
    auto hash = [&](int32_t i) {
        uint32_t v;
        std::memcpy(&v, in + i, 4);
        return (v * 2654435761u) >> (32 - HASH_BITS);
    };
    int32_t at = 0;
    int32_t literal_start = 0;
    int32_t i = 0;
    while (i < n) {
        int32_t best_length = 0;
        int32_t best_start = 0;
        if (i + 4 <= n) {
            int tries = 32;
            for (int32_t s = head[hash(i)]; s >= 0 && tries-- > 0; s = chain[s]) {
                // The copy's source must end at or before the current position.
                int32_t limit = i - s;
                if (limit > n - i) limit = n - i;
                if (limit > 8195) limit = 8195;
                int32_t length = 0;
                while (length < limit && in[s + length] == in[i + length])
                    length++;
                const int32_t offset = i - s - length;
                if (length >= 4 && offset <= 65535 && length > best_length) {
                    best_length = length;
                    best_start = s;
                }
            }
        }
        if (best_length >= 4) {
            at = emit_literals(in + literal_start, i - literal_start, out, at, cap);
            if (at < 0) return -1;
            at = emit_copy(best_length, i - best_start - best_length, out, at, cap);
            if (at < 0) return -1;
            for (int32_t j = i; j < i + best_length; j++)
                if (j + 4 <= n) {
                    const uint32_t h = hash(j);
                    chain[j] = head[h];
                    head[h] = j;
                }
            i += best_length;
            literal_start = i;
        } else {
            if (i + 4 <= n) {
                const uint32_t h = hash(i);
                chain[i] = head[h];
                head[h] = i;
            }
            i++;
        }
    }
    return emit_literals(in + literal_start, n - literal_start, out, at, cap);
}

bool gen_record(const uint8_t *pictures, const uint8_t *palette, const uint8_t *sound,
                uint8_t *record)
{
    std::vector<uint8_t> codes(MOVIE_CODE_COUNT);
    std::vector<uint8_t> colours(MOVIE_PICTURES_BYTES);
    const int32_t colour_count = gen_block_codes(pictures, codes.data(), colours.data());
    if (colour_count > MOVIE_DATA_AREA) return false;
    std::memset(record, 0, MOVIE_RECORD_SIZE);
    std::memcpy(record + MOVIE_COLOUR_LIST_OFFSET, colours.data(),
                static_cast<size_t>(colour_count));
    uint8_t *packed = record + MOVIE_COLOUR_LIST_OFFSET + colour_count;
    const int32_t packed_length =
        gen_lz_pack(codes.data(), MOVIE_CODE_COUNT, packed, MOVIE_DATA_AREA - colour_count);
    if (packed_length < 0) return false;
    record[0] = static_cast<uint8_t>(colour_count);
    record[1] = static_cast<uint8_t>(colour_count >> 8);
    record[2] = static_cast<uint8_t>(packed_length);
    record[3] = static_cast<uint8_t>(packed_length >> 8);
    std::memcpy(record + MOVIE_PALETTE_OFFSET, palette, MOVIE_PALETTE_BYTES);
    std::memcpy(record + MOVIE_SOUND_OFFSET, sound, MOVIE_SOUND_SIZE);
    return true;
}

namespace
{

uint32_t gen_random(uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

uint8_t gen_pixel(GenScene scene, int32_t t, int32_t x, int32_t y, uint32_t &noise)
{
    switch (scene) {
    case GEN_FLAT: {
        const int32_t bx = (x + t) / 80;
        const int32_t by = (y + t / 2) / 50;
        return static_cast<uint8_t>(1 + (bx * 7 + by * 13) % 24);
    }
    case GEN_GRADIENT:
        return static_cast<uint8_t>(1 + ((x + 4 * t) / 4 + y / 16) % 248);
    case GEN_SHAPES: {
        const int32_t cx = 40 + (t * 6) % 240;
        const int32_t cy = 100 + static_cast<int32_t>(60 * std::sin(t * 0.2));
        const int32_t dx = x - cx;
        const int32_t dy = y - cy;
        if (dx * dx + dy * dy < 900) return 200;
        if (((x + 3 * t) / 16) % 5 == 0 && y > 150) return 220;
        return static_cast<uint8_t>(1 + (x / 2 + y / 4) % 180);
    }
    case GEN_TEXTURE: {
        // A per-block roll decides how busy each block is; the texture drifts one pixel a
        // picture, so A and B differ where it has edges.
        const int32_t sx = x + 2 * (t / 2);
        const int32_t cx = 60 + (t * 5) % 200;
        if ((x - cx) * (x - cx) + (y - 100) * (y - 100) < 1600)
            return static_cast<uint8_t>(230 + (x + y) % 8);
        uint32_t roll = static_cast<uint32_t>((sx / 2) * 7919 + (y / 2) * 104729);
        roll = (roll ^ (roll >> 13)) * 2654435761u;
        const uint32_t busy = (roll >> 24) % 100;
        const uint8_t base = static_cast<uint8_t>(1 + (sx / 8 + y / 6) % 120);
        if (busy < 70) return base;
        if (busy < 88) return static_cast<uint8_t>(base + (y & 1) * 60);
        if (busy < 98) return static_cast<uint8_t>(base + ((sx + y) & 1) * 40 + (y & 1) * 20);
        return static_cast<uint8_t>(1 + gen_random(noise) % 248);
    }
    case GEN_NOISE:
    default:
        if (x >= 100 && x < 164 && y >= 60 && y < 124)
            return static_cast<uint8_t>(1 + gen_random(noise) % 248);
        return static_cast<uint8_t>(1 + (x / 10 + t) % 248);
    }
}

} // namespace

void gen_scene(GenScene scene, int32_t index, uint8_t *pictures, uint8_t *palette, uint8_t *sound)
{
    uint32_t noise = 0x9E3779B9u ^ static_cast<uint32_t>(index * 7919 + scene);
    for (int32_t t = 0; t < 2; t++)
        for (int32_t y = 0; y < 200; y++)
            for (int32_t x = 0; x < 320; x++)
                pictures[t * MOVIE_PICTURE_BYTES + y * 320 + x] =
                    gen_pixel(scene, 2 * index + t, x, y, noise);
    for (int32_t k = 0; k < 248; k++) {
        palette[3 * k] = static_cast<uint8_t>((k * 5 + index) & 63);
        palette[3 * k + 1] = static_cast<uint8_t>((k * 3) & 63);
        palette[3 * k + 2] = static_cast<uint8_t>((63 - k) & 63);
    }
    // A tone whose pitch follows the record, so chunks are told apart by their bytes.
    for (int32_t i = 0; i < MOVIE_SOUND_SIZE; i++) {
        const double phase = (index * MOVIE_SOUND_SIZE + i) * (220.0 + 20 * index) / 22050.0;
        sound[i] = static_cast<uint8_t>(128 + 100 * std::sin(6.283185307179586 * phase));
    }
}

std::vector<uint8_t> gen_movie(GenScene scene, int32_t records)
{
    std::vector<uint8_t> movie(static_cast<size_t>(records) * MOVIE_RECORD_SIZE);
    std::vector<uint8_t> pictures(MOVIE_PICTURES_BYTES);
    uint8_t palette[MOVIE_PALETTE_BYTES];
    uint8_t sound[MOVIE_SOUND_SIZE];
    for (int32_t r = 0; r < records; r++) {
        gen_scene(scene, r, pictures.data(), palette, sound);
        if (!gen_record(pictures.data(), palette, sound,
                        movie.data() + static_cast<size_t>(r) * MOVIE_RECORD_SIZE)) {
            std::fprintf(stderr, "gen_movie: scene %d record %d does not fit\n", scene, r);
            return {};
        }
    }
    return movie;
}

bool gen_write_file(const char *path, const std::vector<uint8_t> &bytes)
{
    FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool gen_write_flat_movie(const char *path)
{
    std::vector<uint8_t> pictures(MOVIE_PICTURES_BYTES, 7), palette(744), sound(3528, 0x80);
    for (int k = 0; k < 248; k++) {
        palette[3 * k] = 40;
        palette[3 * k + 1] = 50;
        palette[3 * k + 2] = 20;
    }
    std::vector<uint8_t> file(12 * MOVIE_RECORD_SIZE);
    for (int i = 0; i < 12; i++)
        if (!gen_record(pictures.data(), palette.data(), sound.data(),
                        file.data() + i * MOVIE_RECORD_SIZE))
            return false;
    return gen_write_file(path, file);
}
