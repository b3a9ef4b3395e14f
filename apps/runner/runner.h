// runner on a POSIX desktop: options and environment, the CD folder and its drive letter, the
// display check, then the menu.
#pragma once

int runner_main(int argc, char **argv);
