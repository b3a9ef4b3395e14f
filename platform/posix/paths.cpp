#include "platform/posix/paths.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cp1252.h"
#include "platform/posix/folders.h"

namespace
{

constexpr size_t MAX_WINDOWS_PATH = 1024;

struct PathsState {
    std::string cd_folder = ".";
    char cd_letter = 'd';
    std::string current;
    int current_fd = -1; // the current directory, opened; -1 until first needed
};

PathsState state;

char lower_letter(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool is_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string prefix_drive(char letter)
{
    return paths_wine_prefix() + "/dosdevices/" + letter + ":";
}

std::string drive_root(char letter)
{
    letter = lower_letter(letter);
    if (letter == state.cd_letter) return state.cd_folder;
    std::string root = prefix_drive(letter);
    struct stat st;
    // Wine's Z: is the host's root; without a prefix that still holds.
    if (letter == 'z' && stat(root.c_str(), &st) != 0) return "/";
    return root;
}

// The current directory at start: the CD's root when we are inside the CD folder, Z: else.
std::string current_from_host()
{
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer))
        return std::string(1, static_cast<char>(state.cd_letter - 32)) + ":\\";
    std::string host = buffer;
    char cd_real[PATH_MAX];
    if (realpath(state.cd_folder.c_str(), cd_real)) {
        size_t n = std::strlen(cd_real);
        if (host.compare(0, n, cd_real) == 0 && (host.size() == n || host[n] == '/')) {
            std::string rest = host.substr(n);
            std::string win(1, static_cast<char>(state.cd_letter - 32));
            win += ":";
            for (char c : rest)
                win += c == '/' ? '\\' : c;
            if (win.size() == 2) win += '\\';
            std::string cp;
            return paths_from_utf8(win, &cp) ? cp : win;
        }
    }
    std::string win = "Z:";
    for (char c : host)
        win += c == '/' ? '\\' : c;
    std::string cp;
    return paths_from_utf8(win, &cp) ? cp : std::string("Z:\\");
}

// Wildcards with one point to come back to: a later star supersedes an earlier one, so a match
// costs at most pattern length x name length, whatever the pattern ("*?*?*?*..." against a long
// name took exponential time by plain recursion).
bool match_from(const char *p, const char *n)
{
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = ++p;
            resume = n;
        } else if (*p && (*p == '?' || paths_fold(static_cast<unsigned char>(*p)) ==
                                           paths_fold(static_cast<unsigned char>(*n)))) {
            p++;
            n++;
        } else if (star) {
            p = star;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*')
        p++;
    return *p == '\0';
}

} // namespace

std::string paths_wine_prefix()
{
    const char *prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix) return prefix;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

unsigned char paths_fold(unsigned char c)
{
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);
    if (c == 0x9F) return 0xFF;
    return c;
}

bool paths_equal_folded(const std::string &a, const std::string &b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (paths_fold(static_cast<unsigned char>(a[i])) !=
            paths_fold(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string paths_to_utf8(const std::string &cp1252)
{
    return cp1252_to_utf8(cp1252);
}

bool paths_from_utf8(const std::string &utf8, std::string *cp1252)
{
    return cp1252_from_utf8(utf8, cp1252);
}

bool paths_match(const char *pattern, const char *name)
{
    size_t n = std::strlen(pattern);
    if (match_from(pattern, name)) return true;
    // "x.*" also takes names without an extension, as the original's search did.
    if (n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' && !std::strchr(name, '.')) {
        std::string stem(pattern, n - 2);
        return match_from(stem.c_str(), name);
    }
    return false;
}

bool paths_configure(const char *cd_folder, char cd_letter)
{
    if (!is_letter(cd_letter)) return false;
    char real[PATH_MAX];
    state.cd_folder = realpath(cd_folder, real) ? real : cd_folder;
    state.cd_letter = lower_letter(cd_letter);
    int fd = open(state.cd_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    if (!paths_enter(std::string(1, static_cast<char>(state.cd_letter - 32)) + ":\\", fd)) {
        close(fd);
        return false;
    }
    return true;
}

bool paths_drive_mapped(char letter)
{
    if (!is_letter(letter)) return false;
    letter = lower_letter(letter);
    struct stat st;
    return letter == state.cd_letter ||
           (stat(prefix_drive(letter).c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

char paths_cd_letter()
{
    return static_cast<char>(state.cd_letter - 32);
}
const std::string &paths_cd_folder()
{
    return state.cd_folder;
}

const std::string &paths_current()
{
    if (state.current.empty()) state.current = current_from_host();
    return state.current;
}

int paths_current_folder()
{
    if (state.current_fd < 0) {
        paths_current();
        state.current_fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    }
    return state.current_fd;
}

bool paths_enter(const std::string &absolute, int fd)
{
    // The process's own current directory and the one Windows names are resolved against are
    // changed together or not at all, so that a started program and our own relative names
    // always mean the same folder.
    if (fchdir(fd) != 0) return false;
    if (state.current_fd >= 0 && state.current_fd != fd) close(state.current_fd);
    state.current_fd = fd;
    state.current = absolute;
    return true;
}

bool paths_absolute(const char *windows_path, std::string *absolute)
{
    size_t length = std::strlen(windows_path);
    if (length == 0 || length > MAX_WINDOWS_PATH) return false;
    for (size_t i = 0; i < length; i++)
        if (static_cast<unsigned char>(windows_path[i]) < 0x20) return false;
    if (windows_path[0] == '/') {
        *absolute = windows_path;
        return true;
    }
    const std::string &current = paths_current();
    std::string drive; // "C:"
    std::string rest;
    bool from_root;
    if (length >= 2 && is_letter(windows_path[0]) && windows_path[1] == ':') {
        drive = std::string(1, static_cast<char>(lower_letter(windows_path[0]) - 32)) + ":";
        rest = windows_path + 2;
        from_root = true;
        // "C:name" is relative to the current directory when that lies on C:.
        if (!rest.empty() && rest[0] != '\\' && rest[0] != '/' && current.size() >= 2 &&
            lower_letter(current[0]) == lower_letter(drive[0])) {
            rest = current.substr(2) + "\\" + rest;
        }
    } else if (windows_path[0] == '\\' || windows_path[0] == '/') {
        if (windows_path[1] == '\\' || windows_path[1] == '/') return false; // a network path
        drive = current.substr(0, 2);
        rest = windows_path;
        from_root = true;
    } else {
        drive = current.substr(0, 2);
        rest = current.substr(2) + "\\" + windows_path;
        from_root = false;
    }
    (void)from_root;
    std::string out = drive;
    size_t root_length = out.size();
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string::npos) end = rest.size();
        std::string part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        // No Windows file system holds such a name, so no Windows path can name it.
        if (!folders_name_valid(part)) return false;
        if (part == "..") {
            size_t cut = out.find_last_of('\\');
            if (cut != std::string::npos && cut >= root_length) out.erase(cut);
            continue;
        }
        out += '\\';
        out += part;
    }
    if (out.size() == root_length) out += '\\';
    *absolute = out;
    return true;
}

bool paths_map(const char *windows_path, std::string *host)
{
    std::string absolute;
    if (!paths_absolute(windows_path, &absolute)) return false;
    if (absolute[0] == '/') {
        *host = absolute;
        return true;
    }
    std::string out = drive_root(absolute[0]);
    bool searching = true;
    size_t start = 3;
    while (start < absolute.size()) {
        size_t end = absolute.find('\\', start);
        if (end == std::string::npos) end = absolute.size();
        std::string part = absolute.substr(start, end - start);
        start = end + 1;
        std::string name = paths_to_utf8(part);
        if (searching) {
            std::string exact = out;
            exact += '/';
            exact += name;
            struct stat st;
            if (lstat(exact.c_str(), &st) != 0) {
                searching = false;
                int fd = open(out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
                std::string found;
                if (fd >= 0 && folders_lookup(fd, part, &found)) {
                    name = found;
                    searching = true;
                }
                if (fd >= 0) close(fd);
            }
        }
        out += '/';
        out += name;
    }
    *host = out;
    return true;
}
