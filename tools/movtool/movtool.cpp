// movtool: dispatch to one command.
#include "tools/movtool/movtool.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifndef MOVTOOL_VERSION
#define MOVTOOL_VERSION "0"
#endif

struct MovtoolCommand {
    const char *name;
    int (*run)(int argc, char **argv);
    const char *usage;
};

static const MovtoolCommand movtool_commands[] = {
    {"info", movtool_info,
     "info MOVIE                 record count, duration, and per record its colour count,\n"
     "                                  packed length and whether it is well formed"},
    {"dump", movtool_dump,
     "dump MOVIE OUT.raw         every record's decoded pictures A and B (128000 bytes),\n"
     "                                  palette (744) and sound (3528), back to back"},
    {"encode", movtool_encode,
     "encode -o OUT.mov [--audio SOUND.wav] PICTURES...\n"
     "                                  a movie from PNG pictures and a sound (encode --help)"},
    {"screen", movtool_screen,
     "screen MOVIE RECORD A|B 565|555 320x200|640x480 OUT.raw\n"
     "                                  the 16-bit screen (little endian, pitch = width x 2) as\n"
     "                                  the player leaves it after that picture"},
    {"export", movtool_export,
     "export MOVIE DIR [--no-y4m]  one PNG a picture shown (DIR/NNNN_A.png, ...) and\n"
     "                                  DIR/sound.wav, timed as the player shows them; a Y4M\n"
     "                                  stream (12.5 pictures/s) on stdout unless it is a\n"
     "                                  terminal. To make a video file:\n"
     "                                  movtool export M.mov DIR | ffmpeg -i - -i DIR/sound.wav\n"
     "                                  -c:v libx264 -pix_fmt yuv420p -c:a aac OUT.mp4"},
};

static void movtool_usage(FILE *out)
{
    fprintf(out, "usage: movtool COMMAND ARGS...\n"
                 "       movtool --help | --version\n\ncommands:\n");
    for (const MovtoolCommand &c : movtool_commands)
        fprintf(out, "  movtool %s\n", c.usage);
    fprintf(out, "\nExit status: 0 done (damaged records are reported on stderr), 1 a file could "
                 "not be read or written, 2 bad arguments.\n");
}

void movtool_error(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("movtool: ", stderr);
    vfprintf(stderr, format, args);
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
    for (const MovtoolCommand &c : movtool_commands)
        if (!strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
    movtool_error("unknown command '%s' (try movtool --help)", argv[1]);
    return 2;
}
