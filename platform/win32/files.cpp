// Files, directory search and the current directory over KERNEL32. Windows paths are the
// system's own here: no mapping, only the code page.
#include "platform/win32/win32.h"

#include "platform/files.h"

#include <new>

namespace
{

// Only an existing file that is not a folder, a device or a pipe is opened: a probe or a read
// must never wait on a device nor take a folder for a file.
HANDLE open_regular(const char *path)
{
    std::wstring wide = win32_wide(path);
    if (wide.empty()) return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

struct Search {
    HANDLE handle;
};

// The next found name that code page 1252 can hold and that fits the caller's buffer; other
// names are passed over, as a name cut short would name another file.
bool give_name(HANDLE handle, WIN32_FIND_DATAW *data, bool first, char *name, size_t size)
{
    for (bool have = first; have || FindNextFileW(handle, data); have = false) {
        if (win32_narrow(data->cFileName, name, size)) return true;
    }
    return false;
}

} // namespace

bool files_exists(const char *path)
{
    HANDLE file = open_regular(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool files_delete(const char *path)
{
    // DeleteFile itself refuses folders and read-only files, and removes a link rather than
    // what it leads to; a link to a folder is a folder to it.
    std::wstring wide = win32_wide(path);
    return !wide.empty() && DeleteFileW(wide.c_str());
}

bool files_create_empty(const char *path)
{
    std::wstring wide = win32_wide(path);
    if (wide.empty()) return false;
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool files_is_link(const char *path)
{
    std::wstring wide = win32_wide(path);
    if (wide.empty()) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

FilesFind files_find_first(const char *pattern, char *name, size_t name_size)
{
    std::wstring wide = win32_wide(pattern);
    if (wide.empty()) return 0;
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(wide.c_str(), &data);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    Search *search = new (std::nothrow) Search{handle};
    if (!search || !give_name(handle, &data, true, name, name_size)) {
        FindClose(handle);
        delete search;
        return 0;
    }
    return reinterpret_cast<FilesFind>(search);
}

bool files_find_next(FilesFind find, char *name, size_t name_size)
{
    if (!find) return false;
    WIN32_FIND_DATAW data;
    return give_name(reinterpret_cast<Search *>(find)->handle, &data, false, name, name_size);
}

void files_find_close(FilesFind find)
{
    if (!find) return;
    Search *search = reinterpret_cast<Search *>(find);
    FindClose(search->handle);
    delete search;
}

bool files_set_current_directory(const char *path)
{
    std::wstring wide = win32_wide(path);
    return !wide.empty() && SetCurrentDirectoryW(wide.c_str());
}

bool files_get_current_directory(char *path, size_t size)
{
    wchar_t wide[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, wide);
    return length > 0 && length <= MAX_PATH && win32_narrow(wide, path, size);
}

FilesFile files_open_read(const char *path)
{
    HANDLE file = open_regular(path);
    return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FilesFile>(file);
}

int64_t files_size(FilesFile file)
{
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size)) return -1;
    return size.QuadPart;
}

size_t files_read(FilesFile file, void *buffer, size_t size)
{
    if (!file) return 0;
    size_t done = 0;
    while (done < size) {
        DWORD want = size - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size - done);
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file), static_cast<char *>(buffer) + done, want,
                      &got, nullptr) ||
            got == 0)
            break;
        done += got;
    }
    return done;
}

void files_close(FilesFile file)
{
    if (file) CloseHandle(reinterpret_cast<HANDLE>(file));
}
