// The program's own command line, Windows-shaped: it begins with the program's full path on the
// drive it was started from.
#pragma once

const char *cmdline_get();

// A program's arguments as its entry point received them. A Windows program gets one string
// (its own path not among it) and splits it itself; a POSIX program gets the vector the shell
// has already split, each argument whole, blanks and quotes included.
struct CmdlineArgs {
    const char *line; // the one string; null when the vector is given
    int count;        // the vector: count arguments, the program's own name not among them
    const char *const *names;
};
