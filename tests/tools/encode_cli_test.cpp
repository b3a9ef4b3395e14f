// movtool encode as a user runs it, read back by movtool dump and info and by the decoder.
#include "movie/movie.h"
#include "tests/tools/fixtures.h"
#include "tools/movtool/encode_quantize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sndfile.h>

namespace
{

std::string sh_quote(const std::string &s)
{
    return "'" + s + "'";
}

// Writes `count` pictures made by make(i) as dir/NNNN.png, numbered from `first`.
template <typename Make>
std::string pictures(const std::string &dir, int32_t count, int32_t first, Make make)
{
    std::string names;
    for (int32_t i = 0; i < count; i++) {
        char name[64];
        snprintf(name, sizeof name, "/%04d.png", first + i);
        EXPECT_TRUE(png_write(dir + name, make(i)));
        names += " " + sh_quote(dir + name);
    }
    return names;
}

// The movie is named in the folder; neither it nor a temporary file may be there.
void expect_no_movie(const std::string &dir, const std::string &movie_name)
{
    for (const std::string &name : folder_list(dir)) {
        EXPECT_EQ(name.find(".part"), std::string::npos) << "left behind: " << name;
        EXPECT_NE(name, movie_name) << "partial movie written";
    }
}

} // namespace

TEST(EncodeCli, PicturesThatFitComeBackExactlyThroughDump)
{
    std::string dir = test_folder("cli_exact");
    std::string names = pictures(dir, 6, 0, rgb_shapes);
    // 0.4 s of tone: the third record is partly silent.
    std::vector<float> tone;
    tone.reserve(8820);
    for (int32_t i = 0; i < 8820; i++)
        tone.push_back(0.25f * (float)std::sin(i * 0.1));
    ASSERT_TRUE(wav_write(dir + "/tone.wav", tone, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::string movie = dir + "/out.mov";
    CliRun run = movtool_run("encode -o " + sh_quote(movie) + " --audio " +
                             sh_quote(dir + "/tone.wav") + names);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("3 records"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("lossless records: 3 of 3"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("PSNR"), std::string::npos) << run.out;
    ASSERT_EQ(file_read(movie).size(), 3u * MOVIE_RECORD_SIZE);

    CliRun info = movtool_run("info " + sh_quote(movie));
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("well formed: 3 of 3"), std::string::npos) << info.out;

    ASSERT_EQ(movtool_run("dump " + sh_quote(movie) + " " + sh_quote(dir + "/out.raw")).status, 0);
    Bytes raw = file_read(dir + "/out.raw");
    const size_t per = MOVIE_PICTURES_BYTES + MOVIE_PALETTE_BYTES + MOVIE_SOUND_SIZE;
    ASSERT_EQ(raw.size(), 3 * per);
    for (int32_t r = 0; r < 3; r++) {
        const uint8_t *pictures = &raw[r * per];
        const uint8_t *palette = pictures + MOVIE_PICTURES_BYTES;
        const uint8_t *sound = palette + MOVIE_PALETTE_BYTES;
        for (int32_t t = 0; t < 2; t++) {
            Rgb want = rgb_shapes(2 * r + t);
            for (int32_t i = 0; i < MOVIE_PICTURE_BYTES; i++) {
                int32_t v = pictures[t * MOVIE_PICTURE_BYTES + i];
                ASSERT_GE(v, 1);
                ASSERT_LE(v, 248);
                for (int32_t a = 0; a < 3; a++)
                    ASSERT_EQ(palette[(v - 1) * 3 + a], encode_reduce8(want.px[i * 3 + a]))
                        << "record " << r << " picture " << t << " pixel " << i;
            }
        }
        for (int32_t s = 0; s < MOVIE_SOUND_SIZE; s++) {
            int32_t i = r * MOVIE_SOUND_SIZE + s;
            int32_t want = i < 8820 ? (int32_t)std::floor(tone[i] * 128.0f + 128.5f) : 0x80;
            ASSERT_NEAR(sound[s], want, 1) << "sample " << i; // 16-bit to float to 8-bit
        }
    }
}

TEST(EncodeCli, DetailedPicturesAreCodedWithinTheRecordWithPsnrReported)
{
    std::string dir = test_folder("cli_lossy");
    // Frame pattern form, numbered from 1, pictures larger than the movie.
    pictures(dir, 4, 1, [](int32_t i) {
        Rgb p = rgb_make(640, 400);
        for (int32_t y = 0; y < 400; y++)
            for (int32_t x = 0; x < 640; x++)
                rgb_set(&p, x, y, (uint8_t)(x * 7 + y * 3 + i * 11),
                        (uint8_t)(128 + 120 * std::sin((x + i * 5) * 0.09) * std::cos(y * 0.07)),
                        (uint8_t)((x ^ y) + i));
        return p;
    });
    std::string movie = dir + "/out.mov";
    CliRun run = movtool_run("encode -o " + sh_quote(movie) + " " + sh_quote(dir + "/%04d.png"));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("record 1: lossy"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("lossless records: 0 of 2"), std::string::npos) << run.out;
    Bytes file = file_read(movie);
    ASSERT_EQ(file.size(), 2u * MOVIE_RECORD_SIZE);
    Bytes codes(MOVIE_CODE_COUNT), pics(MOVIE_PICTURES_BYTES);
    for (int32_t r = 0; r < 2; r++) {
        const uint8_t *rec = &file[r * MOVIE_RECORD_SIZE];
        EXPECT_LE((rec[0] | rec[1] << 8) + (rec[2] | rec[3] << 8), MOVIE_DATA_AREA);
        EXPECT_EQ(movie_decode_record(rec, MOVIE_RECORD_SIZE, codes.data(), pics.data(), nullptr),
                  MOVIE_FAULT_NONE);
        for (int32_t s = 0; s < MOVIE_SOUND_SIZE; s++)
            ASSERT_EQ(rec[MOVIE_SOUND_OFFSET + s], 0x80); // no sound given: silence
    }
    // Starting the pattern later leaves the first two pictures out.
    run = movtool_run("encode --start-number 3 -o " + sh_quote(movie) + " " +
                      sh_quote(dir + "/%04d.png"));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(file_read(movie).size(), 1u * MOVIE_RECORD_SIZE);
}

TEST(EncodeCli, BadInputIsRefusedAndWritesNothing)
{
    std::string dir = test_folder("cli_bad");
    std::string good = pictures(dir, 2, 0, rgb_shapes);
    std::string movie = dir + "/out.mov";
    std::string out = " -o " + sh_quote(movie);
    FILE *f = fopen((dir + "/text.png").c_str(), "w");
    fputs("not a picture", f);
    fclose(f);
    f = fopen((dir + "/odd.wav").c_str(), "wb");
    fwrite("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x00\x00", 1, 24, f);
    fclose(f);
    struct Case {
        std::string args, message;
        int status;
    } cases[] = {
        {"encode" + out + good + " " + sh_quote(dir + "/missing.png") + " " +
             sh_quote(dir + "/0000.png"),
         "missing.png: cannot open", 1},
        {"encode" + out + good + " " + sh_quote(dir + "/text.png") + " " +
             sh_quote(dir + "/0000.png"),
         "text.png: not a PNG", 1},
        {"encode" + out + " --audio " + sh_quote(dir + "/odd.wav") + good, "odd.wav", 1},
        {"encode" + out + " --audio " + sh_quote(dir + "/none.wav") + good, "none.wav: cannot open",
         1},
        {"encode" + out, "no pictures given", 2},
        {"encode" + out + " " + sh_quote(dir + "/0000.png"), "1 pictures given", 2},
        {"encode" + out + " " + sh_quote(dir + "/x%03d.png"), "no picture matches", 1},
        // A width no number fits: the name must not shrink to the existing file before it.
        {"encode" + out + " " + sh_quote(dir + "/0000.png%99999999999d"), "no picture matches", 1},
        {"encode" + good, "no output file", 2},
        {"encode --frobnicate" + out + good, "unknown option", 2},
        {"encode" + out + good + " --audio", "--audio needs a value", 2},
    };
    for (const Case &c : cases) {
        CliRun run = movtool_run(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << "\n" << run.out;
        EXPECT_NE(run.out.find("movtool: encode: "), std::string::npos) << run.out;
        expect_no_movie(dir, "out.mov");
    }
    // A failure keeps an older movie of the same name as it was.
    ASSERT_EQ(movtool_run("encode" + out + good).status, 0);
    Bytes before = file_read(movie);
    EXPECT_EQ(movtool_run("encode" + out + good + " " + sh_quote(dir + "/text.png") + " " +
                          sh_quote(dir + "/0001.png"))
                  .status,
              1);
    EXPECT_EQ(file_read(movie), before);
    EXPECT_EQ(movtool_run("encode --help").status, 0);
}
