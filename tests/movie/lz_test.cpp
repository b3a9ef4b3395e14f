#include "movie/lz.h"
#include "tests/movie/reference_decoder.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

struct Unpacked {
    LzStatus status;
    Bytes out;
};

// Unpacks into a destination of `room` bytes surrounded by guard bytes that must stay intact.
Unpacked unpack(const Bytes &in, int32_t room = 16000)
{
    Bytes area(static_cast<size_t>(room) + 64, 0xEE);
    int32_t written = -1;
    const LzStatus status =
        lz_unpack(area.data() + 32, room, in.data(), static_cast<int32_t>(in.size()), &written);
    for (int i = 0; i < 32; i++) {
        EXPECT_EQ(area[static_cast<size_t>(i)], 0xEE) << "wrote before the destination";
        EXPECT_EQ(area[area.size() - 1 - static_cast<size_t>(i)], 0xEE) << "wrote past it";
    }
    EXPECT_GE(written, 0);
    EXPECT_LE(written, room);
    return {status, Bytes(area.begin() + 32, area.begin() + 32 + written)};
}

TEST(LzUnpack, WorkedExamples)
{
    EXPECT_EQ(unpack({}).out, Bytes{});

    // A literal run of four, then two copies with offset 0 that repeat what was written.
    Unpacked r = unpack({0x03, 0x41, 0x42, 0x43, 0x44, 0x40, 0x00, 0x44, 0x00});
    EXPECT_EQ(r.status, LZ_OK);
    Bytes four_times;
    for (int i = 0; i < 4; i++)
        four_times.insert(four_times.end(), {0x41, 0x42, 0x43, 0x44});
    EXPECT_EQ(r.out, four_times);

    // Offset 2: L = 4, D = 6, output positions 2 to 5.
    r = unpack({0x07, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x40, 0x02});
    EXPECT_EQ(r.status, LZ_OK);
    EXPECT_EQ(r.out,
              (Bytes{0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x43, 0x44, 0x45, 0x46}));
}

TEST(LzUnpack, LiteralOperationsOneSixSevenAreTheSame)
{
    Bytes in = {0x20, 0x01};
    for (int i = 0; i < 33; i++)
        in.push_back(static_cast<uint8_t>(i + 1));
    Unpacked r = unpack(in);
    ASSERT_EQ(r.status, LZ_OK);
    ASSERT_EQ(r.out.size(), 33u);
    EXPECT_EQ(r.out[32], 33);

    for (uint8_t control : std::initializer_list<uint8_t>{0x20, 0xC0, 0xE0}) {
        r = unpack({control, 0x00, 0x5A});
        EXPECT_EQ(r.status, LZ_OK);
        EXPECT_EQ(r.out, Bytes{0x5A}) << int(control);
    }
    // The longest run: n = 31, e = 255 gives 8192 bytes.
    Bytes longest = {0xFF, 0xFF};
    longest.resize(2 + 8192, 7);
    r = unpack(longest);
    EXPECT_EQ(r.status, LZ_OK);
    EXPECT_EQ(r.out.size(), 8192u);
}

TEST(LzUnpack, CopyDistancesOfEveryOperation)
{
    Bytes prefix = {0x27, 0x01}; // literal run of 40 bytes: 1..40
    for (int i = 1; i <= 40; i++)
        prefix.push_back(static_cast<uint8_t>(i));

    // Operation 3, e = 0, o = 5: 4 bytes from 9 back.
    Bytes in = prefix;
    in.insert(in.end(), {0x60, 0x00, 0x05});
    Unpacked r = unpack(in);
    ASSERT_EQ(r.status, LZ_OK);
    EXPECT_EQ(Bytes(r.out.begin() + 40, r.out.end()), (Bytes{32, 33, 34, 35}));

    // Operation 5, n = 1, e = 1, o = 3: 37 bytes from 40 back.
    in = prefix;
    in.insert(in.end(), {0xA1, 0x01, 0x03, 0x00});
    r = unpack(in);
    ASSERT_EQ(r.status, LZ_OK);
    ASSERT_EQ(r.out.size(), 77u);
    for (int i = 0; i < 37; i++)
        EXPECT_EQ(r.out[40 + static_cast<size_t>(i)], i + 1);

    // Operation 4 with a two-byte offset, low byte first: o = 0x0102 needs 258 + 4 bytes back.
    in = {0xFF, 0x08}; // literal run of 288 bytes
    for (int i = 0; i < 288; i++)
        in.push_back(static_cast<uint8_t>(i * 7));
    in.insert(in.end(), {0x80, 0x02, 0x01});
    r = unpack(in);
    ASSERT_EQ(r.status, LZ_OK);
    ASSERT_EQ(r.out.size(), 292u);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(r.out[288 + static_cast<size_t>(i)], r.out[288 - 262 + static_cast<size_t>(i)]);
}

TEST(LzUnpack, DamagedStreamsStopAtTheFirstBadInstruction)
{
    // A literal run that claims more bytes than the stream has.
    Unpacked r = unpack({0x00, 0x41, 0x05, 0x41});
    EXPECT_EQ(r.status, LZ_TRUNCATED);
    EXPECT_EQ(r.out, Bytes{0x41});
    // Extra bytes missing at the end.
    EXPECT_EQ(unpack({0x00, 0x41, 0xA0, 0x00}).status, LZ_TRUNCATED);
    EXPECT_EQ(unpack({0x20}).status, LZ_TRUNCATED);

    // A copy reaching before the output's start: 4 written, D = 5.
    r = unpack({0x03, 1, 2, 3, 4, 0x40, 0x01});
    EXPECT_EQ(r.status, LZ_DISTANCE);
    EXPECT_EQ(r.out.size(), 4u);
    EXPECT_EQ(unpack({0x40, 0x00}).status, LZ_DISTANCE);

    // Output past the destination: the whole instruction is refused.
    r = unpack({0x07, 1, 2, 3, 4, 5, 6, 7, 8}, 6);
    EXPECT_EQ(r.status, LZ_OVERFLOW);
    EXPECT_TRUE(r.out.empty());
    r = unpack({0x03, 1, 2, 3, 4, 0x40, 0x00}, 7);
    EXPECT_EQ(r.status, LZ_OVERFLOW);
    EXPECT_EQ(r.out.size(), 4u);

    // Negative lengths and sizes read and write nothing.
    int32_t written = -1;
    uint8_t byte = 0x00;
    EXPECT_EQ(lz_unpack(&byte, 1, &byte, -5, &written), LZ_OK);
    EXPECT_EQ(written, 0);
}

TEST(LzUnpack, AgreesWithTheReferenceOnPackedCodesOfEveryScene)
{
    std::mt19937 rng(7);
    for (int scene = 0; scene < GEN_SCENE_COUNT; scene++) {
        // Codes with long runs and repeats, as real pictures give, and some noise.
        Bytes codes(16000);
        for (size_t i = 0; i < codes.size(); i++)
            codes[i] =
                static_cast<uint8_t>(scene == 3 ? 1 + rng() % 154 : 1 + (i / (37 + scene)) % 9);
        Bytes packed(40000);
        const int32_t n = gen_lz_pack(codes.data(), 16000, packed.data(), 40000);
        ASSERT_GT(n, 0);
        packed.resize(static_cast<size_t>(n));
        Unpacked r = unpack(packed);
        EXPECT_EQ(r.status, LZ_OK);
        EXPECT_EQ(r.out, codes);
        EXPECT_EQ(reference_lz_unpack(packed.data(), n), codes);
    }
}

TEST(LzUnpack, RandomStreamsStayInBoundsAndAgreeWithTheReferenceWhileSound)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; round++) {
        Bytes in(rng() % 200);
        for (uint8_t &b : in)
            b = static_cast<uint8_t>(rng());
        if (!in.empty() && round % 2) in[0] &= 0x1F; // start with a literal run more often
        const int32_t room = static_cast<int32_t>(rng() % 300);
        Unpacked r = unpack(in, room); // guard bytes checked inside
        if (r.status == LZ_OK) {
            EXPECT_EQ(r.out, reference_lz_unpack(in.data(), static_cast<int32_t>(in.size())));
        }
    }
}

} // namespace
