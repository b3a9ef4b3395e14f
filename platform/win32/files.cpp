// Files, directory search and the current directory over KERNEL32. Windows paths are the
// system's own here: no mapping, only the code page.
#include "platform/win32/win32.h"

#include "platform/files.h"

#include <cstring>
#include <cwchar>
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

// Only what lies below the current directory: no drive, no root, no step up.
bool relative_below(const char *path)
{
    if (!path[0] || path[0] == '\\' || path[0] == '/' || std::strchr(path, ':')) return false;
    for (const char *part = path; *part;) {
        size_t length = std::strcspn(part, "\\/");
        if (length == 2 && part[0] == '.' && part[1] == '.') return false;
        part += length;
        if (*part) part++;
    }
    return true;
}

// Whether the open file is the one its name says, with no link on the way to it: the system's
// own name for it equals the full path of the name. A link the system hides (Wine shows a
// Linux link to a file as the file itself) shows here as a different name.
bool named_as_opened(HANDLE file, const std::wstring &name)
{
    wchar_t full[MAX_PATH + 1];
    wchar_t final_path[MAX_PATH + 8];
    DWORD full_length = GetFullPathNameW(name.c_str(), MAX_PATH + 1, full, nullptr);
    DWORD final_length = GetFinalPathNameByHandleW(file, final_path, MAX_PATH + 8,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (full_length == 0 || full_length > MAX_PATH || final_length == 0 ||
        final_length >= MAX_PATH + 8)
        return false;
    const wchar_t *plain = final_path;
    if (std::wcsncmp(plain, L"\\\\?\\", 4) == 0) plain += 4;
    return CompareStringOrdinal(plain, -1, full, -1, TRUE) == CSTR_EQUAL;
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
    if (!relative_below(path)) return false;
    std::wstring wide = win32_wide(path);
    if (wide.empty()) return false;
    // Opened as itself, not as what a link leads to, and deleted through this very handle:
    // whatever replaces the name meanwhile, only the file checked here goes.
    HANDLE file = CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    bool allowed = GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
                   GetFileType(file) == FILE_TYPE_DISK && named_as_opened(file, wide);
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link the system shows as one goes itself; a link to a folder counts as a folder.
        allowed = allowed && !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        allowed =
            allowed && !(tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool deleted = allowed && SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                                         sizeof disposition);
    CloseHandle(file);
    return deleted;
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
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    HANDLE file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool link = !named_as_opened(file, wide);
    CloseHandle(file);
    return link;
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
