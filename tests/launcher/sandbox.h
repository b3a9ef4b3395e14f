// Real temporary folders for whole menu sessions: a CD folder (drive E:), a Wine prefix whose C:
// holds the install folder, a folder outside both, and a registry file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

struct Sandbox {
    fs::path root, cd, prefix, drive_c, outside, registry;
};

// A fresh folder in the test's own temporary folder (TMPDIR).
inline Sandbox sandbox_make()
{
    Sandbox s;
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/runner-test-XXXXXX";
    s.root = fs::path(mkdtemp(&templ[0]));
    s.cd = s.root / "cd";
    s.prefix = s.root / "prefix";
    s.drive_c = s.prefix / "drive_c";
    s.outside = s.root / "outside";
    s.registry = s.root / "system.reg";
    fs::create_directories(s.cd);
    fs::create_directories(s.drive_c);
    fs::create_directories(s.prefix / "dosdevices");
    fs::create_directories(s.outside);
    fs::create_directory_symlink("../drive_c", s.prefix / "dosdevices" / "c:");
    setenv("WINEPREFIX", s.prefix.c_str(), 1);
    setenv("RUNNER_REGISTRY", s.registry.c_str(), 1);
    unsetenv("COMSPEC");
    return s;
}

inline void sandbox_remove(const Sandbox &s)
{
    std::error_code ignored;
    if (chdir("/") != 0) return;
    // Read-only files and folders must become writable again before they can go.
    for (auto it = fs::recursive_directory_iterator(s.root, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(s.root, ignored);
}

inline void write_file(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every entry below a folder, links not followed: its kind, permissions, size and a hash of its
// content, or a link's target. Never opens anything but regular files, and those without
// blocking.
inline std::map<std::string, std::string> sandbox_listing(const fs::path &root)
{
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string rel = it->path().lexically_relative(root).string();
        struct stat st;
        if (lstat(it->path().c_str(), &st) != 0) {
            entries[rel] = "gone";
            continue;
        }
        char head[64];
        std::snprintf(head, sizeof head, "%o %lld ", static_cast<unsigned>(st.st_mode),
                      static_cast<long long>(S_ISDIR(st.st_mode) ? 0 : st.st_size));
        std::string entry = head;
        if (S_ISLNK(st.st_mode)) {
            entry += "link:" + fs::read_symlink(it->path(), error).string();
        } else if (S_ISREG(st.st_mode)) {
            // FNV-1a over the content: enough to see any change a test could make.
            uint64_t hash = 1469598103934665603ull;
            int fd = open(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
            char buffer[65536];
            ssize_t got;
            while (fd >= 0 && (got = read(fd, buffer, sizeof buffer)) > 0)
                for (ssize_t i = 0; i < got; i++)
                    hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
            if (fd >= 0) close(fd);
            entry += "hash:" + std::to_string(hash);
        }
        entries[rel] = entry;
    }
    return entries;
}

// A registry file in Wine's format with the install record; value texts are code page 1252
// (ASCII in the tests), backslashes doubled as the format wants.
inline std::string reg_escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

inline void write_registry(const Sandbox &s,
                           const std::vector<std::pair<std::string, std::string>> &values)
{
    std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\Quillon\\\\Other] 1600000000\n\"Path\"=\"C:\\\\WRONG\"\n\n"
        "[Software\\\\Quillon\\\\Zenthor\\\\Inf] 1600000000\n#time=1d6\n";
    for (const auto &v : values)
        text += "\"" + reg_escape(v.first) + "\"=\"" + reg_escape(v.second) + "\"\n";
    text += "\n[Software\\\\Quillon\\\\Zenthor\\\\Inf\\\\Sub] 1600000000\n\"Path\"=\"C:\\\\SUB\"\n";
    write_file(s.registry, text);
}

// A bottom-up 8-bit BMP whose pixel (x, y) (y from the top) is (x + 3 * y) % colours and whose
// colour i is (i, 255 - i, i / 2).
inline std::string make_bmp(int32_t width, int32_t height, uint32_t colours_used, uint16_t bpp = 8,
                            int32_t table_entries = -1)
{
    int32_t entries = table_entries >= 0
                          ? table_entries
                          : static_cast<int32_t>(colours_used ? colours_used : 1u << bpp);
    int32_t stride = (width + 3) & ~3;
    std::string b(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            b[at + i] = static_cast<char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54 + entries * 4 + stride * height);
    put32(10, 54 + entries * 4);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<char>(bpp);
    b[29] = static_cast<char>(bpp >> 8);
    put32(46, colours_used);
    for (int32_t i = 0; i < entries; i++) {
        b += static_cast<char>(i / 2);
        b += static_cast<char>(255 - i);
        b += static_cast<char>(i);
        b += '\0';
    }
    int32_t modulo = entries > 0 ? entries : 1;
    for (int32_t row = height - 1; row >= 0; row--)
        for (int32_t x = 0; x < stride; x++)
            b += static_cast<char>(x < width ? (x + 3 * row) % modulo : 0);
    return b;
}
