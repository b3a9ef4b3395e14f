#include "tests/support/cli.h"

#include <cstdio>
#include <sys/wait.h>

CliRun cli_run(const std::string &command_line)
{
    const std::string command = command_line + " 2>&1";
    FILE *p = popen(command.c_str(), "r");
    CliRun run{-1, ""};
    if (!p) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        run.out.append(buffer, n);
    const int status = pclose(p);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<uint8_t> cli_read_file(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}
