#include "tests/support/cli.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

std::string cli_read_text(const std::string &path)
{
    const std::vector<uint8_t> bytes = cli_read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

pid_t cli_start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                const std::string &out, int keep_fd)
{
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string &e : env)
            putenv(strdup(e.c_str()));
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        if (keep_fd >= 0) dup2(keep_fd, 3);
        std::vector<char *> args;
        args.reserve(argv.size() + 1);
        for (const std::string &a : argv)
            args.push_back(strdup(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

std::string cli_start_xvfb(int width, int height, const std::string &log, pid_t *server)
{
    *server = -1;
    int ready[2];
    if (pipe(ready) != 0) return "";
    *server = cli_start({"Xvfb", "-displayfd", "3", "-noreset", "-screen", "0",
                         std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                         "tcp"},
                        {}, log, ready[1]);
    close(ready[1]);
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 30000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    return number.empty() ? "" : ":" + number;
}

int cli_wait_exit(pid_t pid, int seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

bool cli_sanitized()
{
    bool sanitized = false;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    sanitized = true;
#endif
#endif
    return sanitized;
}

std::vector<std::string> cli_sdl_sanitizer_env(const std::string &supp_path)
{
    if (!cli_sanitized()) return {};
    if (FILE *f = fopen(supp_path.c_str(), "w")) {
        fputs("race:libSDL2-2.0.so.0\nrace:swrast_dri.so\n", f);
        fclose(f);
    }
    const char *tsan = getenv("TSAN_OPTIONS");
    return {std::string("TSAN_OPTIONS=") + (tsan ? tsan : "") + " suppressions=" + supp_path};
}
