// Pictures and sounds the encoder tests make on the fly, and a way to run movtool.
#pragma once

#include "tests/support/cli.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// An RGB picture, w x h x 3 bytes.
struct Rgb {
    int32_t w, h;
    Bytes px;
};

Rgb rgb_make(int32_t w, int32_t h);
void rgb_set(Rgb *p, int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b);
// A few flat colours in moving rectangles: always fits a record exactly.
Rgb rgb_shapes(int32_t frame);
// Every pixel its own random colour: never fits a record exactly.
Rgb rgb_noise(uint32_t seed);

bool png_write(const std::string &path, const Rgb &p);
// format: an SF_FORMAT_* combination.
bool wav_write(const std::string &path, const std::vector<float> &interleaved, int32_t rate,
               int32_t channels, int32_t format);

CliRun movtool_run(const std::string &args);

Bytes file_read(const std::string &path);
// A fresh empty folder for one test.
std::string test_folder(const char *name);
// Names in a folder, sorted.
std::vector<std::string> folder_list(const std::string &dir);

// Everything under dir, by path relative to it: the kind, permissions and size of each entry,
// a hash of each file's bytes, each link's target. Two snapshots are equal only when nothing
// under dir was made, removed or changed.
std::map<std::string, std::string> tree_snapshot(const std::string &dir);
