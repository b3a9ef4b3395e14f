// Removal of the installed demo: the question, the deletions in the install folder and its
// "save" folder, and the start of the recorded uninstaller in place of the menu.
#pragma once

#include <cstddef>

// Splits an "Uninstall" value at its first "-f" into the command and the uninstaller argument
// (each a buffer of size bytes); *has_argument tells whether there is one.
void uninstall_split(const char *value, char *command, char *argument, size_t size,
                     bool *has_argument);
void uninstall_run();
