// Running the programs under test as a user does, from their command line.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

struct CliRun {
    int status;      // the exit status, -1 when the program did not end by itself
    std::string out; // stdout and stderr together
};

// Runs a command line through the shell.
CliRun cli_run(const std::string &command_line);

// A whole file's bytes; empty when it cannot be read.
std::vector<uint8_t> cli_read_file(const std::string &path);

// The same as text.
std::string cli_read_text(const std::string &path);

// Starts argv (looked up on PATH) with these extra environment entries, its stdout and stderr
// into the file out (made afresh, never through a link); keep_fd, where given, stays open in
// the child as descriptor 3. The child's pid.
pid_t cli_start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                const std::string &out, int keep_fd = -1);
// The exit status (128 + the signal where one ended it) once pid has ended, waiting at most
// seconds; -1 when it did not end by then, and it is then killed.
int cli_wait_exit(pid_t pid, int seconds);

// A bare Xvfb of width x height on a display it picks itself (-displayfd, so it never collides
// with another server) and that never resets, its output into log. The display's name (":N")
// once the server accepts clients, empty when it did not start within 30 s; the server's pid in
// *server either way (-1 when it could not be started).
std::string cli_start_xvfb(int width, int height, const std::string &log, pid_t *server);

// Whether this build runs under AddressSanitizer or ThreadSanitizer.
bool cli_sanitized();
// Under a sanitizer build, the TSAN_OPTIONS entry for an SDL program: SDL and the system's GL
// are not built for the sanitizers, so races inside them are left to them (through a
// suppressions file written at supp_path); the options the run already has stay. Nothing in a
// plain build.
std::vector<std::string> cli_sdl_sanitizer_env(const std::string &supp_path);
