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
    if (!file) return -1;
    struct stat st;
    int fd = fileno(file);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return st.st_size;
    // A stream without a file of its own (one in memory): from its end, then back.
    off_t here = ftello(file);
    if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
    off_t size = ftello(file);
    return fseeko(file, here, SEEK_SET) == 0 ? size : -1;
}
