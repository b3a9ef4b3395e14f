// The palette: exact when the colours fit, close when they do not.
#include "tools/movtool/encode_quantize.h"
#include "tools/movtool/encode_record.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

struct Quant {
    Quantizer *q = encode_quantize_alloc();
    ~Quant() { encode_quantize_free(q); }
};

double shown_error(const Bytes &rgb, const Bytes &palette, const Bytes &indices)
{
    double e = 0;
    for (size_t i = 0; i < indices.size(); i++)
        for (int32_t a = 0; a < 3; a++) {
            double d = encode_expand6(palette[indices[i] * 3 + a]) - rgb[i * 3 + a];
            e += d * d;
        }
    return e;
}

int32_t key_of(const uint8_t *c)
{
    return encode_reduce8(c[0]) << 12 | encode_reduce8(c[1]) << 6 | encode_reduce8(c[2]);
}

} // namespace

TEST(EncodeQuantize, SixBitRoundTrip)
{
    for (int32_t c = 0; c < 64; c++)
        EXPECT_EQ(encode_reduce8(encode_expand6(c)), c);
    EXPECT_EQ(encode_expand6(0), 0);
    EXPECT_EQ(encode_expand6(63), 255);
}

TEST(EncodeQuantize, FewColoursKeepTheirRoundedValues)
{
    Quant q;
    const int32_t n = 128000;
    Bytes rgb((size_t)n * 3), palette(248 * 3), indices(n);
    // Up to 248 colours, each present, some of them rounding to the same 6-bit colour.
    for (int32_t i = 0; i < n; i++) {
        int32_t k = i % 248;
        rgb[i * 3] = (uint8_t)(k * 4 % 256);
        rgb[i * 3 + 1] = (uint8_t)(k / 64 * 80 + 1);
        rgb[i * 3 + 2] = (uint8_t)(255 - k);
    }
    int32_t size = encode_quantize(q.q, rgb.data(), n, palette.data(), indices.data(), 248);
    std::set<int32_t> distinct;
    for (int32_t i = 0; i < n; i++) {
        ASSERT_LT(indices[i], size);
        for (int32_t a = 0; a < 3; a++)
            ASSERT_EQ(palette[indices[i] * 3 + a], encode_reduce8(rgb[i * 3 + a]));
        distinct.insert(encode_reduce8(rgb[i * 3]) << 12 | encode_reduce8(rgb[i * 3 + 1]) << 6 |
                        encode_reduce8(rgb[i * 3 + 2]));
    }
    EXPECT_EQ(size, (int32_t)distinct.size());
}

TEST(EncodeQuantize, ManyColoursStayClose)
{
    Quant q;
    const int32_t n = 128000;
    Bytes rgb((size_t)n * 3), palette(248 * 3), indices(n);
    // A smooth field of some 30000 colours, like a rendered picture.
    for (int32_t i = 0; i < n; i++) {
        int32_t x = i % 320, y = i / 320 % 200;
        rgb[i * 3] = (uint8_t)(x * 255 / 319);
        rgb[i * 3 + 1] = (uint8_t)(y * 255 / 199);
        rgb[i * 3 + 2] = (uint8_t)(128 + 127 * std::sin((x + y) * 0.05));
    }
    int32_t size = encode_quantize(q.q, rgb.data(), n, palette.data(), indices.data(), 248);
    EXPECT_EQ(size, 248);
    for (int32_t i = 0; i < size * 3; i++)
        ASSERT_LE(palette[i], 63);
    // Against a fixed palette of as many colours (a 6 x 7 x 6 cube, the nearest entry for
    // each pixel), a fitted palette must do much better.
    double fixed = 0;
    for (int32_t i = 0; i < n; i++) {
        const int32_t steps[3] = {6, 7, 6};
        for (int32_t a = 0; a < 3; a++) {
            double step = 255.0 / (steps[a] - 1);
            double d = std::round(rgb[i * 3 + a] / step) * step - rgb[i * 3 + a];
            fixed += d * d;
        }
    }
    double psnr = encode_psnr(shown_error(rgb, palette, indices), n * 3.0);
    EXPECT_GT(psnr, encode_psnr(fixed, n * 3.0) + 3.0);
    // The pixels of one 6-bit colour share an entry: the one nearest their mean as shown.
    std::map<int32_t, std::array<double, 4>> groups; // sums of r, g, b, and the count
    for (int32_t i = 0; i < n; i++) {
        std::array<double, 4> &g = groups[key_of(&rgb[i * 3])];
        for (int32_t a = 0; a < 3; a++)
            g[a] += rgb[i * 3 + a];
        g[3]++;
    }
    std::map<int32_t, int32_t> taken;
    for (int32_t i = 0; i < n; i++)
        taken[key_of(&rgb[i * 3])] = indices[i];
    for (const auto &group : groups) {
        const std::array<double, 4> &g = group.second;
        auto distance = [&](int32_t k) {
            double e = 0;
            for (int32_t a = 0; a < 3; a++) {
                double v = (float)encode_expand6(palette[k * 3 + a]) - (float)(g[a] / g[3]);
                e += v * v;
            }
            return e;
        };
        double own = distance(taken[group.first]);
        for (int32_t k = 0; k < size; k++)
            ASSERT_LE(own, distance(k) * (1 + 1e-6))
                << group.first << " takes " << taken[group.first];
    }
}

TEST(EncodeQuantize, ExactlyTwoHundredFortyEightColoursStayExact)
{
    Quant q;
    const int32_t n = 128000;
    Bytes rgb((size_t)n * 3), palette(248 * 3), indices(n);
    // 248 colours in pairs one 6-bit step apart, each pair within one cell of 5 bits.
    for (int32_t i = 0; i < n; i++) {
        int32_t k = i % 248;
        rgb[i * 3] = (uint8_t)encode_expand6(k % 62);
        rgb[i * 3 + 1] = (uint8_t)encode_expand6(k / 62 * 16);
        rgb[i * 3 + 2] = (uint8_t)encode_expand6(40);
    }
    ASSERT_EQ(encode_quantize(q.q, rgb.data(), n, palette.data(), indices.data(), 248), 248);
    EXPECT_EQ(shown_error(rgb, palette, indices), 0.0);
}
