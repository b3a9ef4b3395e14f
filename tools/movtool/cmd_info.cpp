// movtool info: what a movie file holds, record by record, with the first fault of each.
#include "movie/movie.h"
#include "tools/movtool/movtool.h"

#include <cstdio>
#include <cstring>

int movtool_info(int argc, char **argv)
{
    if (argc != 2) {
        movtool_error("usage: movtool info MOVIE");
        return 2;
    }
    const char *name = argv[1];
    if (!movtool_open_movie(name)) return 1;
    MovieReader &r = movie_reader;
    if (r.file_length < 0) {
        movtool_error("%s: cannot measure its length (not a regular file?)", name);
        movie_close();
        movie_free();
        return 1;
    }
    const int32_t count = r.record_count;
    std::printf("file: %s\nbytes: %d\nrecords: %d\nduration: %d.%03d s\n", name, r.file_length,
                count, count * MOVIE_RECORD_MS / 1000, count * MOVIE_RECORD_MS % 1000);
    const int32_t extra = r.file_length - count * MOVIE_RECORD_SIZE;
    if (extra > 0) std::printf("trailing bytes ignored: %d\n", extra);
    std::printf("\n%7s %7s %7s  %s\n", "record", "colours", "packed", "state");
    int32_t damaged = 0;
    uint8_t *picture = nullptr, *palette = nullptr, *sound = nullptr;
    for (;;) {
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) break;
        const int32_t index = r.records_read - 1;
        if (r.fault == MOVIE_FAULT_NONE) {
            std::printf("%7d %7d %7d  ok\n", index, r.colour_count, r.packed_length);
        } else {
            damaged++;
            std::printf("%7d %7d %7d  damaged: %s (at %d)\n", index, r.colour_count,
                        r.packed_length, movie_fault_text(r.fault), r.fault_at);
        }
    }
    std::printf("\nwell formed: %d of %d\n", r.records_read - damaged, r.records_read);
    if (r.records_read < count)
        std::printf("the file ended early: %d of %d records could be read\n", r.records_read,
                    count);
    movie_close();
    movie_free();
    return 0;
}
