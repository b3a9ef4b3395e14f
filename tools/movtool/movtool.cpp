// movtool: dispatch to one command.
#include "tools/movtool/movtool.h"

#include "movie/movie.h"
#include "platform/output.h"
#include "platform/readfile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifndef MOVTOOL_VERSION
#define MOVTOOL_VERSION "0"
#endif

struct MovtoolCommand {
    const char *name;
    int (*run)(int argc, char **argv);
    const char *synopsis;
    const char *text; // lines of the description, each indented when printed
    bool own_help;    // the command answers --help itself
};

static const MovtoolCommand movtool_commands[] = {
    {"info", movtool_info, "info MOVIE",
     "record count, duration, and per record its colour count, packed length\n"
     "and whether it is well formed",
     false},
    {"dump", movtool_dump, "dump MOVIE OUT.raw",
     "every record's decoded pictures A and B (128000 bytes), palette (744)\n"
     "and sound (3528), back to back",
     false},
    {"encode", movtool_encode, "encode -o OUT.mov [--audio SOUND] [OPTION]... PICTURES...",
     "a movie from PNG pictures and a sound track (movtool encode --help)", true},
    {"screen", movtool_screen, "screen MOVIE RECORD A|B 565|555 320x200|640x480 OUT.raw",
     "the 16-bit screen (little endian, pitch = width x 2) as the player\n"
     "leaves it after that picture",
     false},
    {"export", movtool_export, "export MOVIE DIR [--no-y4m]",
     "one PNG a picture shown (DIR/NNNN_A.png, ...) and DIR/sound.wav, timed\n"
     "as the player shows them (DIR is made when missing); a Y4M stream\n"
     "(12.5 pictures/s) on stdout unless it is a terminal. To make a video:\n"
     "  movtool export M.mov DIR | ffmpeg -i - -i DIR/sound.wav \\\n"
     "    -c:v libx264 -pix_fmt yuv420p -c:a aac OUT.mp4",
     false},
    {"export", movtool_export, "export MOVIE OUT.mkv|OUT.mp4|OUT.avi",
     "the movie as one video file, pictures at their own times, the sound\n"
     "whole: FFV1 and PCM in .mkv and .avi (lossless), H.264 and AAC in .mp4",
     false},
};

static void movtool_print_command(FILE *out, const MovtoolCommand &c)
{
    fprintf(out, "  movtool %s\n      ", c.synopsis);
    for (const char *p = c.text; *p; p++) {
        fputc(*p, out);
        if (*p == '\n') fputs("      ", out);
    }
    fputc('\n', out);
}

static void movtool_usage(FILE *out)
{
    fprintf(out, "usage: movtool COMMAND ARGS...\n"
                 "       movtool COMMAND --help\n"
                 "       movtool --help | --version\n\ncommands:\n");
    for (const MovtoolCommand &c : movtool_commands)
        movtool_print_command(out, c);
    fprintf(out, "\nExit status: 0 done (damaged records are reported on stderr), 1 a file\n"
                 "could not be read or written, 2 bad arguments.\n");
}

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

bool movtool_open_movie(const char *name)
{
    FILE *file = nullptr;
    if (!movtool_open_input(name, &file)) return false;
    if (movie_alloc()) {
        fclose(file);
        movie_free();
        movtool_error("%s: out of memory", name);
        return false;
    }
    movie_open_stream(file);
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

int main(int argc, char **argv)
{
    if (argc < 2) {
        movtool_usage(stderr);
        return 2;
    }
    if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
        movtool_usage(stdout);
        return 0;
    }
    if (!strcmp(argv[1], "--version")) {
        printf("movtool %s\n", MOVTOOL_VERSION);
        return 0;
    }
    for (const MovtoolCommand &c : movtool_commands) {
        if (strcmp(argv[1], c.name) != 0) continue;
        if (!c.own_help && argc == 3 && (!strcmp(argv[2], "--help") || !strcmp(argv[2], "-h"))) {
            fprintf(stdout, "usage:\n");
            for (const MovtoolCommand &form : movtool_commands) // every form of the command
                if (!strcmp(form.name, c.name)) movtool_print_command(stdout, form);
            return output_close_stdout() == 0 ? 0 : 1;
        }
        int status = c.run(argc - 1, argv + 1);
        // What a command printed is only done once it reached its destination.
        if (output_close_stdout() != 0 && status == 0) {
            movtool_error("%s", output_error());
            status = 1;
        }
        return status;
    }
    movtool_error("unknown command '%s' (try movtool --help)", argv[1]);
    return 2;
}
