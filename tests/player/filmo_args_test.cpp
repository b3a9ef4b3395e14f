// The real filmo from the shell: how it takes its arguments, and the box it shows when there is
// a display but no sound device.
#include "tests/player/movies.h"
#include "tests/support/cli.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

const std::string filmo = FILMO_PATH;

// Runs a shell command line in the background; its pid.
pid_t start_shell(const std::string &command)
{
    pid_t pid = -1;
    const char *argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char *const *>(argv), environ) != 0)
        return -1;
    return pid;
}

// Polls until ready() holds, for at most seconds; whether it did.
template <typename F> bool wait_until(F ready, int seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The exit status once the process ended within seconds; -1 (and killed) when it did not.
int wait_exit(pid_t pid, int seconds)
{
    int status = 0;
    if (wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds))
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

std::string text_of(const std::string &path)
{
    std::vector<uint8_t> bytes = cli_read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

bool contains(const std::vector<uint8_t> &haystack, const std::vector<uint8_t> &needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

TEST(FilmoArgs, ANameWithBlanksIsOneMovieAndPlays)
{
    std::string movie = movie_write("My Trailer 1.mov", 6, 3);
    std::string dir = testing::TempDir();
    std::string heard = dir + "args_heard.raw", out = dir + "args_out.txt";
    remove(heard.c_str());
    pid_t pid = start_shell("cd '" + dir +
                            "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk "
                            "SDL_DISKAUDIOFILE='" +
                            heard + "' FILMO_NO_BOXES=1 exec '" + filmo +
                            "' 'My Trailer 1.mov' > '" + out + "' 2>&1");
    ASSERT_GT(pid, 0);
    // The movie's first record is heard: the name was opened whole.
    std::vector<uint8_t> first = movie_sound(3, 1);
    bool played = wait_until([&] { return contains(cli_read_file(heard), first); }, 30);
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_exit(pid, 20), 0);
    EXPECT_TRUE(played) << text_of(out);
    EXPECT_EQ(text_of(out).find("Could not open any video"), std::string::npos) << text_of(out);
}

TEST(FilmoArgs, TheWordsOfANameAreNotNamesOfTheirOwn)
{
    // "a b.mov" does not exist, "a" and "b.mov" do: the player must not split the argument.
    std::string dir = testing::TempDir() + "args_words";
    ASSERT_EQ(cli_run("rm -rf '" + dir + "' && mkdir '" + dir + "'").status, 0);
    std::string a = movie_write("args_words/a", 6, 0);
    std::string b = movie_write("args_words/b.mov", 6, 0);
    CliRun run = cli_run("cd '" + dir +
                         "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk "
                         "SDL_DISKAUDIOFILE=/dev/null FILMO_NO_BOXES=1 timeout 20 '" +
                         filmo + "' 'a b.mov'");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Could not open any video \n"), std::string::npos) << run.out;
}

} // namespace
