// What movtool's commands and its video exporter share: opening inputs, writing whole files,
// and how they say what went wrong.
#include "tools/movtool/movtool.h"

#include "movie/movie.h"
#include "platform/output.h"
#include "platform/readfile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

bool movtool_open_input(const char *name, FILE **file)
{
    *file = readfile_open(name);
    if (*file) {
        output_note_input(fileno(*file));
        return true;
    }
    movtool_error("%s: %s", name, movtool_open_reason(errno));
    return false;
}

const char *movtool_open_reason(int error)
{
    return error == EISDIR   ? "is a directory"
           : error == EINVAL ? "not a regular file"
                             : strerror(error);
}

MovtoolReach movtool_reach;

bool movtool_open_movie(const char *name, bool tell_reach)
{
    FILE *file = nullptr;
    if (!movtool_open_input(name, &file)) return false;
    if (movie_alloc()) {
        fclose(file);
        movie_free();
        movtool_error("%s: out of memory", name);
        return false;
    }
    MovtoolReach &m = movtool_reach;
    m.bytes = readfile_size(file);
    movie_open_stream(file);
    m.records = m.bytes > 0 ? m.bytes / MOVIE_RECORD_SIZE : 0;
    m.reachable = movie_reader.record_count;
    if (tell_reach && m.records > m.reachable)
        movtool_error("%s: records %d to %lld lie past byte %d, beyond a movie's 32-bit length: "
                      "they cannot be read and are left out",
                      name, m.reachable, (long long)m.records - 1, MOVIE_MAX_LENGTH);
    return true;
}

int movtool_write_file(const char *name, const void *bytes, size_t n)
{
    OutputFile out;
    int status = output_open(&out, name);
    if (status == 0) status = output_write(&out, bytes, n);
    if (status == 0) status = output_commit(&out);
    if (status != 0) {
        movtool_error("%s", output_error());
        output_abandon(&out);
    }
    return status;
}

void movtool_error(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("movtool: ", stderr);
    // va_start above set it up; the analyzer loses track of that through some callers.
    vfprintf(stderr, format, args); // NOLINT(clang-analyzer-valist.Uninitialized)
    fputc('\n', stderr);
    va_end(args);
}
