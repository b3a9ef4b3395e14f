// Defined here, unlinkat and unlink take the place of the C library's for every call made from
// this program's own code (the POSIX layer included); the real work is the system call itself.
#include "tests/launcher/unlink_guard.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

bool armed;
std::string allowed;
std::vector<std::string> violations;
size_t removed;

std::string folder_of(int dirfd)
{
    char link[64];
    char target[PATH_MAX];
    if (dirfd == AT_FDCWD) return getcwd(target, sizeof target) ? target : "?";
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0) return "?";
    target[n] = '\0';
    return target;
}

// True when the call may go ahead.
bool check(int dirfd, const char *name)
{
    if (!armed) return true;
    std::string folder = folder_of(dirfd);
    bool below = folder == allowed || folder.compare(0, allowed.size() + 1, allowed + "/") == 0;
    bool single = std::strchr(name, '/') == nullptr && std::strcmp(name, ".") != 0 &&
                  std::strcmp(name, "..") != 0 && name[0] != '\0';
    if (below && single) return true;
    violations.push_back(folder + " + " + name);
    return false;
}

} // namespace

void unlink_guard_arm(const std::string &allowed_real_folder)
{
    allowed = allowed_real_folder;
    violations.clear();
    removed = 0;
    armed = true;
}

void unlink_guard_disarm()
{
    armed = false;
}

const std::vector<std::string> &unlink_guard_violations()
{
    return violations;
}

size_t unlink_guard_removed()
{
    return removed;
}

extern "C" int unlinkat(int dirfd, const char *name, int flags)
{
    if (!check(dirfd, name)) {
        errno = EPERM;
        return -1;
    }
    long done = syscall(SYS_unlinkat, dirfd, name, flags);
    if (done == 0 && armed) removed++;
    return static_cast<int>(done);
}

extern "C" int unlink(const char *name)
{
    return unlinkat(AT_FDCWD, name, 0);
}
