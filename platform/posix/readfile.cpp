// Opened without blocking, so that a FIFO with no writer cannot stall the program, and checked
// on the descriptor itself, so that nothing can be swapped in between the check and the read.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/readfile.h"

FILE *readfile_open(const char *name)
{
    if (!name) {
        errno = ENOENT;
        return nullptr;
    }
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else {
        // Regular files never block; the flag only mattered for the open itself.
        int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    FILE *file = error ? nullptr : fdopen(fd, "rb");
    if (!file) {
        if (!error) error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

int64_t readfile_size(FILE *file)
{
    struct stat st;
    if (!file || fstat(fileno(file), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}
