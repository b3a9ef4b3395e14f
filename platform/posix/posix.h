// Set-up of the POSIX services of the menu program.
#pragma once

// The Windows-shaped command line: the program's own path on the CD's drive letter,
// "D:\runner" for a program named runner.
void posix_cmdline_set(char cd_letter, const char *program_name);

// Work that only reads and shows (a registry file, a readme text) can take seconds on a large
// file, and the program's loop, which ends it on SIGINT or SIGTERM, does not run meanwhile.
// Between begin and end such a signal ends the program at once with exit code 0: nothing is
// left half written. Pairs nest.
void posix_long_read_begin();
void posix_long_read_end();
// For the program's SIGINT and SIGTERM handler (safe there): ends the program at once during a
// long read; otherwise remembers the end, so that a long read that begins before the loop has
// seen it ends the program as it begins. Answers only when the program goes on.
void posix_end_on_signal();
