#include "platform/posix/folders.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix/paths.h"

namespace
{

constexpr int FOLDER_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

bool windows_character(unsigned char c)
{
    return c >= 0x20 && !std::strchr("\\/:*?\"<>|", c);
}

// A second descriptor of the folder with its own position, for reading its entries.
DIR *open_listing(int fd)
{
    int own = openat(fd, ".", FOLDER_FLAGS);
    if (own < 0) return nullptr;
    DIR *dir = fdopendir(own);
    if (!dir) close(own);
    return dir;
}

} // namespace

bool folders_name_valid(const std::string &cp1252)
{
    if (cp1252.empty()) return false;
    for (char c : cp1252)
        if (!windows_character(static_cast<unsigned char>(c))) return false;
    return true;
}

bool folders_name_visible(const char *host_name, std::string *cp1252)
{
    std::string spelling;
    if (!paths_from_utf8(host_name, &spelling) || !folders_name_valid(spelling)) return false;
    if (cp1252) *cp1252 = spelling;
    return true;
}

bool folders_lookup(int fd, const std::string &name, std::string *host_name)
{
    if (!folders_name_valid(name)) return false;
    std::string own = paths_to_utf8(name);
    struct stat st;
    if (fstatat(fd, own.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        *host_name = own;
        return true;
    }
    DIR *dir = open_listing(fd);
    if (!dir) return false;
    bool found = false;
    while (struct dirent *entry = readdir(dir)) {
        std::string spelling;
        if (!folders_name_visible(entry->d_name, &spelling) || !paths_equal_folded(spelling, name))
            continue;
        // The lowest of several spellings, so that the same tree always gives the same answer.
        if (!found || std::strcmp(entry->d_name, host_name->c_str()) < 0) {
            *host_name = entry->d_name;
            found = true;
        }
    }
    closedir(dir);
    return found;
}

int folders_open_child(int fd, const std::string &child)
{
    if (child.empty() || child == "." || child == ".." || child.find('/') != std::string::npos)
        return -1;
#ifdef RESOLVE_BENEATH
    static bool no_openat2 = false;
    if (!no_openat2) {
        struct open_how how = {};
        how.flags = FOLDER_FLAGS;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        long opened = syscall(SYS_openat2, fd, child.c_str(), &how, sizeof how);
        if (opened >= 0) return static_cast<int>(opened);
        // Kernels before 5.6 (or a filter that forbids the call): the older way, one component
        // with O_NOFOLLOW, is as safe for a single name.
        if (errno != ENOSYS && errno != EPERM) return -1;
        no_openat2 = true;
    }
#endif
    return openat(fd, child.c_str(), FOLDER_FLAGS | O_NOFOLLOW);
}

int folders_walk(int fd, const std::string &relative)
{
    int at = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    size_t start = 0;
    while (at >= 0 && start <= relative.size()) {
        size_t end = relative.find_first_of("\\/", start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        std::string host;
        int next =
            part != ".." && folders_lookup(at, part, &host) ? folders_open_child(at, host) : -1;
        close(at);
        at = next;
    }
    return at;
}

bool folders_list(int fd, std::vector<std::string> *names)
{
    DIR *dir = open_listing(fd);
    if (!dir) return false;
    while (struct dirent *entry = readdir(dir)) {
        std::string spelling;
        if (folders_name_visible(entry->d_name, &spelling)) names->push_back(spelling);
    }
    closedir(dir);
    return true;
}
