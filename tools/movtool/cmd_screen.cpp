// movtool screen: the 16-bit screen exactly as the player's display leaves it after one picture,
// drawn by the player's own drawing functions.
#include "movie/movie.h"
#include "present/display.h"
#include "tools/movtool/movtool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static const char screen_usage[] =
    "usage: movtool screen MOVIE RECORD A|B 565|555 320x200|640x480 OUT.raw";

// Draws one picture as the player's display does, into a cleared screen of that mode: its bytes
// (pitch = width x 2, little endian). The 640x480 mode draws every other line, as the player.
static std::vector<uint8_t> screen_render(const uint8_t *picture, const uint8_t *palette,
                                          int32_t rgb565, bool stretched)
{
    const int32_t width = stretched ? 640 : 320, height = stretched ? 480 : 200;
    std::vector<uint8_t> screen((size_t)width * (size_t)height * 2, 0);
    // Values 0 and 249 to 255 stay black, as in the player's zero-filled table.
    uint32_t table[256] = {};
    display_build_colour_table(table, palette, rgb565);
    if (stretched)
        display_stretch_picture(screen.data(), width * 2, height, picture, table, rgb565);
    else
        display_copy_picture(screen.data(), width * 2, height, picture, table);
    return screen;
}

int movtool_screen(int argc, char **argv)
{
    if (argc != 7) {
        movtool_error("%s", screen_usage);
        return 2;
    }
    const char *name = argv[1];
    char *end = nullptr;
    long record = strtol(argv[2], &end, 10);
    int32_t b = !strcmp(argv[3], "B") || !strcmp(argv[3], "b");
    int32_t a = !strcmp(argv[3], "A") || !strcmp(argv[3], "a");
    int32_t rgb565 = !strcmp(argv[4], "565");
    int32_t rgb555 = !strcmp(argv[4], "555");
    int32_t stretched = !strcmp(argv[5], "640x480");
    int32_t plain = !strcmp(argv[5], "320x200");
    if (!end || *end || end == argv[2] || record < 0 || record > 1000000 || !(a || b) ||
        !(rgb565 || rgb555) || !(stretched || plain)) {
        movtool_error("%s", screen_usage);
        return 2;
    }
    if (!movtool_open_movie(name, false)) return 1;
    if (record >= movtool_reach.reachable && record < movtool_reach.records) {
        movtool_error("%s: record %ld lies past byte %d, beyond a movie's 32-bit length: it "
                      "cannot be read",
                      name, record, MOVIE_MAX_LENGTH);
        movie_close();
        movie_free();
        return 1;
    }
    uint8_t *picture = nullptr, *palette = nullptr, *sound = nullptr;
    for (long i = 0; i <= record; i++) {
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) break;
    }
    int status = 0;
    if (!picture) {
        movtool_error("%s: no record %ld (the movie has %d)", name, record,
                      movie_reader.record_count);
        status = 1;
    } else {
        if (movie_reader.fault != MOVIE_FAULT_NONE)
            movtool_error("%s: record %ld damaged: %s (at %d)", name, record,
                          movie_fault_text(movie_reader.fault), movie_reader.fault_at);
        std::vector<uint8_t> screen =
            screen_render(picture + (b ? MOVIE_PICTURE_BYTES : 0), palette, rgb565, stretched);
        status = movtool_write_file(argv[6], screen.data(), screen.size());
    }
    movie_close();
    movie_free();
    return status;
}
