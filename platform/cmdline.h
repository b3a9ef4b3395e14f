// The program's own command line, Windows-shaped: it begins with the program's full path on the
// drive it was started from.
#pragma once

const char *cmdline_get();
