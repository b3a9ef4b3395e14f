// Encoder speed in records a second on one core (the goal is 50, eight times real time), on
// pictures made here: a zooming fractal with smooth colours (many colours, never fits
// exactly), flat moving shapes (fits exactly) and noise (the worst case).
#include "movie/movie.h"
#include "tools/movtool/encode_lz.h"
#include "tools/movtool/encode_quantize.h"
#include "tools/movtool/encode_record.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr int32_t RECORDS = 8;
constexpr int32_t RECORD_RGB = MOVIE_PICTURES_BYTES * 3;

void fractal(uint8_t *rgb, int32_t frame)
{
    double zoom = 3.0 * std::pow(0.97, frame);
    for (int32_t y = 0; y < 200; y++)
        for (int32_t x = 0; x < 320; x++) {
            double cr = -0.743643 + (x - 160) * zoom / 320, ci = 0.131825 + (y - 100) * zoom / 320;
            double zr = 0, zi = 0;
            int32_t i = 0;
            while (i < 200 && zr * zr + zi * zi < 64) {
                double t = zr * zr - zi * zi + cr;
                zi = 2 * zr * zi + ci;
                zr = t;
                i++;
            }
            double v = i == 200 ? 0 : i + 1 - std::log2(std::log2(zr * zr + zi * zi));
            uint8_t *p = rgb + (y * 320 + x) * 3;
            p[0] = (uint8_t)(127.5 + 127.5 * std::sin(v * 0.11));
            p[1] = (uint8_t)(127.5 + 127.5 * std::sin(v * 0.13 + 2));
            p[2] = (uint8_t)(127.5 + 127.5 * std::sin(v * 0.17 + 4));
        }
}

void shapes(uint8_t *rgb, int32_t frame)
{
    for (int32_t y = 0; y < 200; y++)
        for (int32_t x = 0; x < 320; x++) {
            uint8_t *p = rgb + (y * 320 + x) * 3;
            p[0] = (uint8_t)(x / 32 * 25);
            p[1] = (uint8_t)(y / 20 * 25);
            p[2] = 90;
            int32_t dx = x - 60 - frame * 4, dy = y - 100;
            if (dx * dx + dy * dy < 1600) p[0] = 250, p[1] = 240, p[2] = 10;
        }
}

void noise(uint8_t *rgb, int32_t frame)
{
    uint32_t seed = (uint32_t)frame * 7919u + 1;
    for (int32_t i = 0; i < MOVIE_PICTURE_BYTES * 3; i++) {
        seed = seed * 1664525u + 1013904223u;
        rgb[i] = (uint8_t)(seed >> 24);
    }
}

const Bytes &clip(int32_t kind)
{
    static Bytes clips[3];
    Bytes &c = clips[kind];
    if (c.empty()) {
        c.resize((size_t)RECORDS * RECORD_RGB);
        for (int32_t f = 0; f < RECORDS * 2; f++) {
            uint8_t *rgb = c.data() + (size_t)f * MOVIE_PICTURE_BYTES * 3;
            if (kind == 0)
                fractal(rgb, f);
            else if (kind == 1)
                shapes(rgb, f);
            else
                noise(rgb, f);
        }
    }
    return c;
}

void BM_EncodeRecord(benchmark::State &state, int32_t kind)
{
    const Bytes &rgb = clip(kind);
    RecordEncoder *e = encode_record_alloc();
    Bytes sound(MOVIE_SOUND_SIZE, 0x80), record(MOVIE_RECORD_SIZE);
    char error[256];
    int32_t r = 0, lossless = 0, count = 0;
    double squared = 0;
    for (auto _ : state) {
        RecordStats stats;
        if (!encode_record(e, rgb.data() + (size_t)r * RECORD_RGB, sound.data(), record.data(),
                           &stats, error, sizeof error)) {
            state.SkipWithError(error);
            break;
        }
        squared += stats.squared_error;
        lossless += stats.lossless;
        count++;
        r = (r + 1) % RECORDS;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["records/s"] = benchmark::Counter((double)count, benchmark::Counter::kIsRate);
    state.counters["PSNR"] = encode_psnr(squared, (double)count * RECORD_RGB);
    state.counters["lossless"] = count ? (double)lossless / count : 0;
    encode_record_free(e);
}
BENCHMARK_CAPTURE(BM_EncodeRecord, fractal, 0);
BENCHMARK_CAPTURE(BM_EncodeRecord, shapes, 1);
BENCHMARK_CAPTURE(BM_EncodeRecord, noise, 2);

// The packer on the codes of the fractal's records as the encoder leaves them.
void BM_Pack(benchmark::State &state, LzEffort effort)
{
    const Bytes &rgb = clip(0);
    RecordEncoder *e = encode_record_alloc();
    Bytes sound(MOVIE_SOUND_SIZE, 0x80), record(MOVIE_RECORD_SIZE), pictures(MOVIE_PICTURES_BYTES);
    std::vector<Bytes> codes;
    char error[256];
    for (int32_t r = 0; r < RECORDS; r++) {
        RecordStats stats;
        codes.emplace_back(MOVIE_CODE_COUNT);
        encode_record(e, rgb.data() + (size_t)r * RECORD_RGB, sound.data(), record.data(), &stats,
                      error, sizeof error);
        movie_decode_record(record.data(), MOVIE_RECORD_SIZE, codes.back().data(), pictures.data(),
                            nullptr);
    }
    encode_record_free(e);
    LzPacker *p = encode_lz_alloc(MOVIE_CODE_COUNT);
    Bytes out((size_t)encode_lz_bound(MOVIE_CODE_COUNT));
    int32_t r = 0;
    int64_t packed = 0;
    for (auto _ : state) {
        packed += encode_lz_pack(p, codes[(size_t)r].data(), MOVIE_CODE_COUNT, out.data(),
                                 (int32_t)out.size(), effort);
        r = (r + 1) % RECORDS;
    }
    state.counters["bytes"] = (double)packed / (double)state.iterations();
    encode_lz_free(p);
}
BENCHMARK_CAPTURE(BM_Pack, fast, LZ_FAST);
BENCHMARK_CAPTURE(BM_Pack, best, LZ_BEST);

void BM_Quantize(benchmark::State &state)
{
    const Bytes &rgb = clip(0);
    Quantizer *q = encode_quantize_alloc();
    Bytes palette(248 * 3), indices(MOVIE_PICTURES_BYTES);
    int32_t r = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode_quantize(q, rgb.data() + (size_t)r * RECORD_RGB,
                                                 MOVIE_PICTURES_BYTES, palette.data(),
                                                 indices.data(), 248));
        r = (r + 1) % RECORDS;
    }
    encode_quantize_free(q);
}
BENCHMARK(BM_Quantize);

} // namespace

BENCHMARK_MAIN();
