// present_picture in both modes, next to memcpy of as many bytes as the mode's screen holds.
#include "platform/headless/headless.h"
#include "player/window.h"
#include "present/display.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

static uint8_t offscreen[DISPLAY_OFFSCREEN_BYTES];
static uint32_t table[256];

static void set_up(int32_t width, int32_t height)
{
    HeadlessConfig c = headless_defaults();
    c.quiet_boxes = 1;
    headless_reset(&c);
    player_window_reset();
    player_window_create();
    window_show(player_window.load());
    display_offscreen = offscreen;
    display_colour_table = table;
    display_set_mode(width, height, 2);
    display_init();
    display_set_target(offscreen);
    display_clear();
}

static void bench_present(benchmark::State &state, int32_t width, int32_t height)
{
    set_up(width, height);
    std::mt19937 random(1);
    std::vector<uint8_t> picture(64000), palette(744);
    for (uint8_t &p : picture)
        p = (uint8_t)random();
    for (uint8_t &p : palette)
        p = (uint8_t)(random() % 64);
    for (auto _ : state)
        present_picture(picture.data(), palette.data());
    display_shutdown();
}

// The headless screen hashes what it shows at every unlock; the display's own work is measured
// on plain memory here, as it runs against a real screen's memory.
static void bench_draw(benchmark::State &state, int32_t stretched)
{
    std::mt19937 random(1);
    std::vector<uint8_t> picture(64000), palette(744);
    for (uint8_t &p : picture)
        p = (uint8_t)random();
    for (uint8_t &p : palette)
        p = (uint8_t)(random() % 64);
    std::vector<uint8_t> screen(stretched ? 614400 : 128000);
    uint32_t t[256] = {};
    for (auto _ : state) {
        display_build_colour_table(t, palette.data(), 1);
        if (stretched)
            display_stretch_picture(screen.data(), 1280, 480, picture.data(), t, 1);
        else
            display_copy_picture(screen.data(), 640, 200, picture.data(), t);
        benchmark::DoNotOptimize(screen.data());
    }
}

static void bench_memcpy(benchmark::State &state, size_t bytes)
{
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
}

BENCHMARK_CAPTURE(bench_draw, copy_320x200, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench_draw, stretch_640x480, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench_memcpy, screen_320x200, 128000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench_memcpy, screen_640x480, 614400)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench_present, headless_320x200, 320, 200)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(bench_present, headless_640x480, 640, 480)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
