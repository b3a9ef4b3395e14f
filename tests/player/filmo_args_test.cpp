// The real filmo from the shell: how it takes its arguments, and the box it shows when there is
// a display but no sound device.
#include "tests/player/movies.h"
#include "tests/support/cli.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

// A fresh folder of this test's own below the test folder (tests run in parallel processes):
// its name relative to the test folder, ending in a slash.
std::string own_folder()
{
    std::string pattern = testing::TempDir() + "filmo_args.XXXXXX";
    if (!mkdtemp(&pattern[0])) return "";
    return pattern.substr(testing::TempDir().size()) + "/";
}

// The sanitizer build's entries for the player, as a shell command's prefix.
std::string sanitizer_prefix()
{
    std::string prefix;
    for (const std::string &e : movie_sanitizer_env()) {
        size_t eq = e.find('=');
        prefix += e.substr(0, eq + 1) + "'" + e.substr(eq + 1) + "' ";
    }
    return prefix;
}

bool contains(const std::vector<uint8_t> &haystack, const std::vector<uint8_t> &needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

TEST(FilmoArgs, ANameWithBlanksIsOneMovieAndPlays)
{
    std::string own = own_folder();
    ASSERT_FALSE(own.empty());
    std::string movie = movie_write((own + "My Trailer 1.mov").c_str(), 6, 3);
    std::string dir = testing::TempDir() + own;
    std::string heard = dir + "args_heard.raw", out = dir + "args_out.txt";
    remove(heard.c_str());
    pid_t pid = start_shell("cd '" + dir + "' && " + sanitizer_prefix() +
                            "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk "
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
    cli_run("rm -rf '" + dir + "'");
}

TEST(FilmoArgs, TheWordsOfANameAreNotNamesOfTheirOwn)
{
    // "a b.mov" does not exist, "a" and "b.mov" do: the player must not split the argument.
    std::string own = own_folder();
    ASSERT_FALSE(own.empty());
    std::string dir = testing::TempDir() + own;
    movie_write((own + "a").c_str(), 6, 0);
    movie_write((own + "b.mov").c_str(), 6, 0);
    CliRun run = cli_run("cd '" + dir + "' && " + sanitizer_prefix() +
                         "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk "
                         "SDL_DISKAUDIOFILE=/dev/null FILMO_NO_BOXES=1 timeout 20 '" +
                         filmo + "' 'a b.mov'");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Could not open any video \n"), std::string::npos) << run.out;
    cli_run("rm -rf '" + dir + "'");
}

// A virtual X server without a window manager, on a display it picks itself.
class FilmoNoSound : public testing::Test
{
  protected:
    void SetUp() override
    {
        if (cli_run("command -v Xvfb && command -v xdotool").status != 0)
            GTEST_SKIP() << "Xvfb or xdotool missing";
        std::string own = own_folder();
        ASSERT_FALSE(own.empty());
        dir = testing::TempDir() + own;
        std::string number = dir + "nosound_display.txt";
        remove(number.c_str());
        server =
            start_shell("exec Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>'" +
                        number + "' 2>'" + dir + "nosound_xvfb.txt'");
        ASSERT_GT(server, 0);
        ASSERT_TRUE(wait_until([&] { return text_of(number).find('\n') != std::string::npos; }, 30))
            << text_of(dir + "nosound_xvfb.txt");
        display = ":" + text_of(number).substr(0, text_of(number).find('\n'));
        movie = movie_write((own + "nosound.mov").c_str(), 6, 0);
        out = dir + "nosound_out.txt";
    }
    void TearDown() override
    {
        if (server > 0) kill(server, SIGTERM), wait_exit(server, 20);
        if (!dir.empty()) cli_run("rm -rf '" + dir + "'");
    }
    // filmo with a sound driver that cannot be opened.
    pid_t start_filmo()
    {
        return start_shell(sanitizer_prefix() + "DISPLAY=" + display +
                           " SDL_AUDIODRIVER=none_such FILMO_NO_BOXES= exec '" + filmo + "' '" +
                           movie + "' > '" + out + "' 2>&1");
    }
    // The box's window, once the display shows it: its id, empty when it does not come.
    std::string box_shown()
    {
        std::string search =
            "DISPLAY=" + display + " xdotool search --onlyvisible --name '^Fatal Error occured$'";
        std::string id;
        wait_until(
            [&] {
                CliRun run = cli_run(search);
                id = run.status == 0 ? run.out.substr(0, run.out.find('\n')) : "";
                return !id.empty();
            },
            30);
        return id;
    }
    // Whether the window comes to have the keyboard.
    bool has_focus(const std::string &id)
    {
        std::string focus = "DISPLAY=" + display + " xdotool getwindowfocus";
        return wait_until([&] { return cli_run(focus).out == id + "\n"; }, 30);
    }
    bool running(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }
    // What the display shows, for a failure's message.
    std::string windows()
    {
        return cli_run("DISPLAY=" + display + " xdotool search --name . getwindowname %@").out;
    }
    std::string dir, display, movie, out;
    pid_t server = -1;
};

TEST_F(FilmoNoSound, TheFatalBoxShowsAndWaitsForOk)
{
    pid_t pid = start_filmo();
    ASSERT_GT(pid, 0);
    std::string box = box_shown();
    ASSERT_FALSE(box.empty()) << text_of(out) << "windows:\n" << windows();
    EXPECT_TRUE(running(pid)) << "the player waits for the box";
    EXPECT_NE(text_of(out).find("Fatal Error occured: SoundErrorA: 4\n"), std::string::npos)
        << text_of(out);
    // The box has the keyboard without a window manager to give it.
    ASSERT_TRUE(has_focus(box)) << "windows:\n" << windows();
    EXPECT_EQ(cli_run("DISPLAY=" + display + " xdotool key Return").status, 0);
    EXPECT_EQ(wait_exit(pid, 20), 0);
}

TEST_F(FilmoNoSound, SigtermEndsThePlayerWhileTheBoxIsOpen)
{
    pid_t pid = start_filmo();
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(box_shown().empty()) << text_of(out) << "windows:\n" << windows();
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_exit(pid, 20), 0);
}

// Several names too long for the command line: a box each. SIGTERM or SIGINT on the first box
// ends the player; the next box never opens.
TEST_F(FilmoNoSound, ASignalOnTheFirstOfSeveralBoxesEndsThePlayer)
{
    std::string names;
    for (char c : {'a', 'b', 'c'})
        names.append(" '").append(1100, c).append(".mov'");
    const std::string command = sanitizer_prefix() + "DISPLAY=" + display +
                                " SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null FILMO_NO_BOXES= "
                                "exec '" +
                                filmo + "'" + names + " > '" + out + "' 2>&1";
    for (int signal_number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal_number);
        pid_t pid = start_shell(command);
        ASSERT_GT(pid, 0);
        std::string search =
            "DISPLAY=" + display + " xdotool search --onlyvisible --name '^Achtung$'";
        ASSERT_TRUE(wait_until([&] { return cli_run(search).status == 0; }, 30))
            << text_of(out) << "windows:\n"
            << windows();
        kill(pid, signal_number);
        EXPECT_EQ(wait_exit(pid, 20), 0) << text_of(out);
        std::string said = text_of(out);
        size_t boxes = 0;
        for (size_t at = said.find("Achtung: "); at != std::string::npos;
             at = said.find("Achtung: ", at + 1))
            boxes++;
        EXPECT_EQ(boxes, 1u) << said;
    }
}

// The X server goes away under a playing filmo: the player ends with 0, as it promises for
// every end, and says why on stderr.
TEST_F(FilmoNoSound, TheDisplayGoingAwayEndsThePlayerWithZero)
{
    pid_t pid = start_shell(sanitizer_prefix() + "DISPLAY=" + display +
                            " SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null FILMO_NO_BOXES=1 "
                            "exec '" +
                            filmo + "' '" + movie + "' > '" + out + "' 2>&1");
    ASSERT_GT(pid, 0);
    // Playing: its window is on the screen.
    std::string search =
        "DISPLAY=" + display + " xdotool search --onlyvisible --name '^Halvener-Test$'";
    ASSERT_TRUE(wait_until([&] { return cli_run(search).status == 0; }, 30)) << text_of(out);
    kill(server, SIGKILL);
    wait_exit(server, 20);
    server = -1;
    EXPECT_EQ(wait_exit(pid, 20), 0) << text_of(out);
    EXPECT_NE(text_of(out).find("the display went away"), std::string::npos) << text_of(out);
}

TEST(FilmoNoSoundNoDisplay, TheMessageGoesToStderrOnly)
{
    std::string own = own_folder();
    ASSERT_FALSE(own.empty());
    std::string movie = movie_write((own + "nosound.mov").c_str(), 6, 0);
    CliRun run = cli_run(sanitizer_prefix() +
                         "DISPLAY= WAYLAND_DISPLAY= SDL_AUDIODRIVER=none_such timeout 20 '" +
                         filmo + "' '" + movie + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Fatal Error occured: SoundErrorA: 4\n"), std::string::npos) << run.out;
    cli_run("rm -rf '" + testing::TempDir() + own + "'");
}

} // namespace
