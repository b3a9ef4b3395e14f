#include "tests/support/test_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TEST_FOLDER_BASE
#define TEST_FOLDER_BASE "/tmp"
#endif

namespace
{

std::string folder;
pid_t owner;

int open_up(const char *path, const struct stat *st, int kind, FTW *)
{
    // A folder a test made read-only must still be emptied.
    if (kind == FTW_D || kind == FTW_DNR) chmod(path, (st->st_mode & 07777) | S_IRWXU);
    return 0;
}

int remove_one(const char *path, const struct stat *, int kind, FTW *)
{
    if (kind == FTW_DP)
        rmdir(path);
    else
        unlink(path);
    return 0;
}

} // namespace

void test_folder_enter()
{
    const char *inherited = getenv("TEST_TMPDIR");
    const char *marker = getenv("TEST_FOLDER");
    if (inherited && marker && !strcmp(inherited, marker)) return;
    std::string base = inherited && *inherited ? inherited : TEST_FOLDER_BASE;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    mkdir(base.c_str(), 0755);
    std::string pattern = base + "/t.XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        fprintf(stderr, "cannot make a test folder in %s: %s\n", base.c_str(), strerror(errno));
        exit(1);
    }
    folder = pattern;
    owner = getpid();
    setenv("TEST_TMPDIR", folder.c_str(), 1);
    setenv("TEST_FOLDER", folder.c_str(), 1);
    setenv("TMPDIR", folder.c_str(), 1);
    atexit(test_folder_leave);
}

void test_folder_leave()
{
    if (folder.empty() || getpid() != owner) return;
    nftw(folder.c_str(), open_up, 16, FTW_PHYS);
    nftw(folder.c_str(), remove_one, 16, FTW_PHYS | FTW_DEPTH);
    folder.clear();
}
