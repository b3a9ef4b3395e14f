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
    if (!movtool_open_movie(name, false)) return 1;
    MovieReader &r = movie_reader;
    const MovtoolReach &m = movtool_reach;
    if (m.bytes < 0) {
        movtool_error("%s: cannot measure its length (not a regular file?)", name);
        movie_close();
        movie_free();
        return 1;
    }
    // The whole file as it is, 64-bit; the listing then covers what the reader reaches.
    const int64_t count = m.records;
    std::printf("file: %s\nbytes: %lld\nrecords: %lld\nduration: %lld.%03d s\n", name,
                (long long)m.bytes, (long long)count, (long long)(count * MOVIE_RECORD_MS / 1000),
                (int)(count * MOVIE_RECORD_MS % 1000));
    const int64_t extra = m.bytes - count * MOVIE_RECORD_SIZE;
    if (extra > 0) std::printf("trailing bytes ignored: %lld\n", (long long)extra);
    if (count > m.reachable)
        std::printf("out of reach: records %d to %lld lie past byte %d, beyond a movie's 32-bit "
                    "length; the player stops after record %d, and they are not listed\n",
                    m.reachable, (long long)count - 1, MOVIE_MAX_LENGTH, m.reachable - 1);
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
    if (r.records_read < m.reachable)
        std::printf("the file ended early: %d of %d records could be read\n", r.records_read,
                    m.reachable);
    movie_close();
    movie_free();
    return 0;
}
