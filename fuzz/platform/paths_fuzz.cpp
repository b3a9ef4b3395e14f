// The Windows path mapper and the name matching on any path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/posix/paths.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static char folder[4096];
    const char *base = std::getenv("TMPDIR");
    std::snprintf(folder, sizeof folder, "%s/paths-fuzz-%d", base && *base ? base : "/tmp",
                  static_cast<int>(getpid()));
    mkdir(folder, 0700);
    std::string sub = std::string(folder) + "/Trailer";
    mkdir(sub.c_str(), 0700);
    // Mapping goes by the CD's root as current directory, but libFuzzer still needs its own
    // (relative corpus folders).
    char own[4096];
    bool have_own = getcwd(own, sizeof own) != nullptr;
    paths_configure(folder, 'E');
    if (have_own && chdir(own) != 0) return 1;
    std::atexit([] {
        std::string sub = std::string(folder) + "/Trailer";
        rmdir(sub.c_str());
        rmdir(folder);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    std::string path = text.substr(0, text.find('\0'));
    std::string absolute, host;
    if (paths_absolute(path.c_str(), &absolute)) {
        if (absolute.size() > path.size() + paths_current().size() + 3)
            std::abort(); // resolving never grows a path beyond its parts
    }
    paths_map(path.c_str(), &host);
    size_t bar = path.find('|');
    if (bar != std::string::npos)
        paths_match(path.substr(0, bar).c_str(), path.substr(bar + 1).c_str());
    std::string cp;
    if (paths_from_utf8(path, &cp) && paths_to_utf8(cp) != path)
        std::abort(); // what converts one way converts back
    char name[256];
    if (path.find_first_of("*?") != std::string::npos) {
        FilesFind find = files_find_first(path.c_str(), name, sizeof name);
        if (find) {
            while (files_find_next(find, name, sizeof name)) {
            }
            files_find_close(find);
        }
    }
    return 0;
}
