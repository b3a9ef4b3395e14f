// Opening outside files for reading: only an existing regular file, without ever waiting on a
// pipe or a device.
#include "platform/win32/win32.h"

#include "platform/readfile.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

FILE *readfile_open(const char *name)
{
    // Host paths are the program's own command-line texts: the ANSI code page's.
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return nullptr;
    }
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                        error == ERROR_INVALID_NAME
                    ? ENOENT
                : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
                                                                                   : EIO;
        return nullptr;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        errno = EINVAL;
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        errno = EMFILE;
        return nullptr;
    }
    FILE *stream = _fdopen(fd, "rb");
    if (!stream) _close(fd);
    return stream;
}

int64_t readfile_size(FILE *file)
{
    return file ? _filelengthi64(_fileno(file)) : -1;
}
