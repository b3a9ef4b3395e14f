// The player's command line: any bytes, any length, into at most four names inside its buffer.
#include "player/player.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = [] {
        // Names are tried as files relative to here: one folder, the same for every run, with
        // a few names that open.
        const char *dir = "/tmp/fuzz_playlist";
        mkdir(dir, 0755);
        if (chdir(dir) != 0) return false;
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
    return 0;
}
