#include "tests/tools/fixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Rgb rgb_make(int32_t w, int32_t h)
{
    return Rgb{w, h, Bytes((size_t)w * h * 3, 0)};
}

void rgb_set(Rgb *p, int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b)
{
    uint8_t *d = p->px.data() + ((size_t)y * p->w + x) * 3;
    d[0] = r;
    d[1] = g;
    d[2] = b;
}

Rgb rgb_shapes(int32_t frame)
{
    Rgb p = rgb_make(320, 200);
    for (int32_t y = 0; y < 200; y++)
        for (int32_t x = 0; x < 320; x++) {
            uint8_t r = 20, g = 40, b = 200;
            if (x >= 30 + frame * 3 && x < 130 + frame * 3 && y >= 40 && y < 90)
                r = 250, g = 200, b = 16;
            if ((x - 200) * (x - 200) + (y - 120 - frame) * (y - 120 - frame) < 900)
                r = 12, g = 160, b = 60;
            if (y >= 180) r = g = b = (uint8_t)(x / 40 * 32);
            rgb_set(&p, x, y, r, g, b);
        }
    return p;
}

Rgb rgb_noise(uint32_t seed)
{
    Rgb p = rgb_make(320, 200);
    for (uint8_t &v : p.px) {
        seed = seed * 1664525u + 1013904223u;
        v = (uint8_t)(seed >> 24);
    }
    return p;
}

bool png_write(const std::string &path, const Rgb &p)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)p.w;
    image.height = (png_uint_32)p.h;
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, p.px.data(), 0, nullptr) != 0;
}

bool wav_write(const std::string &path, const std::vector<float> &interleaved, int32_t rate,
               int32_t channels, int32_t format)
{
    SF_INFO info;
    memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_count_t frames = (sf_count_t)(interleaved.size() / (size_t)channels);
    bool ok = sf_writef_float(f, interleaved.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

CliRun movtool_run(const std::string &args)
{
    return cli_run(std::string(MOVTOOL_PATH) + " " + args);
}

Bytes file_read(const std::string &path)
{
    return cli_read_file(path);
}

namespace
{

// Removes this process's test folders when the tests end.
struct FolderSweeper {
    ~FolderSweeper()
    {
        std::string command =
            "rm -rf '" + testing::TempDir() + "encoder_test_" + std::to_string(getpid()) + "_'*";
        if (system(command.c_str()) != 0) fprintf(stderr, "could not remove the test folders\n");
    }
} folder_sweeper;

} // namespace

std::string test_folder(const char *name)
{
    // The process id keeps two builds' test runs at the same time apart.
    std::string dir = testing::TempDir() + "encoder_test_" + std::to_string(getpid()) + "_" + name;
    std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "cannot make " << dir;
    return dir;
}

std::vector<std::string> folder_list(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

static void snapshot_into(const std::string &root, const std::string &relative,
                          std::map<std::string, std::string> *out)
{
    for (const std::string &name : folder_list(root + relative)) {
        std::string path = relative;
        path += "/" + name;
        struct stat st;
        if (lstat((root + path).c_str(), &st) != 0) continue;
        // A folder's own size and times are the file system's to keep (tmpfs counts its
        // entries in the size): what it holds is compared entry by entry instead.
        char head[64];
        snprintf(head, sizeof head, "mode %o size %lld", (unsigned)st.st_mode,
                 S_ISDIR(st.st_mode) ? 0LL : (long long)st.st_size);
        std::string entry = head;
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            ssize_t n = readlink((root + path).c_str(), target, sizeof target - 1);
            entry += " -> " + std::string(target, n > 0 ? (size_t)n : 0);
        } else if (S_ISREG(st.st_mode)) {
            uint64_t hash = 1469598103934665603ull; // FNV-1a
            for (uint8_t b : file_read(root + path))
                hash = (hash ^ b) * 1099511628211ull;
            entry += " fnv " + std::to_string(hash);
        }
        (*out)[path] = entry;
        if (S_ISDIR(st.st_mode)) snapshot_into(root, path, out);
    }
}

std::map<std::string, std::string> tree_snapshot(const std::string &dir)
{
    std::map<std::string, std::string> entries;
    snapshot_into(dir, "", &entries);
    return entries;
}
