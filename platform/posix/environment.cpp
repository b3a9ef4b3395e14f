// The process environment on POSIX, for the real process starts and the recording ones alike:
// both read the variables of the process they run in.
#include <cstdlib>
#include <cstring>

#include "platform/process.h"

bool process_get_env(const char *name, char *value, size_t size)
{
    const char *found = std::getenv(name);
    if (!found || std::strlen(found) >= size) return false;
    std::memcpy(value, found, std::strlen(found) + 1);
    return true;
}
