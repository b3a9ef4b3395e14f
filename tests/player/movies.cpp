#include "tests/player/movies.h"

#include "movie/movie.h"
#include "present/display.h"
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

int32_t movie_tag(int32_t base, int32_t record, int32_t b)
{
    return 1 + (base + 2 * record + b) % 240;
}

void movie_palette(uint8_t *palette)
{
    for (int32_t k = 0; k < 248; k++) {
        palette[3 * k] = (uint8_t)((k & 31) << 1);
        palette[3 * k + 1] = (uint8_t)(((k >> 5) & 7) << 1);
        palette[3 * k + 2] = 10;
    }
}

uint8_t movie_sample(int32_t base, int32_t record, int32_t j)
{
    return (uint8_t)((j * 3) ^ (record * 29 + base * 7 + 5));
}

std::string movie_write(const char *name, int32_t records, int32_t base)
{
    std::vector<uint8_t> movie((size_t)records * MOVIE_RECORD_SIZE);
    std::vector<uint8_t> pictures(MOVIE_PICTURES_BYTES);
    uint8_t palette[MOVIE_PALETTE_BYTES];
    uint8_t sound[MOVIE_SOUND_SIZE];
    movie_palette(palette);
    for (int32_t i = 0; i < records; i++) {
        memset(pictures.data(), movie_tag(base, i, 0), MOVIE_PICTURE_BYTES);
        memset(pictures.data() + MOVIE_PICTURE_BYTES, movie_tag(base, i, 1), MOVIE_PICTURE_BYTES);
        for (int32_t j = 0; j < MOVIE_SOUND_SIZE; j++)
            sound[j] = movie_sample(base, i, j);
        EXPECT_TRUE(gen_record(pictures.data(), palette, sound,
                               movie.data() + (size_t)i * MOVIE_RECORD_SIZE));
    }
    // Tests run in parallel processes, and the instances of one parameterised test write the
    // same name: each writes its own file and renames it into place, so that no reader ever
    // meets a file another process has just truncated.
    std::string path = testing::TempDir() + name;
    std::string own = path + "." + std::to_string(getpid());
    EXPECT_TRUE(gen_write_file(own.c_str(), movie));
    EXPECT_EQ(rename(own.c_str(), path.c_str()), 0);
    return path;
}

ShownPicture movie_identify(uint16_t first_pixel, int32_t rgb565, const std::vector<int32_t> &bases,
                            int32_t max_records)
{
    uint8_t palette[MOVIE_PALETTE_BYTES];
    uint32_t table[256] = {};
    movie_palette(palette);
    display_build_colour_table(table, palette, rgb565);
    for (int32_t base : bases)
        for (int32_t i = 0; i < max_records; i++)
            for (int32_t b = 0; b < 2; b++)
                if ((uint16_t)table[movie_tag(base, i, b)] == first_pixel)
                    return ShownPicture{base, i, b};
    return ShownPicture{-1, -1, -1};
}

std::vector<uint8_t> movie_sound(int32_t base, int32_t n)
{
    std::vector<uint8_t> s;
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < MOVIE_SOUND_SIZE; j++)
            s.push_back(movie_sample(base, i, j));
    return s;
}

void movie_threadsafe_death_tests()
{
    // The playback threads run while death tests fork: re-run the test binary in the child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
}

bool movie_sanitized()
{
    return cli_sanitized();
}

std::vector<std::string> movie_sanitizer_env()
{
    if (!movie_sanitized()) return {};
    std::string supp = testing::TempDir() + "filmo_sanitizer.supp." + std::to_string(getpid());
    if (FILE *f = fopen(supp.c_str(), "w")) {
        fputs("race:libSDL2-2.0.so.0\nrace:swrast_dri.so\n", f);
        fclose(f);
    }
    const char *tsan = getenv("TSAN_OPTIONS");
    return {"SDL_RENDER_DRIVER=software",
            std::string("TSAN_OPTIONS=") + (tsan ? tsan : "") + " suppressions=" + supp};
}

double movie_test_clock_speed()
{
    // Decoding must keep up with the sound, as on a real machine: unoptimised sanitizer builds
    // decode a record in tens of milliseconds, so their clock runs closer to real time.
    return movie_sanitized() ? 2.0 : 8.0;
}
