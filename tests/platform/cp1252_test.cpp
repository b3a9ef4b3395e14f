// The one code page 1252 table, checked against the C library's own converter.
#include <gtest/gtest.h>

#include <cerrno>
#include <iconv.h>
#include <string>

#include "platform/cp1252.h"

namespace
{

// What the C library makes of one byte: its character, or 0 when the code page has none.
uint32_t reference_of(unsigned char byte)
{
    // iconv_open reports a failure as (iconv_t)-1.
    const iconv_t failed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
    iconv_t cd = iconv_open("UTF-32LE", "CP1252");
    EXPECT_NE(cd, failed) << "the C library has no CP1252 converter";
    if (cd == failed) return 0;
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4] = {};
    char *in_at = in, *out_at = reinterpret_cast<char *>(out);
    size_t in_left = 1, out_left = sizeof out;
    size_t done = iconv(cd, &in_at, &in_left, &out_at, &out_left);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || out_left != 0) return 0;
    return out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
}

std::string utf8_of(uint32_t u)
{
    std::string s;
    if (u < 0x80) {
        s += static_cast<char>(u);
    } else if (u < 0x800) {
        s += static_cast<char>(0xC0 | u >> 6);
        s += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | u >> 12);
        s += static_cast<char>(0x80 | (u >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (u & 0x3F));
    }
    return s;
}

TEST(Cp1252, EveryByteMatchesTheCLibraryBothWays)
{
    int assigned = 0;
    for (int b = 0; b < 256; b++) {
        uint32_t expected = reference_of(static_cast<unsigned char>(b));
        if (expected == 0 && b != 0) {
            EXPECT_EQ(cp1252_to_unicode(static_cast<unsigned char>(b)), 0xFFFDu) << b;
            continue;
        }
        assigned++;
        EXPECT_EQ(cp1252_to_unicode(static_cast<unsigned char>(b)), expected) << b;
        EXPECT_EQ(cp1252_from_unicode(expected), b) << b;
    }
    EXPECT_EQ(assigned, 251);
    // Typed characters: the two that once shared a byte, and ones the code page lacks.
    EXPECT_EQ(cp1252_from_unicode(0x2026), 0x85);
    EXPECT_EQ(cp1252_from_unicode(0x201E), 0x84);
    for (uint32_t u : {0x81u, 0x9Du, 0x100u, 0x2028u, 0xFFFDu, 0x1F600u, 0x110000u})
        EXPECT_EQ(cp1252_from_unicode(u), -1) << u;
    // No other character below U+3000 maps to a byte.
    int mapped = 0;
    for (uint32_t u = 0; u < 0x3000; u++)
        if (cp1252_from_unicode(u) >= 0) mapped++;
    EXPECT_EQ(mapped, 251);
}

TEST(Cp1252, Utf8RoundTripAndRefusals)
{
    std::string all, expected;
    for (int b = 0; b < 256; b++) {
        all += static_cast<char>(b);
        uint32_t u = reference_of(static_cast<unsigned char>(b));
        expected += utf8_of(u == 0 && b != 0 ? 0xFFFD : u);
    }
    EXPECT_EQ(cp1252_to_utf8(all), expected);

    std::string back = "untouched";
    std::string defined;
    for (int b = 0; b < 256; b++)
        if (cp1252_to_unicode(static_cast<unsigned char>(b)) != 0xFFFD)
            defined += static_cast<char>(b);
    ASSERT_TRUE(cp1252_from_utf8(cp1252_to_utf8(defined), &back));
    EXPECT_EQ(back, defined);

    const char *bad[] = {
        "\xC0\xAF",             // overlong '/'
        "\xE0\x80\xAF",         // overlong '/' in three bytes
        "\xF0\x80\x80\xAF",     // and in four
        "\xC1\xBF",             // overlong DEL, the last one-byte character
        "\xE0\x83\xA4",         // overlong \xE4 in three bytes
        "\xF0\x80\x83\xA4",     // and in four
        "\xF0\x82\x82\xAC",     // overlong euro sign in four bytes
        "a\xE2\x80",            // cut short
        "\x80",                 // continuation byte alone
        "\xF8\x88\x80\x80\x80", // five-byte form
        "\xE2\x80\xA8",         // U+2028, not in the code page
        "\xF0\x9F\x98\x80",     // U+1F600, not in the code page
        "\xEF\xBF\xBD",         // U+FFFD, which stands for unassigned bytes only
    };
    for (const char *input : bad) {
        std::string out = "untouched";
        EXPECT_FALSE(cp1252_from_utf8(input, &out)) << input;
        EXPECT_EQ(out, "untouched");
    }
}

} // namespace
