// Windows paths on a POSIX file system: the CD's drive letter is a folder of our choosing, the
// other letters are the Wine prefix's dosdevices, backslashes become slashes and every component
// is looked up without regard to case. Also the current directory as a Windows path, and the
// code page 1252 <-> UTF-8 conversions that go with it.
#pragma once

#include <string>

// The CD folder (a host path) and its drive letter. Makes the CD's root the current directory.
bool paths_configure(const char *cd_folder, char cd_letter);
char paths_cd_letter();
const std::string &paths_cd_folder();

// A Windows path made absolute against the current directory, "." and ".." resolved (never
// above the drive's root): "C:\DEMO\save". False for what cannot be a path (empty, UNC, too
// long, a component no Windows file system could hold). A host path (beginning with '/') is
// answered unchanged.
bool paths_absolute(const char *windows_path, std::string *absolute);
// The host path of a Windows path. Components that exist are found without regard to case;
// those that do not are kept as given, so that a new file can be made there.
bool paths_map(const char *windows_path, std::string *host);

// The Wine prefix: WINEPREFIX, else ~/.wine; an empty WINEPREFIX counts as unset. The one
// lookup for the menu and the demo's stand-in programs alike.
std::string paths_wine_prefix();

// Whether a drive letter names a folder: the CD's, or one of the prefix's dosdevices. (Z:, the
// host's root, is also read without a prefix, but nothing is changed into or deleted there.)
bool paths_drive_mapped(char letter);

// The current directory, as a Windows path, and the same folder opened (owned by this module).
const std::string &paths_current();
int paths_current_folder();
// Makes fd (an opened folder, now owned by this module) the current directory, named absolute
// for the Windows side; the process's own current directory follows. False when fchdir fails.
bool paths_enter(const std::string &absolute, int fd);

// Conversions: code page 1252 bytes to UTF-8; UTF-8 to code page 1252 (false when a character
// has no byte there or the UTF-8 is malformed).
std::string paths_to_utf8(const std::string &cp1252);
bool paths_from_utf8(const std::string &utf8, std::string *cp1252);
// Case folding of one code page 1252 byte, letters with accents included.
unsigned char paths_fold(unsigned char c);
// Two code page 1252 names equal without regard to case.
bool paths_equal_folded(const std::string &a, const std::string &b);
// A name against a pattern of * and ?, both code page 1252, without regard to case, "*.*"
// matching names without a dot too.
bool paths_match(const char *pattern, const char *name);
