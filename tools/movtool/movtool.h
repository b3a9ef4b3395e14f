// movtool's commands share this: each is a function over its own arguments (argv[0] is the
// command's name) returning the process exit status: 0 done, 1 failed, 2 usage error.
#pragma once

#include <cstdint>
#include <cstdio>

int movtool_info(int argc, char **argv);
int movtool_dump(int argc, char **argv);
int movtool_encode(int argc, char **argv);
int movtool_screen(int argc, char **argv);
int movtool_export(int argc, char **argv);

// Opens an input file for reading: only a regular file, without blocking on anything else, and
// noted so that no output may replace it. On failure says why on stderr.
bool movtool_open_input(const char *name, FILE **file);
// Why readfile_open failed, in words.
const char *movtool_open_reason(int error);

// Opens a movie for reading through movie_next_frame; on failure says why on stderr and leaves
// nothing open. A success is ended with movie_close() and movie_free(). Records past the
// reader's reach are named on stderr unless tell_reach is false.
bool movtool_open_movie(const char *name, bool tell_reach = true);

// The movie movtool_open_movie opened last: its real length, its whole records, and how many of
// them the reader reaches (the rest lie past MOVIE_MAX_LENGTH).
struct MovtoolReach {
    int64_t bytes;
    int64_t records;
    int32_t reachable;
};
extern MovtoolReach movtool_reach;

// One line on stderr, prefixed "movtool: ".
void movtool_error(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes a whole file through the output rules (platform/output.h): 0, or the exit status
// after saying why on stderr.
int movtool_write_file(const char *name, const void *bytes, size_t n);
