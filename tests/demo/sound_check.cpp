// Checks that a sound recording (the disk audio driver's file: unsigned 8-bit mono at 22050
// samples a second) holds a movie's sound track from its first record on, for at least a given
// number of seconds without a byte out of place.
// usage: demo_sound_check MOVIE RECORDING SECONDS
#include "movie/movie.h"
#include "tests/support/cli.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: demo_sound_check MOVIE RECORDING SECONDS\n");
        return 2;
    }
    const std::vector<uint8_t> movie = cli_read_file(argv[1]);
    const std::vector<uint8_t> heard = cli_read_file(argv[2]);
    if (movie.empty() || heard.empty()) {
        std::fprintf(stderr, "demo_sound_check: cannot read %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    std::vector<uint8_t> track;
    for (size_t at = 0; at + MOVIE_RECORD_SIZE <= movie.size(); at += MOVIE_RECORD_SIZE)
        track.insert(track.end(), movie.begin() + at + MOVIE_SOUND_OFFSET,
                     movie.begin() + at + MOVIE_RECORD_SIZE);
    const size_t wanted = static_cast<size_t>(std::atof(argv[3]) * 22050);

    // The device plays silence until the player has started, which on a busy machine may take
    // a while: the track begins wherever the longest run of agreement begins.
    size_t best = 0, best_at = 0;
    for (size_t start = 0; start < heard.size(); start++) {
        size_t same = 0;
        while (start + same < heard.size() && same < track.size() &&
               heard[start + same] == track[same])
            same++;
        if (same > best) best = same, best_at = start;
    }
    // Silence matches silence: the part that matched must be sound, not a flat line.
    bool seen[256] = {};
    int distinct = 0;
    for (size_t i = 0; i < best; i++)
        if (!seen[heard[best_at + i]]) seen[heard[best_at + i]] = true, distinct++;
    std::printf("recording %zu bytes; the track from its start matches %zu bytes (%.2f s) from "
                "byte %zu\n",
                heard.size(), best, (double)best / 22050.0, best_at);
    return best >= wanted && distinct >= 32 ? 0 : 1;
}
