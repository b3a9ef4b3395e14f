// Block coding: exact patterns with the fewest boxes, and the budget kept with the least
// added error when the exact codes do not fit.
#include "movie/movie.h"
#include "movie/picture.h"
#include "tools/movtool/encode_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

uint32_t next_random(uint32_t *seed)
{
    *seed = *seed * 1664525u + 1013904223u;
    return *seed >> 8;
}

bool code_keeps(int32_t code, const uint8_t cells[8])
{
    for (int32_t i = 0; i < 8; i++)
        for (int32_t j = 0; j < 8; j++)
            if (block_patterns[code][i] == block_patterns[code][j] && cells[i] != cells[j])
                return false;
    return true;
}

struct Coder {
    BlockCoder *coder = encode_blocks_alloc();
    LzPacker *packer = encode_lz_alloc(MOVIE_CODE_COUNT);
    ~Coder()
    {
        encode_blocks_free(coder);
        encode_lz_free(packer);
    }
};

// Two pictures over a palette of `colours` grey levels: indices, and the RGB they show.
struct Pair {
    Bytes indices, source, palette;
};

Pair pair_make(int32_t colours, uint32_t seed, int32_t noisy_rows)
{
    Pair p{Bytes(MOVIE_PICTURES_BYTES), Bytes(MOVIE_PICTURES_BYTES * 3),
           Bytes((size_t)colours * 3)};
    for (int32_t i = 0; i < colours; i++)
        p.palette[i * 3] = p.palette[i * 3 + 1] = p.palette[i * 3 + 2] =
            (uint8_t)(i * 255 / (colours - 1));
    for (int32_t i = 0; i < MOVIE_PICTURES_BYTES; i++) {
        int32_t y = i % MOVIE_PICTURE_BYTES / 320;
        int32_t v = y < noisy_rows ? (int32_t)(next_random(&seed) % colours) : (i % 320) / 40;
        p.indices[i] = (uint8_t)(v % colours);
        memcpy(&p.source[i * 3], &p.palette[p.indices[i] * 3], 3);
    }
    return p;
}

// Codes the pair within limit and decodes the record built from it.
struct Coded {
    BlockOutput out;
    Bytes codes, data, pictures;
    MovieFault fault;
    double error;
};

Coded code_pair(Coder *c, const Pair &p, int32_t limit)
{
    Coded r{};
    r.codes.resize(MOVIE_CODE_COUNT);
    r.data.resize(MOVIE_DATA_AREA);
    r.out.codes = r.codes.data();
    r.out.data = r.data.data();
    BlockPictures in{p.indices.data(), p.source.data(), p.palette.data(),
                     (int32_t)p.palette.size() / 3};
    EXPECT_TRUE(encode_blocks_code(c->coder, c->packer, &in, limit, &r.out));
    Bytes record(MOVIE_RECORD_SIZE, 0);
    record[0] = (uint8_t)(r.out.colour_count & 255);
    record[1] = (uint8_t)(r.out.colour_count >> 8);
    record[2] = (uint8_t)(r.out.packed_length & 255);
    record[3] = (uint8_t)(r.out.packed_length >> 8);
    memcpy(&record[MOVIE_COLOUR_LIST_OFFSET], r.data.data(),
           (size_t)r.out.colour_count + (size_t)r.out.packed_length);
    Bytes codes(MOVIE_CODE_COUNT);
    r.pictures.resize(MOVIE_PICTURES_BYTES);
    r.fault = movie_decode_record(record.data(), MOVIE_RECORD_SIZE, codes.data(), r.pictures.data(),
                                  nullptr);
    EXPECT_EQ(codes, r.codes);
    for (int32_t i = 0; i < MOVIE_PICTURES_BYTES; i++) {
        double d = (double)p.palette[(r.pictures[i] - 1) * 3] - p.source[i * 3];
        r.error += d * d;
    }
    return r;
}

} // namespace

TEST(EncodeBlocks, ExactCodeHasTheFewestBoxes)
{
    uint32_t seed = 11;
    for (int32_t trial = 0; trial < 20000; trial++) {
        uint8_t cells[8];
        int32_t alphabet = 1 + trial % 8;
        for (uint8_t &v : cells)
            v = (uint8_t)(next_random(&seed) % alphabet);
        int32_t code = encode_blocks_exact_code(cells);
        ASSERT_GE(code, 1);
        ASSERT_LE(code, BLOCK_CODE_MAX);
        ASSERT_TRUE(code_keeps(code, cells));
        for (int32_t other = 1; other <= BLOCK_CODE_MAX; other++) {
            if (code_keeps(other, cells)) {
                ASSERT_GE(block_colour_counts[other], block_colour_counts[code]);
            }
        }
    }
    const uint8_t flat[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    EXPECT_EQ(encode_blocks_exact_code(flat), 1);
    const uint8_t two_pictures[8] = {1, 1, 1, 1, 2, 2, 2, 2};
    EXPECT_EQ(encode_blocks_exact_code(two_pictures), 2);
    const uint8_t all[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(encode_blocks_exact_code(all), 154);
}

TEST(EncodeBlocks, BoxesPartitionTheCellsInColourOrder)
{
    for (int32_t code = 1; code <= BLOCK_CODE_MAX; code++) {
        uint8_t masks[8];
        int32_t k = encode_blocks_boxes(code, masks);
        ASSERT_EQ(k, block_colour_counts[code]);
        uint32_t seen = 0;
        for (int32_t b = 0; b < k; b++) {
            EXPECT_EQ(seen & masks[b], 0u);
            seen |= masks[b];
            for (int32_t cell = 0; cell < 8; cell++)
                EXPECT_EQ(masks[b] >> cell & 1, block_patterns[code][cell] == b);
        }
        EXPECT_EQ(seen, 0xFFu);
    }
}

TEST(EncodeBlocks, FewColoursComeBackExactly)
{
    Coder c;
    Pair p = pair_make(8, 5, 0);
    Coded r = code_pair(&c, p, MOVIE_DATA_AREA);
    EXPECT_TRUE(r.out.lossless);
    EXPECT_EQ(r.out.merges, 0);
    EXPECT_EQ(r.fault, MOVIE_FAULT_NONE);
    for (int32_t i = 0; i < MOVIE_PICTURES_BYTES; i++)
        ASSERT_EQ(r.pictures[i], p.indices[i] + 1) << i;
}

TEST(EncodeBlocks, OverBudgetMergesToFitAndLosesLessWithMoreRoom)
{
    Coder c;
    Pair p = pair_make(64, 9, 200); // both pictures noise: about 8 colours a block
    double last_error = -1;
    for (int32_t limit : {MOVIE_DATA_AREA, 30000, 22000}) {
        Coded r = code_pair(&c, p, limit);
        EXPECT_FALSE(r.out.lossless);
        EXPECT_GT(r.out.merges, 0);
        EXPECT_LE(r.out.colour_count + r.out.packed_length, limit);
        // The search uses the room it has rather than merging far more than needed.
        EXPECT_GT(r.out.colour_count + r.out.packed_length, limit - 400);
        EXPECT_EQ(r.fault, MOVIE_FAULT_NONE);
        EXPECT_GT(r.error, last_error);
        last_error = r.error;
    }
    // Not even the room for one colour a block and nothing more.
    Coded tiny{};
    Bytes codes(MOVIE_CODE_COUNT), data(MOVIE_DATA_AREA);
    tiny.out.codes = codes.data();
    tiny.out.data = data.data();
    BlockPictures in{p.indices.data(), p.source.data(), p.palette.data(), 64};
    EXPECT_FALSE(encode_blocks_code(c.coder, c.packer, &in, 15000, &tiny.out));
}

TEST(EncodeBlocks, MergesSpendTheLossWhereItCostsLeast)
{
    Coder c;
    // Top half noise, bottom half flat bands: the same limit, and the flat half stays exact.
    Pair p = pair_make(64, 21, 100);
    Coded r = code_pair(&c, p, 30000);
    EXPECT_FALSE(r.out.lossless);
    EXPECT_LE(r.out.colour_count + r.out.packed_length, 30000);
    for (int32_t t = 0; t < 2; t++)
        for (int32_t i = 100 * 320; i < MOVIE_PICTURE_BYTES; i++)
            ASSERT_EQ(r.pictures[t * MOVIE_PICTURE_BYTES + i],
                      p.indices[t * MOVIE_PICTURE_BYTES + i] + 1);
}

// Where cell (dx + 2 dy + 4 picture) of block b lies in the two pictures.
static int32_t cell_at(int32_t b, int32_t cell)
{
    return (cell >> 2) * MOVIE_PICTURE_BYTES + (b / 160 * 2 + (cell >> 1 & 1)) * 320 + b % 160 * 2 +
           (cell & 1);
}

TEST(EncodeBlocks, MergesGoWhereTheyAddTheLeastErrorPerColourSaved)
{
    // Two kinds of block over the grey levels 0 to 247, the dear kind in a quarter of the
    // blocks, and a limit that the merges of the cheap kind alone can meet: the dear blocks
    // stay exact. Added squared errors (three components) per colour saved are in brackets.
    struct Case {
        uint8_t cheap[8], dear[8];
        int32_t limit;
    };
    const Case cases[] = {
        // Two dark greys 2 apart (24) against two bright ones 40 apart (9600).
        {{10, 10, 10, 10, 12, 12, 12, 12}, {200, 200, 200, 200, 240, 240, 240, 240}, 26000},
        // Picture B's two rows first (108), then the block to one colour (216 more), against
        // two greys 7 apart (300).
        {{100, 100, 100, 100, 103, 103, 109, 109}, {50, 50, 50, 50, 57, 57, 57, 57}, 28000},
        // Two greys 9 apart (492) against a block to one colour (1200, for two colours).
        {{50, 50, 50, 50, 59, 59, 59, 59}, {100, 100, 100, 100, 110, 110, 90, 90}, 30000},
        // Two greys 13 apart (1020) against each picture's rows to one colour (1200 each).
        {{50, 50, 50, 50, 63, 63, 63, 63}, {90, 90, 110, 110, 190, 190, 210, 210}, 34000},
    };
    Coder c;
    Pair p{Bytes(MOVIE_PICTURES_BYTES), Bytes(MOVIE_PICTURES_BYTES * 3), Bytes(248 * 3)};
    for (int32_t i = 0; i < 248; i++)
        p.palette[i * 3] = p.palette[i * 3 + 1] = p.palette[i * 3 + 2] = (uint8_t)i;
    uint32_t seed = 3;
    std::vector<bool> dear(MOVIE_CODE_COUNT);
    for (int32_t b = 0; b < MOVIE_CODE_COUNT; b++)
        dear[b] = next_random(&seed) % 4 == 0;
    for (const Case &k : cases) {
        for (int32_t b = 0; b < MOVIE_CODE_COUNT; b++)
            for (int32_t cell = 0; cell < 8; cell++) {
                int32_t at = cell_at(b, cell);
                p.indices[at] = dear[b] ? k.dear[cell] : k.cheap[cell];
                memset(&p.source[at * 3], p.indices[at], 3);
            }
        Coded r = code_pair(&c, p, k.limit);
        ASSERT_EQ(r.fault, MOVIE_FAULT_NONE);
        int32_t merged = 0, dear_merged = 0;
        for (int32_t b = 0; b < MOVIE_CODE_COUNT; b++) {
            bool exact = true;
            for (int32_t cell = 0; cell < 8; cell++)
                exact = exact && r.pictures[cell_at(b, cell)] == p.indices[cell_at(b, cell)] + 1;
            merged += !exact;
            dear_merged += dear[b] && !exact;
        }
        EXPECT_GT(merged, 2000) << (int)k.cheap[7];
        EXPECT_EQ(dear_merged, 0) << (int)k.cheap[7];
    }
}

TEST(EncodeBlocks, AMergedBoxTakesThePaletteColourNearestItsCells)
{
    Coder c;
    // 248 colours all over the cube, noise of them in both pictures, and a tight limit.
    uint32_t seed = 7;
    Pair p{Bytes(MOVIE_PICTURES_BYTES), Bytes(MOVIE_PICTURES_BYTES * 3), Bytes(248 * 3)};
    for (uint8_t &v : p.palette)
        v = (uint8_t)(next_random(&seed) % 256);
    for (int32_t i = 0; i < MOVIE_PICTURES_BYTES; i++) {
        p.indices[i] = (uint8_t)(next_random(&seed) % 248);
        memcpy(&p.source[i * 3], &p.palette[p.indices[i] * 3], 3);
    }
    Coded r = code_pair(&c, p, 22000);
    ASSERT_EQ(r.fault, MOVIE_FAULT_NONE);
    auto distance = [&](int32_t k, const double *mean) {
        double e = 0;
        for (int32_t a = 0; a < 3; a++)
            e += (p.palette[k * 3 + a] - mean[a]) * (p.palette[k * 3 + a] - mean[a]);
        return std::sqrt(e);
    };
    int32_t merged = 0;
    for (int32_t b = 0; b < MOVIE_CODE_COUNT; b++) {
        uint8_t masks[8];
        int32_t boxes = encode_blocks_boxes(r.codes[b], masks);
        for (int32_t box = 0; box < boxes; box++) {
            double mean[3] = {0, 0, 0};
            int32_t n = 0, chosen = -1;
            for (int32_t cell = 0; cell < 8; cell++) {
                if (!(masks[box] >> cell & 1)) continue;
                int32_t at = cell_at(b, cell);
                for (int32_t a = 0; a < 3; a++)
                    mean[a] += p.source[at * 3 + a];
                chosen = r.pictures[at] - 1;
                n++;
            }
            for (double &m : mean)
                m /= n;
            double best = 1e9;
            for (int32_t k = 0; k < 248; k++)
                best = std::min(best, distance(k, mean));
            // The search is made once for each 6-bit colour: a mean up to two steps of 4 a
            // component from the one it was made for.
            ASSERT_LE(distance(chosen, mean), best + 2 * std::sqrt(48.0)) << "block " << b;
            merged += n > 1 && distance(chosen, mean) > 0;
        }
    }
    EXPECT_GT(merged, 10000);
}
