// Set-up of the POSIX services of the menu program.
#pragma once

// The Windows-shaped command line: the program's own path on the CD's drive letter,
// "D:\runner" for a program named runner.
void posix_cmdline_set(char cd_letter, const char *program_name);
