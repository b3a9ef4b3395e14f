// The packer against the movie's own unpacker: every stream must come back byte for byte, and
// the corpus must make the packer use each instruction that can be the cheapest.
#include "movie/lz.h"
#include "tools/movtool/encode_lz.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

struct Packer {
    LzPacker *p = encode_lz_alloc(16000);
    ~Packer() { encode_lz_free(p); }
};

uint32_t next_random(uint32_t *seed)
{
    *seed = *seed * 1664525u + 1013904223u;
    return *seed >> 8;
}

// Codes as the block coder makes them: mostly flat blocks, runs, repeats near and far.
std::vector<Bytes> corpus()
{
    std::vector<Bytes> all;
    uint32_t seed = 7;
    all.push_back(Bytes(16000, 1));
    Bytes random(16000);
    for (uint8_t &v : random)
        v = (uint8_t)(1 + next_random(&seed) % 154);
    all.push_back(random);
    // Short random phrases repeated at short and long distances, some long, some short.
    Bytes mixed;
    std::vector<Bytes> phrases;
    while (mixed.size() < 16000) {
        uint32_t pick = next_random(&seed) % 10;
        if (pick < 4 || phrases.empty()) {
            Bytes phrase(4 + next_random(&seed) % 80);
            for (uint8_t &v : phrase)
                v = (uint8_t)(1 + next_random(&seed) % 154);
            phrases.push_back(phrase);
            mixed.insert(mixed.end(), phrase.begin(), phrase.end());
        } else {
            const Bytes &again = phrases[next_random(&seed) % phrases.size()];
            mixed.insert(mixed.end(), again.begin(), again.end());
        }
    }
    mixed.resize(16000);
    all.push_back(mixed);
    // A picture-like stream: rows of flat blocks with a few edges that repeat row to row.
    Bytes rows(16000, 1);
    for (int32_t i = 0; i < 16000; i++)
        if (i % 160 == 37 || i % 160 == 38 || (i / 160 % 7 == 3 && i % 160 > 90))
            rows[i] = (uint8_t)(2 + (i / 160) % 5);
    all.push_back(rows);
    return all;
}

struct OpCounts {
    int32_t op[8] = {};
};

// Walks a packed stream's instructions (the unpacker itself checks the bytes).
bool count_ops(const Bytes &packed, OpCounts *counts)
{
    size_t at = 0;
    int32_t written = 0;
    while (at < packed.size()) {
        uint8_t c = packed[at++];
        int32_t op = c >> 5, n = c & 31;
        counts->op[op]++;
        if (op == 0 || op == 1 || op >= 6) {
            int32_t l = n + 1;
            if (op != 0) l += 32 * packed[at++];
            at += (size_t)l;
            written += l;
            continue;
        }
        int32_t l = n + 4, o;
        if (op == 3 || op == 5) l += 32 * packed[at++];
        if (op == 2 || op == 3) {
            o = packed[at++];
        } else {
            o = packed[at] | packed[at + 1] << 8;
            at += 2;
        }
        // The distance is offset plus length: never beyond what was written, never overlapping.
        if (o + l > written) return false;
        written += l;
    }
    return at == packed.size();
}

Bytes pack(LzPacker *p, const Bytes &in, LzEffort effort)
{
    Bytes out((size_t)encode_lz_bound((int32_t)in.size()));
    int32_t n =
        encode_lz_pack(p, in.data(), (int32_t)in.size(), out.data(), (int32_t)out.size(), effort);
    out.resize(n < 0 ? 0 : (size_t)n);
    return out;
}

} // namespace

TEST(EncodeLz, CorpusComesBackExactlyAndUsesEveryPayingInstruction)
{
    Packer packer;
    OpCounts counts;
    for (const Bytes &in : corpus())
        for (LzEffort effort : {LZ_FAST, LZ_BEST}) {
            Bytes packed = pack(packer.p, in, effort);
            ASSERT_FALSE(packed.empty());
            EXPECT_LE(packed.size(), (size_t)encode_lz_bound((int32_t)in.size()));
            Bytes out(16000, 0);
            int32_t written = -1;
            EXPECT_EQ(lz_unpack(out.data(), 16000, packed.data(), (int32_t)packed.size(), &written),
                      LZ_OK);
            EXPECT_EQ(written, (int32_t)in.size());
            EXPECT_EQ(out, in);
            EXPECT_TRUE(count_ops(packed, &counts));
        }
    // Operations 6 and 7 only repeat operation 1 and never pay off.
    for (int32_t op = 0; op < 6; op++)
        EXPECT_GT(counts.op[op], 0) << "operation " << op << " never used";
    EXPECT_EQ(counts.op[6] + counts.op[7], 0);
}

TEST(EncodeLz, FindsTheCheapestParse)
{
    Packer packer;
    // Four bytes four times: a literal run of 4, then copies of 4 and 8 (9 bytes in all).
    Bytes in = {0x41, 0x42, 0x43, 0x44, 0x41, 0x42, 0x43, 0x44,
                0x41, 0x42, 0x43, 0x44, 0x41, 0x42, 0x43, 0x44};
    Bytes packed = pack(packer.p, in, LZ_BEST);
    EXPECT_EQ(packed, (Bytes{0x03, 0x41, 0x42, 0x43, 0x44, 0x40, 0x00, 0x44, 0x00}));
    // A long run of one byte doubles its copies, since a copy may not overlap itself.
    Bytes flat(16000, 9);
    EXPECT_LT(pack(packer.p, flat, LZ_BEST).size(), 100u);
    // Incompressible input costs no more than its literal runs.
    uint32_t seed = 3;
    Bytes random(16000);
    for (uint8_t &v : random)
        v = (uint8_t)next_random(&seed);
    EXPECT_EQ(pack(packer.p, random, LZ_BEST).size(), (size_t)encode_lz_bound(16000));
}

TEST(EncodeLz, EdgeLengthsAndCapacity)
{
    Packer packer;
    Bytes out(64);
    EXPECT_EQ(encode_lz_pack(packer.p, nullptr, 0, out.data(), 64, LZ_BEST), 0);
    for (int32_t n : {1, 3, 4, 5, 31, 32, 33, 35, 36, 8192, 8193, 8195, 8196, 16000}) {
        Bytes in((size_t)n);
        for (int32_t i = 0; i < n; i++)
            in[(size_t)i] = (uint8_t)(i % 3 == 0 ? 7 : i % 5);
        Bytes packed = pack(packer.p, in, LZ_BEST);
        Bytes back(16000);
        int32_t written = -1;
        ASSERT_EQ(lz_unpack(back.data(), 16000, packed.data(), (int32_t)packed.size(), &written),
                  LZ_OK)
            << n;
        back.resize((size_t)written);
        EXPECT_EQ(back, in) << n;
    }
    Bytes in(1000, 5);
    EXPECT_EQ(encode_lz_pack(packer.p, in.data(), 1000, out.data(), 3, LZ_BEST), -1);
    EXPECT_EQ(encode_lz_pack(packer.p, in.data(), 16001, out.data(), 64, LZ_BEST), -1);
}
