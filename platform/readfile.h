// Opening a file named by a host path for reading, for every reader of outside data (movies,
// pictures, the registry file). A FIFO, a device or a folder given where a file belongs must
// neither block the program nor be read: only an existing regular file is opened.
#pragma once

#include <cstdint>
#include <cstdio>

// The file, opened "rb" and positioned at its start, or nullptr with errno set: EISDIR for a
// folder, EINVAL for anything else that is not a regular file (FIFO, device, socket), or the
// open's own error (ENOENT, EACCES, ...). Links are followed, as any open does.
FILE *readfile_open(const char *name);
// The length of an open file in bytes, 64-bit whatever the size of the platform's long, taken
// without moving the read position; -1 when it cannot be told.
int64_t readfile_size(FILE *file);
