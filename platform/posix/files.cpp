// Files by Windows path on a POSIX file system, with the original's answers: a folder is not a
// file, a read-only file cannot be deleted, a search yields "." and "..". Deletes, searches and
// changes into folders go from an opened folder and never follow a link below it.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/files.h"
#include "platform/posix/folders.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "platform/readfile.h"

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

bool has_drive(const char *path)
{
    char c = path[0];
    return ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && path[1] == ':';
}

// A path that names something below the current directory: no drive, no root, no "..".
bool relative_below(const char *path)
{
    if (has_drive(path) || path[0] == '\\' || path[0] == '/') return false;
    std::string rest = path;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string::npos) end = rest.size();
        if (rest.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

// The folder that holds a Windows path's last component, opened, and that component. A path
// below the current directory is walked from it; any other from the root of its drive, which
// must be mapped. No link below the folder it starts from is followed. -1 when there is none.
int open_holder(const char *path, std::string *last)
{
    if (!path || !path[0] || path[0] == '/') return -1;
    std::string whole;
    int start;
    if (relative_below(path)) {
        whole = path;
        start = fcntl(paths_current_folder(), F_DUPFD_CLOEXEC, 0);
    } else {
        std::string root;
        if (!paths_absolute(path, &whole) || !paths_drive_mapped(whole[0]) ||
            !paths_map(whole.substr(0, 3).c_str(), &root))
            return -1;
        whole.erase(0, 3);
        start = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    }
    if (start < 0) return -1;
    size_t cut = whole.find_last_of("\\/");
    *last = cut == std::string::npos ? whole : whole.substr(cut + 1);
    int holder =
        folders_walk(start, cut == std::string::npos ? std::string() : whole.substr(0, cut));
    close(start);
    return holder;
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
    // Only what lies below the current directory: the uninstall, the one caller, enters the
    // install folder and names what goes relative to it.
    if (!path || !relative_below(path)) return false;
    std::string last, host;
    int fd = open_holder(path, &last);
    if (fd < 0) return false;
    bool deleted = false;
    struct stat st;
    if (last != "." && last != ".." && folders_lookup(fd, last, &host) &&
        fstatat(fd, host.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        bool allowed;
        if (S_ISLNK(st.st_mode)) {
            // The link goes, never what it points to; a link to a folder counts as a folder.
            struct stat target;
            allowed = !(fstatat(fd, host.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode));
        } else {
            allowed = S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) != 0;
        }
        // Whatever replaces the name in between, unlinkat only ever removes this folder's entry
        // (and refuses a folder).
        deleted = allowed && unlinkat(fd, host.c_str(), 0) == 0;
    }
    close(fd);
    return deleted;
}

bool files_create_empty(const char *path)
{
    // The folders are walked one name at a time from the drive's root, as for deleting: a link
    // on the way (a "drivers" folder that leads out of the install) is never followed.
    std::string last, host;
    int fd = open_holder(path, &last);
    if (fd < 0) return false;
    bool present = false;
    if (last != "." && last != ".." && folders_name_valid(last)) {
        if (folders_lookup(fd, last, &host)) {
            // An existing name in any spelling, whatever it is (a link, a FIFO, a device), is
            // never opened: nothing can be written through it or block on it.
            present = true;
        } else {
            int made =
                openat(fd, paths_to_utf8(last).c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
            present = made >= 0 || errno == EEXIST;
            if (made >= 0) close(made);
        }
    }
    close(fd);
    return present;
}

bool files_is_link(const char *path)
{
    std::string last, host;
    int fd = open_holder(path, &last);
    if (fd < 0) return false;
    struct stat st;
    bool link = folders_lookup(fd, last, &host) &&
                fstatat(fd, host.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    close(fd);
    return link;
}

FilesFind files_find_first(const char *pattern, char *name, size_t name_size)
{
    std::string names;
    int fd = open_holder(pattern, &names);
    if (fd < 0) return 0;
    std::vector<std::string> all;
    bool listed = !names.empty() && folders_list(fd, &all);
    close(fd);
    if (!listed) return 0;
    Search *search = new Search{{}, 0};
    for (const std::string &found : all)
        if (paths_match(names.c_str(), found.c_str())) search->names.push_back(found);
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
    std::string absolute;
    // A host path is no Windows path: there is no Windows name to give the folder it leads to.
    if (!path || path[0] == '/' || !paths_absolute(path, &absolute)) return false;
    int fd;
    if (relative_below(path)) {
        fd = folders_walk(paths_current_folder(), path);
    } else {
        // The folder a whole path names is taken as the drive maps it, links included; only
        // what lies below it is walked without them.
        std::string host;
        if (!paths_drive_mapped(absolute[0]) || !paths_map(absolute.c_str(), &host)) return false;
        fd = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) return false;
    if (!paths_enter(absolute, fd)) {
        close(fd);
        return false;
    }
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
    // A FIFO, a device or a folder counts as missing, and opening it never blocks.
    FILE *file = readfile_open(host.c_str());
    if (!file) return 0;
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
    if (!f) return 0;
    // A large file from a slow disc takes a while; a signal meanwhile ends the program.
    posix_long_read_begin();
    size_t got = std::fread(buffer, 1, size, f);
    posix_long_read_end();
    return got;
}

void files_close(FilesFile file)
{
    FILE *f = slot(open_files, file);
    if (!f) return;
    std::fclose(f);
    open_files[file - 1] = nullptr;
}
