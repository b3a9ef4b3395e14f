// Real process starts. A native program (ELF or script) is run directly, with each argument that
// names an existing file given as its host path (relative where the Windows path was); a Windows
// program ("MZ") is run through wine or RUNNER_WINE with its arguments unchanged. Whether the
// start succeeded is known once the new program's exec went through, reported over a
// close-on-exec pipe.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/paths.h"
#include "platform/process.h"
#include "platform/readfile.h"

namespace
{

bool is_windows_program(const std::string &host)
{
    FILE *file = readfile_open(host.c_str());
    if (!file) return false;
    char magic[2] = {0, 0};
    size_t got = std::fread(magic, 1, 2, file);
    std::fclose(file);
    return got == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// In the child: everything it needs was built before the fork.
[[noreturn]] void exec_child(const char *file, const std::vector<char *> &argv, int report)
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    execvp(file, argv.data());
    int error = errno;
    ssize_t ignored = write(report, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

// 0 when the exec succeeded, else the errno reported by the child.
int read_report(int fd)
{
    int error = 0;
    ssize_t got;
    do
        got = read(fd, &error, sizeof error);
    while (got < 0 && errno == EINTR);
    close(fd);
    return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

bool run(ProcessWay way, const std::string &file, std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return false;
    }
    if (pid == 0) {
        close(pipe_fds[0]);
        if (way == PROCESS_RUN_AND_WAIT) exec_child(file.c_str(), argv, pipe_fds[1]);
        // Started beside or in place: a grandchild runs the program so that it is nobody's
        // zombie; the child only hands it over.
        setsid();
        pid_t grandchild = fork();
        if (grandchild < 0) {
            int error = errno;
            ssize_t ignored = write(pipe_fds[1], &error, sizeof error);
            (void)ignored;
            _exit(127);
        }
        if (grandchild == 0) exec_child(file.c_str(), argv, pipe_fds[1]);
        _exit(0);
    }
    close(pipe_fds[1]);
    int error = read_report(pipe_fds[0]);
    // Run and wait: until the program ends. Otherwise the child that handed the program over.
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return error == 0;
}

// The host path of a Windows path; relative to the current directory when the Windows path
// was, so that a started program sees "Trailer/trailer.mov" where the original saw
// "Trailer\trailer.mov".
bool host_path(const char *windows_path, std::string *host)
{
    if (!paths_map(windows_path, host)) return false;
    bool relative = windows_path[0] != '\\' && windows_path[0] != '/' &&
                    !(windows_path[0] && windows_path[1] == ':');
    std::string base;
    if (relative && paths_map(paths_current().c_str(), &base) &&
        host->compare(0, base.size() + 1, base + "/") == 0)
        host->erase(0, base.size() + 1);
    return true;
}

// What to execute and its argument list.
bool build(const char *program, const char *const *args, int count, std::string *file,
           std::vector<std::string> *argv)
{
    std::string host;
    if (!program[0] || !host_path(program, &host)) return false;
    // Only a regular file is a program; a FIFO in its place must not block the menu.
    FILE *probe = readfile_open(host.c_str());
    if (!probe) return false;
    std::fclose(probe);
    argv->clear();
    bool windows = is_windows_program(host);
    if (windows) {
        const char *wine = std::getenv("RUNNER_WINE");
        *file = wine && *wine ? wine : "wine";
        argv->push_back(*file);
    } else {
        // A bare name would be looked up in PATH; the program is in the current directory.
        *file = host.find('/') == std::string::npos ? "./" + host : host;
    }
    argv->push_back(host);
    for (int i = 1; i < count; i++) {
        std::string mapped;
        struct stat target;
        if (!windows && host_path(args[i], &mapped) && stat(mapped.c_str(), &target) == 0)
            argv->push_back(mapped);
        else
            argv->push_back(paths_to_utf8(args[i]));
    }
    return true;
}

} // namespace

bool process_start(ProcessWay way, const char *program, const char *const *args, int count)
{
    std::string file;
    std::vector<std::string> argv;
    if (!build(program, args, count, &file, &argv) || !run(way, file, argv)) return false;
    if (way == PROCESS_START_IN_PLACE) {
        std::fflush(nullptr);
        _exit(0);
    }
    return true;
}

bool process_run_command(const char *command)
{
    char interpreter[4096];
    std::string host;
    struct stat st;
    if (process_get_env("COMSPEC", interpreter, sizeof interpreter) &&
        paths_map(interpreter, &host) && stat(host.c_str(), &st) == 0) {
        const char *args[] = {interpreter, "/c", command};
        return process_start(PROCESS_RUN_AND_WAIT, interpreter, args, 3);
    }
    // No interpreter of the Windows kind here: the command's program is run the way every other
    // program is, found from the current directory, with its arguments split at blanks.
    std::vector<std::string> words;
    std::string text = command;
    size_t p = 0;
    while (p < text.size()) {
        size_t end = text.find(' ', p);
        if (end == std::string::npos) end = text.size();
        if (end > p) words.push_back(text.substr(p, end - p));
        p = end + 1;
    }
    if (words.empty()) return false;
    std::vector<const char *> args;
    args.reserve(words.size());
    for (const std::string &w : words)
        args.push_back(w.c_str());
    return process_start(PROCESS_RUN_AND_WAIT, args[0], args.data(), static_cast<int>(args.size()));
}
