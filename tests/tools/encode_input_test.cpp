// Pictures of any size brought to 320x200, and sound brought to 8-bit mono at 22050 Hz.
#include "tests/tools/fixtures.h"
#include "tools/movtool/encode_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sndfile.h>

namespace
{

struct Loader {
    PictureLoader *l = encode_loader_alloc();
    ~Loader() { encode_loader_free(l); }
};

const uint8_t *at(const Bytes &rgb, int32_t x, int32_t y)
{
    return &rgb[(y * 320 + x) * 3];
}

std::vector<float> sine(int32_t rate, int32_t channels, double seconds, double hz, float level)
{
    std::vector<float> s;
    for (int32_t i = 0; i < (int32_t)(rate * seconds); i++)
        for (int32_t c = 0; c < channels; c++)
            s.push_back(level * (float)std::sin(2 * M_PI * hz * i / rate));
    return s;
}

} // namespace

TEST(EncodeInput, PicturesOfTheMovieSizeAreTakenAsTheyAre)
{
    std::string dir = test_folder("input_same");
    Rgb p = rgb_shapes(2);
    ASSERT_TRUE(png_write(dir + "/a.png", p));
    Loader loader;
    Bytes rgb(320 * 200 * 3);
    char error[256];
    ASSERT_TRUE(
        encode_load_picture(loader.l, (dir + "/a.png").c_str(), rgb.data(), error, sizeof error));
    EXPECT_EQ(rgb, p.px);
}

TEST(EncodeInput, OtherSizesAreAreaAveragedKeepingTheirShape)
{
    // Twice the size: each pixel is the mean of a 2x2 square.
    Rgb big = rgb_make(640, 400);
    for (int32_t y = 0; y < 400; y++)
        for (int32_t x = 0; x < 640; x++)
            rgb_set(&big, x, y, (uint8_t)((x + y) % 2 ? 200 : 100), (uint8_t)(y / 2),
                    (uint8_t)(x % 4 * 10));
    Bytes rgb(320 * 200 * 3), scratch;
    std::vector<float> floats(encode_fit_scratch(400));
    encode_fit_picture(big.px.data(), 640, 400, rgb.data(), floats.data());
    for (int32_t y = 0; y < 200; y += 13)
        for (int32_t x = 0; x < 320; x += 7) {
            EXPECT_EQ(at(rgb, x, y)[0], 150);
            EXPECT_EQ(at(rgb, x, y)[1], y);
            EXPECT_EQ(at(rgb, x, y)[2], x % 2 ? 25 : 5);
        }
    // Wide: 100x25 becomes 320x80, centred between black bands of 60 rows.
    Rgb wide = rgb_make(100, 25);
    for (int32_t y = 0; y < 25; y++)
        for (int32_t x = 0; x < 100; x++)
            rgb_set(&wide, x, y, 255, 255, 255);
    floats.assign(encode_fit_scratch(25), 0);
    encode_fit_picture(wide.px.data(), 100, 25, rgb.data(), floats.data());
    for (int32_t y = 0; y < 200; y++) {
        uint8_t want = y >= 60 && y < 140 ? 255 : 0;
        EXPECT_EQ(at(rgb, 0, y)[1], want) << y;
        EXPECT_EQ(at(rgb, 319, y)[1], want) << y;
    }
    // Tall: 50x100 becomes 100x200, centred between black bands of 110 columns.
    Rgb tall = rgb_make(50, 100);
    for (uint8_t &v : tall.px)
        v = 90;
    floats.assign(encode_fit_scratch(100), 0);
    encode_fit_picture(tall.px.data(), 50, 100, rgb.data(), floats.data());
    EXPECT_EQ(at(rgb, 109, 100)[0], 0);
    EXPECT_EQ(at(rgb, 110, 100)[0], 90);
    EXPECT_EQ(at(rgb, 209, 100)[0], 90);
    EXPECT_EQ(at(rgb, 210, 100)[0], 0);
}

TEST(EncodeInput, PicturesThatFitOneWayExactlyAreCentredPixelForPixel)
{
    // 160x200 fills the height at its own size: copied as it is into columns 80 to 239; 320x100
    // likewise into rows 50 to 149. The rest is black.
    for (auto [w, h] : {std::pair<int32_t, int32_t>{160, 200}, {320, 100}}) {
        Rgb p = rgb_make(w, h);
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++)
                rgb_set(&p, x, y, (uint8_t)(x * 7 + 1), (uint8_t)(y * 3 + 1),
                        (uint8_t)((x ^ y) | 1));
        Bytes rgb(320 * 200 * 3, 0x55);
        std::vector<float> floats(encode_fit_scratch(h));
        encode_fit_picture(p.px.data(), w, h, rgb.data(), floats.data());
        const int32_t x0 = (320 - w) / 2, y0 = (200 - h) / 2;
        const uint8_t black[3] = {0, 0, 0};
        int32_t wrong = 0;
        for (int32_t y = 0; y < 200; y++)
            for (int32_t x = 0; x < 320; x++) {
                bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
                const uint8_t *want = inside ? &p.px[((y - y0) * w + (x - x0)) * 3] : black;
                wrong += !std::equal(want, want + 3, at(rgb, x, y));
            }
        EXPECT_EQ(wrong, 0) << w << "x" << h;
    }
}

TEST(EncodeInput, BadPicturesAreRefusedWithAReason)
{
    std::string dir = test_folder("input_bad");
    Loader loader;
    Bytes rgb(320 * 200 * 3);
    char error[256];
    EXPECT_FALSE(encode_load_picture(loader.l, (dir + "/missing.png").c_str(), rgb.data(), error,
                                     sizeof error));
    EXPECT_NE(std::string(error).find("cannot open"), std::string::npos) << error;
    FILE *f = fopen((dir + "/text.png").c_str(), "w");
    fputs("this is no picture at all", f);
    fclose(f);
    EXPECT_FALSE(encode_load_picture(loader.l, (dir + "/text.png").c_str(), rgb.data(), error,
                                     sizeof error));
    EXPECT_NE(std::string(error).find("not a PNG"), std::string::npos) << error;
    // A real PNG cut off in the middle of its data.
    ASSERT_TRUE(png_write(dir + "/cut.png", rgb_noise(1)));
    Bytes whole = file_read(dir + "/cut.png");
    f = fopen((dir + "/cut.png").c_str(), "wb");
    fwrite(whole.data(), 1, whole.size() / 2, f);
    fclose(f);
    EXPECT_FALSE(
        encode_load_picture(loader.l, (dir + "/cut.png").c_str(), rgb.data(), error, sizeof error));
}

TEST(EncodeInput, SoundIsMixedResampledAndScaled)
{
    std::string dir = test_folder("input_sound");
    // One second of a 441 Hz tone, stereo 16-bit at 44100 Hz.
    ASSERT_TRUE(wav_write(dir + "/tone.wav", sine(44100, 2, 1.0, 441, 0.5f), 44100, 2,
                          SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    SoundTrack t;
    char error[256];
    ASSERT_TRUE(encode_load_sound((dir + "/tone.wav").c_str(), &t, error, sizeof error)) << error;
    EXPECT_NEAR((double)t.count, 22050, 2);
    EXPECT_EQ(t.source_rate, 44100);
    EXPECT_EQ(t.source_channels, 2);
    int32_t crossings = 0, low = 255, high = 0;
    for (int64_t i = 1000; i < t.count - 1000; i++) {
        crossings += (t.samples[i - 1] < 128) != (t.samples[i] < 128);
        low = std::min<int32_t>(low, t.samples[i]);
        high = std::max<int32_t>(high, t.samples[i]);
    }
    // 441 Hz over the 20050 samples looked at: about 802 crossings; half scale: 64..192.
    EXPECT_NEAR(crossings, 802, 6);
    EXPECT_NEAR(low, 64, 2);
    EXPECT_NEAR(high, 192, 2);
    encode_free_sound(&t);

    // 8-bit mono at the movie's own rate comes through unchanged (the file made by hand, so
    // that every byte value is in it).
    FILE *f = fopen((dir + "/ramp.wav").c_str(), "wb");
    const uint8_t header[44] = {
        'R',  'I',  'F', 'F', 0x24, 0x01, 0, 0, 'W', 'A', 'V', 'E', // 292 bytes follow
        'f',  'm',  't', ' ', 16,   0,    0, 0, 1,   0,   1,   0,   // PCM, mono
        0x22, 0x56, 0,   0,   0x22, 0x56, 0, 0, 1,   0,   8,   0,   // 22050 Hz, 8 bits
        'd',  'a',  't', 'a', 0,    1,    0, 0};                    // 256 bytes of samples
    fwrite(header, 1, sizeof header, f);
    for (int32_t i = 0; i < 256; i++)
        fputc(i, f);
    fclose(f);
    ASSERT_TRUE(encode_load_sound((dir + "/ramp.wav").c_str(), &t, error, sizeof error)) << error;
    ASSERT_EQ(t.count, 256);
    for (int32_t i = 0; i < 256; i++)
        EXPECT_EQ(t.samples[i], i);
    encode_free_sound(&t);

    // Float samples beyond full scale clip; an empty file is an empty track.
    ASSERT_TRUE(wav_write(dir + "/loud.wav", {2.0f, -2.0f, 0.0f}, 22050, 1,
                          SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(encode_load_sound((dir + "/loud.wav").c_str(), &t, error, sizeof error));
    ASSERT_EQ(t.count, 3);
    EXPECT_EQ(t.samples[0], 255);
    EXPECT_EQ(t.samples[1], 0);
    EXPECT_EQ(t.samples[2], 0x80);
    encode_free_sound(&t);
    ASSERT_TRUE(wav_write(dir + "/empty.wav", {}, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_TRUE(encode_load_sound((dir + "/empty.wav").c_str(), &t, error, sizeof error));
    EXPECT_EQ(t.count, 0);
    encode_free_sound(&t);
}

TEST(EncodeInput, BadSoundIsRefusedWithAReason)
{
    std::string dir = test_folder("input_bad_sound");
    SoundTrack t;
    char error[256];
    EXPECT_FALSE(encode_load_sound((dir + "/none.wav").c_str(), &t, error, sizeof error));
    EXPECT_NE(std::string(error).find("cannot open"), std::string::npos) << error;
    FILE *f = fopen((dir + "/odd.wav").c_str(), "wb");
    // A RIFF header that promises a WAV and then holds nonsense.
    fwrite("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x00\x00", 1, 24, f);
    fclose(f);
    EXPECT_FALSE(encode_load_sound((dir + "/odd.wav").c_str(), &t, error, sizeof error));
    EXPECT_NE(std::string(error).find("odd.wav"), std::string::npos) << error;
}
