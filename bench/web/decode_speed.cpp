// Records decoded a second, the same program built natively and as WebAssembly: every record
// of a movie file, decoded in turn (unpacking and both pictures), over and over for a while.
// usage: decode_speed MOVIE [SECONDS]
#include "movie/movie.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: decode_speed MOVIE [SECONDS]\n");
        return 2;
    }
    double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    FILE *f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> movie;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        movie.insert(movie.end(), chunk, chunk + n);
    std::fclose(f);
    size_t records = movie.size() / MOVIE_RECORD_SIZE;
    if (records == 0) {
        std::fprintf(stderr, "%s: no whole record\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> codes(MOVIE_CODE_COUNT), pictures(MOVIE_PICTURES_BYTES);
    auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    long decoded = 0;
    unsigned check = 0;
    while (elapsed < seconds) {
        for (size_t r = 0; r < records; r++, decoded++) {
            int32_t at = 0;
            movie_decode_record(movie.data() + r * MOVIE_RECORD_SIZE, MOVIE_RECORD_SIZE,
                                codes.data(), pictures.data(), &at);
            check += pictures[r % MOVIE_PICTURES_BYTES];
        }
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::printf("%.1f records/s (%ld records in %.2f s, check %u)\n", (double)decoded / elapsed,
                decoded, elapsed, check);
    return 0;
}
