// movtool: dispatch to one command.
#include "tools/movtool/movtool.h"

#include "platform/output.h"
#include "platform/standard_files.h"

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

int main(int argc, char **argv)
{
    // A closed standard output or error is the null device: what the command writes there
    // nobody reads, and its files are never written through descriptor 1 or 2 by mistake.
    if (!standard_files_open_missing()) return 1;
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
