// Files, directory search and the current directory, addressed by Windows paths in code page
// 1252 ("E:\loading.bmp", "drivers\dig.ini"). A backend maps them onto its own file system.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uintptr_t FilesFile;
typedef uintptr_t FilesFind;

// A file counts as present when it can be opened for reading; the probe closes it at once.
bool files_exists(const char *path);
// Deletes one file named relative to the current directory, below it ("drivers\dig.ini"; no
// drive, root or ".."); folders, links to folders, read-only files and anything but regular
// files and links are refused. A link itself goes, never its target, and no link on the way
// to it is followed.
bool files_delete(const char *path);
// Creates path as an empty file when it does not exist; whatever exists under the name (in
// any spelling) is left as it is and counts as present. The folders on the way are walked as
// for deleting, from the drive's root (or the current directory) without following a link.
bool files_create_empty(const char *path);
// A symbolic link (or junction): something that may lead out of the folder that holds it.
bool files_is_link(const char *path);

// Search of one folder: pattern is a folder path (optional) and a name with * and ?, matched
// without regard to case. The first/next match's name (no folder) is written to name. Names no
// Windows file system could hold (with \ / : * ? " < > | or a control character) are never
// found, and a folder reached through a link is not searched.
FilesFind files_find_first(const char *pattern, char *name, size_t name_size);
bool files_find_next(FilesFind find, char *name, size_t name_size);
void files_find_close(FilesFind find);

// Changes the current directory, for Windows names and for the process alike. A relative path
// ("save") never goes through a link; a whole path ("C:\ZENTHOR") is taken as its drive maps
// it. A host path or a drive that maps to nothing is refused.
bool files_set_current_directory(const char *path);
// The current directory as a Windows path; false when it does not fit.
bool files_get_current_directory(char *path, size_t size);

// Sequential reading, without any text conversion.
FilesFile files_open_read(const char *path);
// The file's size (seek to its end, read the position, seek back); -1 on failure.
int64_t files_size(FilesFile file);
size_t files_read(FilesFile file, void *buffer, size_t size);
void files_close(FilesFile file);
