// movtool dump: exactly what the decoder hands out, record after record, for comparison with
// decodes made elsewhere.
#include "movie/movie.h"
#include "platform/output.h"
#include "tools/movtool/movtool.h"

#include <cstdint>

int movtool_dump(int argc, char **argv)
{
    if (argc != 3) {
        movtool_error("usage: movtool dump MOVIE OUT.raw");
        return 2;
    }
    const char *name = argv[1];
    const char *out_name = argv[2];
    if (!movtool_open_movie(name)) return 1;
    OutputFile out;
    int status = output_open(&out, out_name);
    if (status != 0) {
        movtool_error("%s", output_error());
        movie_close();
        movie_free();
        return status;
    }
    const MovieReader &r = movie_reader;
    uint8_t *picture = nullptr, *palette = nullptr, *sound = nullptr;
    for (;;) {
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) break;
        if (r.fault != MOVIE_FAULT_NONE)
            movtool_error("%s: record %d damaged: %s (at %d)", name, r.records_read - 1,
                          movie_fault_text(r.fault), r.fault_at);
        if (output_write(&out, picture, MOVIE_PICTURES_BYTES) ||
            output_write(&out, palette, MOVIE_PALETTE_BYTES) ||
            output_write(&out, sound, MOVIE_SOUND_SIZE)) {
            status = 1;
            break;
        }
    }
    movie_close();
    movie_free();
    if (status == 0) status = output_commit(&out);
    if (status != 0) {
        movtool_error("%s", output_error());
        output_abandon(&out);
    }
    return status;
}
