// Opening files for reading in the page: the module's own files (the CD, drive C:) as on POSIX,
// regular files only; and the files the user dropped on the page, which stay in the browser and
// are read a piece at a time as the reader asks for them, so that a file of any size is never
// loaded whole.
#include "platform/readfile.h"
#include "platform/web/web.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr uint32_t CHUNK = 65536;
constexpr double READ_WAIT_MS = 10000; // a page that does not answer: a read error

struct Dropped {
    int32_t id;
    int64_t size;
    int64_t position;
    std::atomic<int32_t> answer; // 0 while the page reads; bytes + 1, or -1 on failure
    uint8_t chunk[CHUNK];        // the page writes here, never into the reader's buffer
};

// Asks the page for `want` bytes from `position` into the chunk: how many it got (0 at the
// end), or -1 when the browser could not read the file (it changed or went since it was
// dropped) or the page did not answer.
int32_t fetch(Dropped *d, int64_t position, uint32_t want)
{
    d->answer.store(0);
    MAIN_THREAD_ASYNC_EM_ASM({ Module.web.droppedRead($0, $1, $2, $3, $4); }, d->id,
                             static_cast<double>(position), want, d->chunk, &d->answer);
    double deadline = emscripten_get_now() + READ_WAIT_MS;
    int32_t answer;
    while ((answer = d->answer.load()) == 0 && emscripten_get_now() < deadline)
        emscripten_futex_wait(&d->answer, 0, 100.0);
    if (answer == 0) {
        // The page may still write into the chunk later: it is left to it.
        d->id = -1;
        d->size = 0;
    }
    return answer > 0 ? answer - 1 : -1;
}

ssize_t dropped_read(void *cookie, char *buffer, size_t size)
{
    Dropped *d = static_cast<Dropped *>(cookie);
    size_t done = 0;
    while (done < size && d->position < d->size) {
        uint32_t want = static_cast<uint32_t>(size - done < CHUNK ? size - done : CHUNK);
        int32_t got = fetch(d, d->position, want);
        if (got <= 0) {
            if (done == 0 && got < 0) {
                errno = EIO;
                return -1;
            }
            break;
        }
        std::memcpy(buffer + done, d->chunk, static_cast<size_t>(got));
        done += static_cast<size_t>(got);
        d->position += got;
    }
    return static_cast<ssize_t>(done);
}

int dropped_seek(void *cookie, off64_t *offset, int whence)
{
    Dropped *d = static_cast<Dropped *>(cookie);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? d->position : d->size;
    int64_t to = base + *offset;
    if (to < 0) {
        errno = EINVAL;
        return -1;
    }
    d->position = to;
    *offset = to;
    return 0;
}

int dropped_close(void *cookie)
{
    Dropped *d = static_cast<Dropped *>(cookie);
    // A chunk the page still fills belongs to it (see dropped_read).
    if (d->id >= 0) delete d;
    return 0;
}

FILE *open_dropped(const char *name)
{
    const char *rest = name + std::strlen(WEB_DROPPED_FOLDER);
    char *end = nullptr;
    long id = std::strtol(rest, &end, 10);
    if (end == rest || *end != '/' || id < 0) {
        errno = ENOENT;
        return nullptr;
    }
    double size = MAIN_THREAD_EM_ASM_DOUBLE({ return Module.web.droppedSize($0); }, (int)id);
    if (size < 0) {
        errno = ENOENT;
        return nullptr;
    }
    Dropped *d = new (std::nothrow) Dropped;
    if (!d) {
        errno = ENOMEM;
        return nullptr;
    }
    d->id = static_cast<int32_t>(id);
    d->size = static_cast<int64_t>(size);
    d->position = 0;
    // A file that can no longer be read does not open, as on the desktop: the browser only
    // finds out when it reads.
    if (d->size > 0 && fetch(d, 0, 1) < 0) {
        if (d->id >= 0) delete d;
        errno = EACCES;
        return nullptr;
    }
    cookie_io_functions_t io = {dropped_read, nullptr, dropped_seek, dropped_close};
    FILE *file = fopencookie(d, "rb", io);
    if (!file) delete d;
    return file;
}

} // namespace

FILE *readfile_open(const char *name)
{
    if (!name) {
        errno = ENOENT;
        return nullptr;
    }
    if (std::strncmp(name, WEB_DROPPED_FOLDER, std::strlen(WEB_DROPPED_FOLDER)) == 0)
        return open_dropped(name);
    // The module's own files: nothing there blocks, but only a regular file is a file to read.
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
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
    int fd = fileno(file);
    struct stat st;
    if (fd >= 0) return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    // A dropped file has no descriptor: its stream seeks to its end (nothing is read) and back.
    off_t here = ftello(file);
    off_t end = here >= 0 && fseeko(file, 0, SEEK_END) == 0 ? ftello(file) : -1;
    if (here >= 0 && fseeko(file, here, SEEK_SET) != 0) return -1;
    return end;
}
