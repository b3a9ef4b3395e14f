// A small program for the process tests: appends its current directory and its arguments to the
// file named by RECORD_FILE, one record per run, then exits with code 0.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *name = std::getenv("RECORD_FILE");
    if (!name) return 2;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 3;
    // Written to a side file and renamed, so a reader never sees half a record.
    char temp[4200];
    std::snprintf(temp, sizeof temp, "%s.%d", name, static_cast<int>(getpid()));
    FILE *out = std::fopen(temp, "w");
    if (!out) return 4;
    std::fprintf(out, "cwd=%s\n", cwd);
    for (int i = 0; i < argc; i++)
        std::fprintf(out, "arg%d=%s\n", i, argv[i]);
    std::fclose(out);
    return std::rename(temp, name) == 0 ? 0 : 5;
}
