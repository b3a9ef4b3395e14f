// Files by Windows path on a POSIX file system, with the original's answers: a folder is not a
// file, a read-only file cannot be deleted, a search yields "." and "..".
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/files.h"
#include "platform/posix/paths.h"

namespace
{

struct Search {
    std::vector<std::string> names; // code page 1252
    size_t next;
};

// Open files and searches by handle (index + 1); a handful is all the menu ever holds.
constexpr size_t MAX_HANDLES = 32;
FILE *open_files[MAX_HANDLES];
Search *searches[MAX_HANDLES];

template <typename T> uintptr_t take_slot(T **table, T *item)
{
    for (size_t i = 0; i < MAX_HANDLES; i++)
        if (!table[i]) {
            table[i] = item;
            return i + 1;
        }
    return 0;
}

template <typename T> T *slot(T **table, uintptr_t handle)
{
    return handle && handle <= MAX_HANDLES ? table[handle - 1] : nullptr;
}

bool give_name(Search *search, char *name, size_t size)
{
    while (search->next < search->names.size()) {
        const std::string &found = search->names[search->next++];
        if (found.size() < size) {
            std::memcpy(name, found.c_str(), found.size() + 1);
            return true;
        }
    }
    return false;
}

} // namespace

bool files_exists(const char *path)
{
    FilesFile file = files_open_read(path);
    if (!file) return false;
    files_close(file);
    return true;
}

bool files_delete(const char *path)
{
    std::string host;
    if (!paths_map(path, &host)) return false;
    struct stat st;
    if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISLNK(st.st_mode)) {
        // The link goes, never what it points to; a link to a folder counts as a folder.
        struct stat target;
        if (stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return false;
    } else if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
        return false;
    }
    return unlink(host.c_str()) == 0;
}

bool files_create_empty(const char *path)
{
    std::string host;
    if (!paths_map(path, &host)) return false;
    int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool files_is_link(const char *path)
{
    std::string host;
    struct stat st;
    return paths_map(path, &host) && lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

FilesFind files_find_first(const char *pattern, char *name, size_t name_size)
{
    std::string whole = pattern;
    size_t cut = whole.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string(".") : whole.substr(0, cut + 1);
    std::string names = cut == std::string::npos ? whole : whole.substr(cut + 1);
    std::string host;
    if (names.empty() || !paths_map(folder.c_str(), &host)) return 0;
    DIR *dir = opendir(host.c_str());
    if (!dir) return 0;
    Search *search = new Search{{}, 0};
    while (struct dirent *entry = readdir(dir)) {
        std::string found;
        // A name with no code page 1252 spelling cannot be named by the caller; it is left out.
        if (paths_from_utf8(entry->d_name, &found) && paths_match(names.c_str(), found.c_str()))
            search->names.push_back(found);
    }
    closedir(dir);
    std::sort(search->names.begin(), search->names.end());
    if (!give_name(search, name, name_size)) {
        delete search;
        return 0;
    }
    FilesFind handle = take_slot(searches, search);
    if (!handle) delete search;
    return handle;
}

bool files_find_next(FilesFind find, char *name, size_t name_size)
{
    Search *search = slot(searches, find);
    return search && give_name(search, name, name_size);
}

void files_find_close(FilesFind find)
{
    Search *search = slot(searches, find);
    if (!search) return;
    delete search;
    searches[find - 1] = nullptr;
}

bool files_set_current_directory(const char *path)
{
    std::string absolute, host;
    if (!paths_absolute(path, &absolute) || !paths_map(path, &host)) return false;
    struct stat st;
    if (stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || chdir(host.c_str()) != 0)
        return false;
    if (absolute[0] != '/') paths_set_current(absolute);
    return true;
}

bool files_get_current_directory(char *path, size_t size)
{
    const std::string &current = paths_current();
    if (current.size() >= size) return false;
    std::memcpy(path, current.c_str(), current.size() + 1);
    return true;
}

FilesFile files_open_read(const char *path)
{
    std::string host;
    if (!paths_map(path, &host)) return 0;
    FILE *file = std::fopen(host.c_str(), "rbe");
    if (!file) return 0;
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(file);
        return 0;
    }
    FilesFile handle = take_slot(open_files, file);
    if (!handle) std::fclose(file);
    return handle;
}

int64_t files_size(FilesFile file)
{
    FILE *f = slot(open_files, file);
    if (!f) return -1;
    off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0) return -1;
    off_t size = ftello(f);
    if (fseeko(f, here, SEEK_SET) != 0) return -1;
    return size;
}

size_t files_read(FilesFile file, void *buffer, size_t size)
{
    FILE *f = slot(open_files, file);
    return f ? std::fread(buffer, 1, size, f) : 0;
}

void files_close(FilesFile file)
{
    FILE *f = slot(open_files, file);
    if (!f) return;
    std::fclose(f);
    open_files[file - 1] = nullptr;
}
