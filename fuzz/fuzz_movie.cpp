// A whole movie file through the reader: open, every record, close.
#include "movie/movie.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4 * 43797 + 100) return 0;
    static bool allocated = false;
    if (!allocated) {
        if (movie_alloc()) std::abort();
        allocated = true;
    }
    FILE *f = fmemopen(const_cast<uint8_t *>(data), size ? size : 1, "rb");
    if (!f) return 0;
    if (size == 0) {
        std::fclose(f);
        f = nullptr;
    }
    movie_open_stream(f);
    uint8_t *picture, *palette, *sound;
    int frames = 0;
    for (;;) {
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) break;
        if (++frames > movie_reader.record_count || picture[0] + picture[127999] < 0) std::abort();
        volatile uint8_t touch = palette[743] ^ sound[3527];
        (void)touch;
    }
    movie_close();
    return 0;
}
