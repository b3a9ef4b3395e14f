// The picture scaled onto the window's pixels: where the 4:3 picture lies, the colours a 16-bit
// pixel becomes, and which source pixel each window pixel shows.
#include "platform/sdl/scale.h"

#include <array>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace
{

bool operator==(ScaleRect a, ScaleRect b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

} // namespace

TEST(Scale, ThePictureIsTheLargest4To3RectangleCentred)
{
    EXPECT_TRUE(scale_fit(1280, 800) == (ScaleRect{107, 0, 1066, 800}));
    EXPECT_TRUE(scale_fit(1024, 768) == (ScaleRect{0, 0, 1024, 768}));
    EXPECT_TRUE(scale_fit(1920, 1080) == (ScaleRect{240, 0, 1440, 1080}));
    EXPECT_TRUE(scale_fit(800, 1280) == (ScaleRect{0, 340, 800, 600}));
}

TEST(Scale, ColoursWidenEachChannelToTheDestinationsMasks)
{
    ScaleTable t;
    ASSERT_TRUE(scale_table(&t, 0, 4, 0xFF0000, 0x00FF00, 0x0000FF));
    EXPECT_EQ(t.colour[0xFFFF], 0xFFFFFFu);
    EXPECT_EQ(t.colour[0xF800], 0xFF0000u);
    EXPECT_EQ(t.colour[0x07E0], 0x00FF00u);
    EXPECT_EQ(t.colour[0x001F], 0x0000FFu);
    // The lowest step of each channel: 5 bits widen to 8 by repeating their top bits.
    EXPECT_EQ(t.colour[1 << 11 | 1 << 5 | 1], 0x080408u);
    EXPECT_EQ(t.colour[0x8410], 0x848284u); // mid grey, 6-bit green

    // Another order of channels, and a 5-5-5 source.
    ASSERT_TRUE(scale_table(&t, 1, 4, 0x0000FF, 0x00FF00, 0xFF0000));
    EXPECT_EQ(t.colour[0x7C00], 0x0000FFu);
    EXPECT_EQ(t.colour[0x03E0], 0x00FF00u);
    EXPECT_EQ(t.colour[0x001F], 0xFF0000u);
    EXPECT_EQ(t.colour[0x8000], 0u) << "the unused top bit of 5-5-5 gives no colour";

    // A 16-bit window: the source's 5-5-5 into 5-6-5 keeps its values.
    ASSERT_TRUE(scale_table(&t, 1, 2, 0xF800, 0x07E0, 0x001F));
    EXPECT_EQ(t.colour[0x7FFF], 0xFFFFu);
    EXPECT_EQ(t.colour[0x4210], 0x8430u); // 16 of 31 is 33 of 63
    EXPECT_FALSE(scale_table(&t, 0, 3, 0xFF0000, 0x00FF00, 0x0000FF));
}

TEST(Scale, TwiceTheSizeMakesEverySourcePixelABlockAndTouchesNothingElse)
{
    ScaleTable t;
    ASSERT_TRUE(scale_table(&t, 0, 4, 0xFF0000, 0x00FF00, 0x0000FF));
    // 3x2 source with a line longer than its pixels.
    const uint16_t source[2][4] = {{0xF800, 0x07E0, 0x001F, 0x1234},
                                   {0xFFFF, 0x0000, 0x8410, 0x1234}};
    const int dw = 10, dh = 6;
    std::vector<uint32_t> window((size_t)dw * dh, 0xDEADBEEF);
    scale_picture(&t, reinterpret_cast<const uint8_t *>(source), 3, 2, 8,
                  reinterpret_cast<uint8_t *>(window.data()), dw * 4, ScaleRect{2, 1, 6, 4});
    for (int y = 0; y < dh; y++)
        for (int x = 0; x < dw; x++) {
            uint32_t got = window[(size_t)y * dw + x];
            if (x < 2 || x >= 8 || y < 1 || y >= 5)
                EXPECT_EQ(got, 0xDEADBEEFu) << x << "," << y;
            else
                EXPECT_EQ(got, t.colour[source[(y - 1) / 2][(x - 2) / 2]]) << x << "," << y;
        }
}

TEST(Scale, OddSizesShowEverySourceColumnAndLineInOrderAndEvenly)
{
    ScaleTable t;
    ASSERT_TRUE(scale_table(&t, 0, 2, 0xF800, 0x07E0, 0x001F));
    // The window shows source pixel (x, y): once scaled from a source whose pixels carry their
    // column, once from one whose pixels carry their line (5-6-5 to 5-6-5 keeps every value).
    for (const std::array<int, 4> &size : {std::array<int, 4>{320, 200, 1066, 800},
                                           {320, 200, 1440, 1080},
                                           {640, 480, 533, 400},
                                           {7, 5, 13, 11}}) {
        const int sw = size[0], sh = size[1], dw = size[2], dh = size[3];
        std::vector<uint16_t> columns((size_t)sw * sh), lines((size_t)sw * sh);
        for (int y = 0; y < sh; y++)
            for (int x = 0; x < sw; x++) {
                columns[(size_t)y * sw + x] = (uint16_t)x;
                lines[(size_t)y * sw + x] = (uint16_t)y;
            }
        std::vector<uint16_t> by_column((size_t)dw * dh), by_line((size_t)dw * dh);
        scale_picture(&t, reinterpret_cast<const uint8_t *>(columns.data()), sw, sh, sw * 2,
                      reinterpret_cast<uint8_t *>(by_column.data()), dw * 2,
                      ScaleRect{0, 0, dw, dh});
        scale_picture(&t, reinterpret_cast<const uint8_t *>(lines.data()), sw, sh, sw * 2,
                      reinterpret_cast<uint8_t *>(by_line.data()), dw * 2, ScaleRect{0, 0, dw, dh});
        // Columns of line 0 and lines of column 0: non-decreasing, steps of at most one source
        // pixel when enlarging, each source pixel as often as any other give or take one.
        auto check = [&](int count, int source_count, auto at, const char *what) {
            std::map<int, int> seen;
            int previous = -1;
            for (int i = 0; i < count; i++) {
                int s = at(i);
                EXPECT_GE(s, previous) << what << " " << i;
                if (count >= source_count) {
                    EXPECT_LE(s - previous, 1) << what << " " << i;
                }
                previous = s;
                seen[s]++;
            }
            if (count >= source_count) {
                EXPECT_EQ((int)seen.size(), source_count) << what;
                int lo = count / source_count, hi = (count + source_count - 1) / source_count;
                for (auto [s, n] : seen)
                    EXPECT_TRUE(n == lo || n == hi) << what << " source " << s << " shown " << n;
            }
        };
        check(
            dw, sw, [&](int x) { return (int)by_column[(size_t)(dh - 1) * dw + x]; }, "column");
        check(
            dh, sh, [&](int y) { return (int)by_line[(size_t)y * dw + dw - 1]; }, "line");
    }
}
