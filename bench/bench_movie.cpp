// Decoder speed on generated records: the unpacker beside LZ4's decompressor on the same code
// blocks, the picture decoder, whole records, and memcpy of the picture buffer as the floor.
#include "movie/lz.h"
#include "movie/movie.h"
#include "movie/picture.h"
#include "tests/support/record_gen.h"

#include <benchmark/benchmark.h>
#include <lz4.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

const char *const scene_names[] = {"flat", "gradient", "shapes", "noise", "texture"};

// Eight records of each scene, made once.
const Bytes &scene_movie(int scene)
{
    static Bytes movies[GEN_SCENE_COUNT];
    if (movies[scene].empty()) movies[scene] = gen_movie(static_cast<GenScene>(scene), 8);
    return movies[scene];
}

const uint8_t *record_at(int scene, int r)
{
    return scene_movie(scene).data() + static_cast<size_t>(r) * MOVIE_RECORD_SIZE;
}

void BM_LzUnpack(benchmark::State &state)
{
    const int scene = static_cast<int>(state.range(0));
    Bytes out(MOVIE_CODE_COUNT);
    int r = 0;
    for (auto _ : state) {
        const uint8_t *rec = record_at(scene, r);
        r = (r + 1) & 7;
        const int32_t cc = rec[0] | rec[1] << 8;
        const int32_t pl = rec[2] | rec[3] << 8;
        lz_unpack(out.data(), MOVIE_CODE_COUNT, rec + MOVIE_COLOUR_LIST_OFFSET + cc, pl, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * MOVIE_CODE_COUNT);
    state.SetLabel(scene_names[scene]);
}

void BM_Lz4Decompress(benchmark::State &state)
{
    const int scene = static_cast<int>(state.range(0));
    // The same 16000-byte code blocks, packed by LZ4 at its default level.
    std::vector<Bytes> packed(8);
    Bytes codes(MOVIE_CODE_COUNT), pictures(MOVIE_PICTURES_BYTES);
    for (int r = 0; r < 8; r++) {
        movie_decode_record(record_at(scene, r), MOVIE_RECORD_SIZE, codes.data(), pictures.data(),
                            nullptr);
        packed[r].resize(LZ4_compressBound(MOVIE_CODE_COUNT));
        const int n = LZ4_compress_default(reinterpret_cast<const char *>(codes.data()),
                                           reinterpret_cast<char *>(packed[r].data()),
                                           MOVIE_CODE_COUNT, static_cast<int>(packed[r].size()));
        packed[r].resize(static_cast<size_t>(n));
    }
    Bytes out(MOVIE_CODE_COUNT);
    int r = 0;
    for (auto _ : state) {
        LZ4_decompress_safe(reinterpret_cast<const char *>(packed[r].data()),
                            reinterpret_cast<char *>(out.data()),
                            static_cast<int>(packed[r].size()), MOVIE_CODE_COUNT);
        r = (r + 1) & 7;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * MOVIE_CODE_COUNT);
    state.SetLabel(scene_names[scene]);
}

void BM_PictureDecode(benchmark::State &state)
{
    const int scene = static_cast<int>(state.range(0));
    const uint8_t *rec = record_at(scene, 0);
    Bytes codes(MOVIE_CODE_COUNT), pictures(MOVIE_PICTURES_BYTES);
    const int32_t cc = rec[0] | rec[1] << 8;
    movie_decode_record(rec, MOVIE_RECORD_SIZE, codes.data(), pictures.data(), nullptr);
    for (auto _ : state) {
        picture_decode(rec + MOVIE_COLOUR_LIST_OFFSET, cc, pictures.data(), codes.data(),
                       MOVIE_CODE_COUNT, nullptr, nullptr);
        benchmark::DoNotOptimize(pictures.data());
    }
    state.SetBytesProcessed(state.iterations() * MOVIE_PICTURES_BYTES);
    state.SetLabel(scene_names[scene]);
}

// Unpack and both pictures, the work the reader does per record after its read.
void BM_DecodeRecord(benchmark::State &state)
{
    const int scene = static_cast<int>(state.range(0));
    Bytes codes(MOVIE_CODE_COUNT), pictures(MOVIE_PICTURES_BYTES);
    int r = 0;
    for (auto _ : state) {
        movie_decode_record(record_at(scene, r), MOVIE_RECORD_SIZE, codes.data(), pictures.data(),
                            nullptr);
        r = (r + 1) & 7;
        benchmark::DoNotOptimize(pictures.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(scene_names[scene]);
}

// The reader itself over a movie held in memory: read call, unpack, decode.
void BM_NextFrame(benchmark::State &state)
{
    const int scene = static_cast<int>(state.range(0));
    Bytes movie = scene_movie(scene);
    if (movie_alloc()) {
        state.SkipWithError("no memory");
        return;
    }
    uint8_t *picture, *palette, *sound;
    FILE *f = nullptr;
    for (auto _ : state) {
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) {
            state.PauseTiming();
            movie_close();
            f = fmemopen(movie.data(), movie.size(), "rb");
            movie_open_stream(f);
            state.ResumeTiming();
            movie_next_frame(&picture, &palette, &sound);
        }
        benchmark::DoNotOptimize(picture);
    }
    movie_close();
    movie_free();
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(scene_names[scene]);
}

void BM_Memcpy128000(benchmark::State &state)
{
    Bytes from(MOVIE_PICTURES_BYTES, 1), to(MOVIE_PICTURES_BYTES);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * MOVIE_PICTURES_BYTES);
}

void BM_Memcpy16000(benchmark::State &state)
{
    Bytes from(MOVIE_CODE_COUNT, 1), to(MOVIE_CODE_COUNT);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * MOVIE_CODE_COUNT);
}

} // namespace

BENCHMARK(BM_LzUnpack)->DenseRange(0, GEN_SCENE_COUNT - 1);
BENCHMARK(BM_Lz4Decompress)->DenseRange(0, GEN_SCENE_COUNT - 1);
BENCHMARK(BM_Memcpy16000);
BENCHMARK(BM_PictureDecode)->DenseRange(0, GEN_SCENE_COUNT - 1);
BENCHMARK(BM_DecodeRecord)->DenseRange(0, GEN_SCENE_COUNT - 1);
BENCHMARK(BM_NextFrame)->DenseRange(0, GEN_SCENE_COUNT - 1);
BENCHMARK(BM_Memcpy128000);
BENCHMARK_MAIN();
