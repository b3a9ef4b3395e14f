// Writes the fuzzers' seed corpora: whole records and movies, packed code streams, and code +
// colour-list pairs, all well formed, from every scene of the generator.
#include "movie/movie.h"
#include "tests/support/record_gen.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (int s = 0; s < GEN_SCENE_COUNT; s++) {
        const std::vector<uint8_t> movie = gen_movie(static_cast<GenScene>(s), 2);
        if (movie.empty()) return 1;
        const std::string tag = std::to_string(s);
        const auto seed = [&](const char *folder, const char *suffix) {
            std::string name = dir;
            name.append("/").append(folder).append("/scene").append(tag).append(suffix);
            return name;
        };
        ok &= gen_write_file(seed("movie", ".mov").c_str(), movie);
        const uint8_t *rec = movie.data();
        const int32_t colours = rec[0] | rec[1] << 8;
        const int32_t packed = rec[2] | rec[3] << 8;
        const uint8_t *stream = rec + MOVIE_COLOUR_LIST_OFFSET + colours;
        ok &= gen_write_file(seed("lz", "").c_str(), std::vector<uint8_t>(stream, stream + packed));
        // Picture seeds: 16000 codes followed by the colour list.
        std::vector<uint8_t> codes(MOVIE_CODE_COUNT);
        int32_t written = 0;
        std::vector<uint8_t> pictures(MOVIE_PICTURES_BYTES);
        std::vector<uint8_t> colour_list(MOVIE_PICTURES_BYTES);
        uint8_t palette[MOVIE_PALETTE_BYTES];
        uint8_t sound[MOVIE_SOUND_SIZE];
        gen_scene(static_cast<GenScene>(s), 0, pictures.data(), palette, sound);
        written = gen_block_codes(pictures.data(), codes.data(), colour_list.data());
        codes.insert(codes.end(), colour_list.begin(), colour_list.begin() + written);
        ok &= gen_write_file(seed("picture", "").c_str(), codes);
    }
    if (!ok) std::fprintf(stderr, "make_seeds: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
