// movtool screen and export, run as the program.
#include "movie/movie.h"
#include "tests/player/movies.h"
#include "tests/present/reference_screen.h"
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

int run(const std::string &command)
{
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MovtoolScreen, EqualsTheReferenceInEveryLayoutAndMode)
{
    std::string movie = testing::TempDir() + "movtool_screen.mov";
    ASSERT_TRUE(gen_write_file(movie.c_str(), gen_movie(GEN_SHAPES, 3)));
    std::vector<uint8_t> file = cli_read_file(movie);
    const uint8_t *record = file.data() + 2 * MOVIE_RECORD_SIZE;
    std::vector<uint8_t> codes(MOVIE_CODE_COUNT), pictures(MOVIE_PICTURES_BYTES);
    ASSERT_EQ(
        movie_decode_record(record, MOVIE_RECORD_SIZE, codes.data(), pictures.data(), nullptr),
        MOVIE_FAULT_NONE);
    for (const char *layout : {"565", "555"})
        for (const char *mode : {"320x200", "640x480"})
            for (const char *which : {"A", "B"}) {
                std::string out = testing::TempDir() + "screen.raw";
                std::string command = MOVTOOL_PATH;
                command += " screen " + movie + " 2 ";
                for (const char *arg : {which, layout, mode, out.c_str()})
                    command.append(arg).append(" ");
                ASSERT_EQ(run(command), 0);
                bool stretched = !strcmp(mode, "640x480");
                std::vector<uint16_t> expected = reference_screen(
                    pictures.data() + (which[0] == 'B' ? MOVIE_PICTURE_BYTES : 0),
                    record + MOVIE_PALETTE_OFFSET, !strcmp(layout, "565"), stretched);
                std::vector<uint8_t> got = cli_read_file(out);
                ASSERT_EQ(got.size(), expected.size() * 2);
                EXPECT_EQ(memcmp(got.data(), expected.data(), got.size()), 0)
                    << layout << " " << mode << " " << which;
            }
}

TEST(MovtoolScreen, BadArgumentsAndMissingRecords)
{
    std::string movie = movie_write("movtool_bad.mov", 2, 0);
    std::string tool = MOVTOOL_PATH;
    std::string out = testing::TempDir() + "bad.raw";
    EXPECT_EQ(run(tool + " screen " + movie + " 0 C 565 320x200 " + out + " 2>/dev/null"), 2);
    EXPECT_EQ(run(tool + " screen " + movie + " 0 A 444 320x200 " + out + " 2>/dev/null"), 2);
    EXPECT_EQ(run(tool + " screen " + movie + " x A 565 320x200 " + out + " 2>/dev/null"), 2);
    EXPECT_EQ(run(tool + " screen " + movie + " 2 A 565 320x200 " + out + " 2>/dev/null"), 1);
    EXPECT_EQ(run(tool + " screen /nonexistent 0 A 565 320x200 " + out + " 2>/dev/null"), 1);
}

TEST(MovtoolExport, PicturesAndSoundAsThePlayerShowsThem)
{
    const int32_t n = 6;
    std::string movie = movie_write("movtool_export.mov", n, 0);
    std::string dir = testing::TempDir() + "export";
    mkdir(dir.c_str(), 0755);
    std::string y4m = testing::TempDir() + "export.y4m";
    ASSERT_EQ(run(std::string(MOVTOOL_PATH) + " export " + movie + " " + dir + " > " + y4m +
                  " 2>/dev/null"),
              0);
    // Both pictures of records 0 to n - 3, A of n - 2.
    for (int32_t i = 0; i < n; i++)
        for (char b : {'A', 'B'}) {
            char name[32];
            snprintf(name, sizeof name, "/%04d_%c.png", i, b);
            bool shown = i < n - 2 || (i == n - 2 && b == 'A');
            EXPECT_EQ(!cli_read_file(dir + name).empty(), shown) << name;
        }
    // The sound up to the last picture, then 80 ms of silence under it.
    std::vector<uint8_t> wav = cli_read_file(dir + "/sound.wav");
    size_t heard = (size_t)(n - 2) * 3528 + 1764;
    ASSERT_EQ(wav.size(), 44 + heard + 1764);
    std::vector<uint8_t> sound = movie_sound(0, n);
    EXPECT_TRUE(std::equal(wav.begin() + 44, wav.begin() + 44 + heard, sound.begin()));
    EXPECT_TRUE(
        std::all_of(wav.begin() + 44 + heard, wav.end(), [](uint8_t s) { return s == 0x80; }));
    // 80 ms a frame, picture A of record 0 twice: as long as the sound.
    std::vector<uint8_t> stream = cli_read_file(y4m);
    size_t frames = 0;
    for (size_t at = 0;
         (at = std::string(stream.begin(), stream.end()).find("FRAME\n", at)) != std::string::npos;
         at += 6)
        frames++;
    EXPECT_EQ(frames, (size_t)(2 * n - 2));
    EXPECT_EQ(frames * 1764, heard + 1764);
    EXPECT_EQ(run("ffmpeg -v error -i " + y4m + " -f null - 2>/dev/null"), 0);
}

} // namespace
