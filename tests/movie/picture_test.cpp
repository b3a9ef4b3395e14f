#include "movie/picture.h"
#include "tests/movie/printed_tables.h"
#include "tests/movie/reference_decoder.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

std::string pattern_text(int code)
{
    std::string s;
    for (int i = 0; i < 8; i++)
        s += static_cast<char>('0' + block_patterns[code][i]);
    return s;
}

TEST(BlockTables, EqualThePrintedTableDigitForDigit)
{
    int code = 1;
    for (int k = 1; k <= 8; k++) {
        EXPECT_EQ(code, printed_first_code[k - 1]) << "first code of k = " << k;
        std::string row = printed_patterns[k - 1];
        for (size_t at = 0; at < row.size(); at += 9, code++) {
            ASSERT_LE(code, BLOCK_CODE_MAX);
            EXPECT_EQ(pattern_text(code), row.substr(at, 8)) << "code " << code;
            EXPECT_EQ(block_colour_counts[code], k) << "code " << code;
        }
    }
    EXPECT_EQ(code, 155);
    EXPECT_EQ(block_colour_counts[0], 0) << "code 0 has no entry";
}

struct Decoded {
    PictureStatus status;
    int32_t blocks;
    int32_t used;
    Bytes pictures;
};

Decoded decode(const Bytes &colours, const Bytes &codes, uint8_t fill = 0x77)
{
    Decoded d{PICTURE_OK, 0, 0, Bytes(128000, fill)};
    d.status =
        picture_decode(colours.data(), static_cast<int32_t>(colours.size()), d.pictures.data(),
                       codes.data(), static_cast<int32_t>(codes.size()), &d.blocks, &d.used);
    return d;
}

uint8_t pixel(const Bytes &p, int picture, int x, int y)
{
    return p[picture * 64000 + y * 320 + x];
}

TEST(PictureDecode, OneColourABlockGivesTwoEqualPictures)
{
    Bytes colours(16000);
    for (size_t i = 0; i < colours.size(); i++)
        colours[i] = static_cast<uint8_t>(i * 31 + 1);
    const Decoded d = decode(colours, Bytes(16000, 1));
    ASSERT_EQ(d.status, PICTURE_OK);
    EXPECT_EQ(d.used, 16000);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            const uint8_t want =
                colours[static_cast<size_t>(y / 2) * 160 + static_cast<size_t>(x / 2)];
            ASSERT_EQ(pixel(d.pictures, 0, x, y), want) << x << "," << y;
            ASSERT_EQ(pixel(d.pictures, 1, x, y), want) << x << "," << y;
        }
}

TEST(PictureDecode, FirstBlockExamples)
{
    Bytes codes(16000, 1);
    Bytes colours(16010, 9);
    colours[0] = 10, colours[1] = 20, colours[2] = 30, colours[3] = 40;

    codes[0] = 5; // 00001122
    Decoded d = decode(Bytes(colours.begin(), colours.begin() + 16002), codes);
    ASSERT_EQ(d.status, PICTURE_OK);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(pixel(d.pictures, 0, i & 1, i >> 1), 10);
    EXPECT_EQ(pixel(d.pictures, 1, 0, 0), 20);
    EXPECT_EQ(pixel(d.pictures, 1, 1, 0), 20);
    EXPECT_EQ(pixel(d.pictures, 1, 0, 1), 30);
    EXPECT_EQ(pixel(d.pictures, 1, 1, 1), 30);
    EXPECT_EQ(pixel(d.pictures, 0, 2, 0), 40) << "the second block starts at the fourth byte";

    codes[0] = 154; // one list byte per cell
    for (int i = 0; i < 8; i++)
        colours[static_cast<size_t>(i)] = static_cast<uint8_t>(100 + i);
    d = decode(Bytes(colours.begin(), colours.begin() + 16007), codes);
    ASSERT_EQ(d.status, PICTURE_OK);
    for (int c = 0; c < 8; c++)
        EXPECT_EQ(pixel(d.pictures, c >> 2, c & 1, (c >> 1) & 1), 100 + c);

    codes[0] = 142; // 00123456: the top row of A shares the first byte
    d = decode(Bytes(colours.begin(), colours.begin() + 16006), codes);
    ASSERT_EQ(d.status, PICTURE_OK);
    EXPECT_EQ(pixel(d.pictures, 0, 0, 0), 100);
    EXPECT_EQ(pixel(d.pictures, 0, 1, 0), 100);
    EXPECT_EQ(pixel(d.pictures, 1, 1, 1), 106);
    EXPECT_EQ(pixel(d.pictures, 0, 2, 0), 107) << "142 takes seven bytes";
}

TEST(PictureDecode, RewritesEverythingAndAgreesWithTheReference)
{
    Bytes pictures(128000), colours(128000), codes(16000);
    uint8_t palette[744], sound[3528];
    for (int scene = 0; scene < GEN_SCENE_COUNT; scene++) {
        gen_scene(static_cast<GenScene>(scene), 3, pictures.data(), palette, sound);
        const int32_t n = gen_block_codes(pictures.data(), codes.data(), colours.data());
        colours.resize(static_cast<size_t>(n));
        for (uint8_t fill : std::initializer_list<uint8_t>{0x00, 0xFF}) {
            const Decoded d = decode(colours, codes, fill);
            ASSERT_EQ(d.status, PICTURE_OK);
            EXPECT_EQ(d.used, n);
            EXPECT_EQ(d.pictures, pictures) << "scene " << scene;
        }
        EXPECT_EQ(reference_picture_decode(colours.data(), codes.data()), pictures);
        colours.resize(128000);
    }
}

TEST(PictureDecode, DamagedInputBlanksFromTheFirstBadBlock)
{
    const Bytes colours(16000, 5);
    for (int bad : {0, 155, 200, 255}) {
        Bytes codes(16000, 1);
        codes[321] = static_cast<uint8_t>(bad); // block (1, 2)
        const Decoded d = decode(colours, codes, 0x77);
        EXPECT_EQ(d.status, PICTURE_BAD_CODE) << bad;
        EXPECT_EQ(d.blocks, 321);
        EXPECT_EQ(pixel(d.pictures, 0, 0, 4), 5) << "blocks before the bad one are kept";
        EXPECT_EQ(pixel(d.pictures, 0, 2, 4), 0);
        EXPECT_EQ(pixel(d.pictures, 1, 319, 199), 0);
        for (uint8_t b : d.pictures)
            ASSERT_NE(b, 0x77) << "every byte is written";
    }

    // The list runs out: 16000 one-colour blocks need 16000 bytes.
    Decoded d = decode(Bytes(15999, 5), Bytes(16000, 1));
    EXPECT_EQ(d.status, PICTURE_COLOURS_SHORT);
    EXPECT_EQ(d.blocks, 15999);
    EXPECT_EQ(d.used, 15999);
    EXPECT_EQ(pixel(d.pictures, 1, 319, 199), 0);
    // Blocks of k colours each, the list one colour short of block 200's: it is the first
    // block left blank, wherever the decoder's fast path hands over.
    for (int code : printed_first_code) {
        const int32_t k = block_colour_counts[code];
        d = decode(Bytes(static_cast<size_t>(200 * k + k - 1), 5),
                   Bytes(16000, static_cast<uint8_t>(code)));
        EXPECT_EQ(d.status, PICTURE_COLOURS_SHORT) << k;
        EXPECT_EQ(d.blocks, 200) << k;
        EXPECT_EQ(d.used, 200 * k) << k;
        EXPECT_EQ(pixel(d.pictures, 0, 2 * 40, 2 * 1), 0) << k;
    }

    // Too few codes: the count given is what counts, not valid codes that lie behind it.
    const Bytes colours_enough(16000, 5), codes_behind(16000, 1);
    d.status = picture_decode(colours_enough.data(), 16000, d.pictures.data(), codes_behind.data(),
                              100, &d.blocks, &d.used);
    EXPECT_EQ(d.status, PICTURE_FEW_CODES);
    EXPECT_EQ(d.blocks, 100);
    EXPECT_EQ(pixel(d.pictures, 0, 200, 0), 0);
}

} // namespace
