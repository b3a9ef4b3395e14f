// The player's command line, as one string or as an argument vector: any bytes, any length,
// into at most four names inside its buffer.
#include "platform/headless/headless.h"
#include "player/player.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = [] {
        // Names are tried as files relative to here: one folder, the same for every run, with
        // a few names that open.
        const char *base = getenv("TMPDIR");
        std::string dir = std::string(base && *base ? base : "/tmp") + "/fuzz_playlist";
        mkdir(dir.c_str(), 0755);
        if (chdir(dir.c_str()) != 0) return false;
        for (const char *name : {"a", "b.mov", "tv.mov", "x y"})
            if (FILE *f = fopen(name, "w")) fclose(f);
        return true;
    }();
    if (!ready) return 0;
    std::string line((const char *)data, size);
    playlist_build(line.c_str());
    if (playlist_length < 0 || playlist_length > PLAYLIST_MAX) __builtin_trap();
    for (int32_t i = 0; i < playlist_length; i++)
        if (strlen(playlist[i]) >= COMMAND_LINE_BYTES) __builtin_trap();

    // The same bytes as arguments, split at zero bytes: every name kept is one argument whole.
    static HeadlessConfig quiet = [] {
        HeadlessConfig c = headless_defaults();
        c.quiet_boxes = 1;
        return c;
    }();
    headless_reset(&quiet); // drops the notices of the run before
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t i = 0; i <= size; i++)
        if (i == size || data[i] == 0) {
            words.emplace_back((const char *)data + start, i - start);
            start = i + 1;
        }
    std::vector<const char *> names;
    for (const std::string &w : words)
        names.push_back(w.c_str());
    playlist_build_args((int32_t)names.size(), names.data());
    if (playlist_length < 0 || playlist_length > PLAYLIST_MAX) __builtin_trap();
    for (int32_t i = 0; i < playlist_length; i++) {
        bool whole = strcmp(playlist[i], "tv.mov") == 0;
        for (const std::string &w : words)
            whole = whole || w == playlist[i];
        if (!whole) __builtin_trap();
    }
    return 0;
}
