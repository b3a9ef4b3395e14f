// Folders opened once and walked from there, one component at a time, without ever following a
// link: what deletes, searches and changes into folders stands on, so that a link or a renamed
// folder below the starting point cannot lead it anywhere else.
#pragma once

#include <string>
#include <vector>

// A host name (UTF-8, as on disk) that a Windows file system could hold: it has a code page 1252
// spelling and none of \ / : * ? " < > | or a control character. Other names do not exist for
// the Windows side. cp1252, when given, gets the spelling.
bool folders_name_visible(const char *host_name, std::string *cp1252 = nullptr);
// A code page 1252 name that a Windows file system could hold, by the same rule.
bool folders_name_valid(const std::string &cp1252);

// The host name in folder fd of the code page 1252 name: its own spelling when that exists,
// else the lowest (in byte order) visible name equal to it without regard to case. False when
// there is none.
bool folders_lookup(int fd, const std::string &name, std::string *host_name);

// Opens child (a host name, one component) of folder fd as a folder without following a link:
// openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where the kernel has it, openat with
// O_NOFOLLOW where it does not. -1 when it is not a real folder.
int folders_open_child(int fd, const std::string &child);

// Opens the folder that a relative Windows path names below folder fd (components split at
// backslashes and slashes, "." skipped; no components at all give fd itself again). Each component
// is looked up with folders_lookup and opened with folders_open_child. -1 for "..", an invalid or
// missing component, or one that is not a real folder.
int folders_walk(int fd, const std::string &relative);

// The visible names of folder fd in code page 1252, "." and ".." included, in directory order.
// False when the folder cannot be read.
bool folders_list(int fd, std::vector<std::string> *names);
