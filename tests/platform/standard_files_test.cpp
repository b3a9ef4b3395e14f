// Programs started with descriptors 0, 1 and 2 closed: the null device takes their place before
// the program opens anything, so that no file it opens gets one of those numbers and its
// messages or input.
#include "platform/standard_files.h"
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

std::string fd_target(pid_t pid, int fd)
{
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/%d/fd/%d", (int)pid, fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, (size_t)n) : "";
}

// Starts argv (argv[0] the name it is started under) with the given descriptors of 0, 1 and 2
// closed and the rest of them on the null device, and these extra environment entries.
// Returns once the program runs, not while the child is still arranging its descriptors.
pid_t start_with_closed(const std::string &path, const std::vector<std::string> &argv,
                        const std::vector<std::string> &env, const std::vector<int> &closed)
{
    int started[2];
    if (pipe2(started, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(started[0]);
        int keep = fcntl(started[1], F_DUPFD_CLOEXEC, 10);
        for (const std::string &e : env)
            putenv(strdup(e.c_str()));
        int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; fd++)
            dup2(null, fd);
        if (null > 2) close(null);
        for (int fd : closed)
            close(fd);
        std::vector<char *> args;
        args.reserve(argv.size() + 1);
        for (const std::string &a : argv)
            args.push_back(strdup(a.c_str()));
        args.push_back(nullptr);
        execv(path.c_str(), args.data());
        if (write(keep, "x", 1) < 0) _exit(126);
        _exit(127);
    }
    close(started[1]);
    char c;
    // The write end closes with the exec: end of file means the program runs.
    if (pid > 0 && read(started[0], &c, 1) != 0) pid = -1;
    close(started[0]);
    return pid;
}

// Watches a program started with 0, 1 and 2 closed until all three are the null device, then
// stops it; a program that ends first, or that does not get there within 15 s, fails. Before
// its main runs, the loader and the libraries' own start-up open files and close them again,
// and such a file shows on 0 for a moment: only the state the program settles in counts.
void expect_null_device_on_0_to_2(const std::string &path, const std::vector<std::string> &argv,
                                  const std::vector<std::string> &env)
{
    SCOPED_TRACE(argv[0]);
    pid_t pid = start_with_closed(path, argv, env, {0, 1, 2});
    ASSERT_GT(pid, 0);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    const std::vector<std::string> null_device(3, "/dev/null");
    std::vector<std::string> seen(3);
    while (seen != null_device && std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ADD_FAILURE() << "ended before it was seen, status " << status;
            return;
        }
        for (int fd = 0; fd <= 2; fd++)
            seen[fd] = fd_target(pid, fd);
        if (seen != null_device) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(seen, null_device);
}

TEST(StandardFiles, ClosedOnesGetTheNullDeviceAndOpenOnesStay)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t pid = fork();
    if (pid == 0) {
        // Standard output stays the report pipe; 0 and 2 are closed.
        int keep = fcntl(report[1], F_DUPFD, 10);
        dup2(keep, 1);
        close(0);
        close(2);
        bool ok = standard_files_open_missing();
        int next = open("/dev/zero", O_RDONLY);
        std::string line = std::to_string(ok) + " " + fd_target(getpid(), 0) + " " +
                           std::to_string(next > 2) + " " + fd_target(getpid(), 2) + "\n";
        if (write(keep, line.data(), line.size()) < 0) _exit(2);
        _exit(fcntl(1, F_GETFD) == -1 ? 3 : 0);
    }
    close(report[1]);
    char got[512] = {};
    ASSERT_GT(read(report[0], got, sizeof got - 1), 0);
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_STREQ(got, "1 /dev/null 1 /dev/null\n");
}

TEST(StandardFiles, EveryProgramFillsThemBeforeItOpensAnything)
{
    const std::string dir = testing::TempDir();
    const std::string movie = dir + "/movie.mov";
    ASSERT_TRUE(gen_write_file(movie.c_str(), gen_movie(GEN_SHAPES, 3)));
#ifdef FILMO_PATH
    expect_null_device_on_0_to_2(FILMO_PATH, {"filmo", movie},
                                 {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk",
                                  "SDL_DISKAUDIOFILE=" + dir + "/sound.raw", "FILMO_NO_BOXES=1"});
#endif
#ifdef RUNNER_PATH
    expect_null_device_on_0_to_2(
        RUNNER_PATH, {"runner", "--cd", dir},
        {"QT_QPA_PLATFORM=offscreen", "WINEPREFIX=" + dir, "RUNNER_REGISTRY=" + dir + "/none.reg"});
#endif
#ifdef STANDIN_PATH
    expect_null_device_on_0_to_2(STANDIN_PATH, {"ztDemo.exe"}, {"QT_QPA_PLATFORM=offscreen"});
#endif
#ifdef ART_PATH
    expect_null_device_on_0_to_2(ART_PATH, {"democd_art", "trailer", dir}, {});
#endif
}

} // namespace
