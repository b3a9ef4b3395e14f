// movtool dump: exactly what the decoder hands out, record after record, for comparison with
// decodes made elsewhere.
#include "movie/movie.h"
#include "tools/movtool/movtool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

int movtool_dump(int argc, char **argv)
{
    if (argc != 3) {
        movtool_error("usage: movtool dump MOVIE OUT.raw");
        return 2;
    }
    const char *name = argv[1];
    const char *out_name = argv[2];
    if (!movtool_open_movie(name)) return 1;
    // Written beside the target and renamed at the end, so a failed dump leaves nothing behind
    // and never half-overwrites an earlier one.
    const std::string temp = std::string(out_name) + ".part";
    FILE *out = std::fopen(temp.c_str(), "wb");
    if (!out) {
        movtool_error("%s: %s", out_name, std::strerror(errno));
        movie_close();
        movie_free();
        return 1;
    }
    int status = 0;
    {
        const MovieReader &r = movie_reader;
        uint8_t *picture = nullptr, *palette = nullptr, *sound = nullptr;
        for (;;) {
            movie_next_frame(&picture, &palette, &sound);
            if (!picture) break;
            if (r.fault != MOVIE_FAULT_NONE)
                movtool_error("%s: record %d damaged: %s (at %d)", name, r.records_read - 1,
                              movie_fault_text(r.fault), r.fault_at);
            if (std::fwrite(picture, 1, MOVIE_PICTURES_BYTES, out) != MOVIE_PICTURES_BYTES ||
                std::fwrite(palette, 1, MOVIE_PALETTE_BYTES, out) != MOVIE_PALETTE_BYTES ||
                std::fwrite(sound, 1, MOVIE_SOUND_SIZE, out) != MOVIE_SOUND_SIZE) {
                movtool_error("%s: %s", out_name, std::strerror(errno));
                status = 1;
                break;
            }
        }
        movie_close();
    }
    movie_free();
    if (std::fclose(out) != 0 && status == 0) {
        movtool_error("%s: %s", out_name, std::strerror(errno));
        status = 1;
    }
    if (status == 0 && std::rename(temp.c_str(), out_name) != 0) {
        movtool_error("%s: %s", out_name, std::strerror(errno));
        status = 1;
    }
    if (status != 0) std::remove(temp.c_str());
    return status;
}
