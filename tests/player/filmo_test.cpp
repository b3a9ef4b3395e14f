// The real filmo program: SDL with its offscreen video and disk audio drivers, and under a
// virtual X server with a window manager, seen through screenshots and driven by xdotool.
#include "tests/player/movies.h"
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

// ctest runs the tests of this file as parallel processes: each process names its own files.
std::string own_temp(const char *name)
{
    return testing::TempDir() + "filmo_test." + std::to_string(getpid()) + "." + name;
}

// What the process named for itself goes when it ends.
class OwnTempCleanUp : public testing::Environment
{
    void TearDown() override
    {
        std::string prefix = "filmo_test." + std::to_string(getpid()) + ".";
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(testing::TempDir(), error))
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                std::filesystem::remove(entry.path(), error);
    }
};
testing::Environment *const own_temp_clean_up =
    testing::AddGlobalTestEnvironment(new OwnTempCleanUp);

// Starts argv with these extra environment entries, stdout and stderr into out; under a
// sanitizer build with what SDL needs there.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &out)
{
    std::vector<std::string> all = cli_sdl_sanitizer_env(own_temp("filmo_tsan.supp"));
    // The system's software GL, which SDL renders through where there is no graphics card, is
    // not built for them either: SDL renders in software there.
    if (cli_sanitized()) all.push_back("SDL_RENDER_DRIVER=software");
    all.insert(all.end(), env.begin(), env.end());
    return cli_start(argv, all, out);
}

long file_size(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) == 0 ? (long)st.st_size : -1;
}

const std::string filmo = FILMO_PATH;

TEST(Filmo, HelpAndAMissingMovie)
{
    std::string out = own_temp("filmo_help.txt");
    EXPECT_EQ(cli_wait_exit(spawn({filmo, "--help"}, {}, out), 20), 0);
    EXPECT_NE(cli_read_text(out).find("usage: filmo"), std::string::npos);
    EXPECT_EQ(cli_wait_exit(spawn({filmo, "/nonexistent/trailer.mov"},
                                  {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk",
                                   "SDL_DISKAUDIOFILE=/dev/null", "FILMO_NO_BOXES=1"},
                                  out),
                            20),
              0);
    EXPECT_NE(cli_read_text(out).find("Could not open any video \n"), std::string::npos)
        << cli_read_text(out);
}

TEST(Filmo, NoDisplayGivesTheModeNoticeOnStderr)
{
    std::string movie = movie_write("filmo_nodisplay.mov", 4, 0);
    std::string out = own_temp("filmo_nodisplay.txt");
    EXPECT_EQ(cli_wait_exit(spawn({filmo, movie},
                                  {"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_AUDIODRIVER=disk",
                                   "SDL_DISKAUDIOFILE=/dev/null"},
                                  out),
                            20),
              0);
    EXPECT_NE(cli_read_text(out).find(
                  "Achtung: Konnte den Grafikmodus nicht initialisieren (Errorcode 1000/1000)"),
              std::string::npos)
        << cli_read_text(out);
}

TEST(Filmo, TheAudioFileHoldsTheRecordsSoundInOrderCutAsThePlayerCutsIt)
{
    const int32_t n = 8;
    std::string movie = movie_write("filmo_sound.mov", n, 0);
    std::string audio = own_temp("filmo_sound.raw");
    std::string out = own_temp("filmo_sound.txt");
    remove(audio.c_str());
    pid_t pid = spawn({filmo, movie},
                      {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk",
                       "SDL_DISKAUDIOFILE=" + audio, "FILMO_NO_BOXES=1"},
                      out);
    // Two turns of the one-movie ring, then SIGTERM, which ends it as closing the window does.
    long enough = 2L * n * 3528 + 22050;
    for (int i = 0; i < 3000 && file_size(audio) < enough; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, SIGTERM);
    EXPECT_EQ(cli_wait_exit(pid, 20), 0) << cli_read_text(out);

    std::string heard = cli_read_text(audio);
    std::vector<uint8_t> sound = movie_sound(0, n);
    // Each turn: records 0 to n - 3 whole, then record n - 2 cut where its picture A appears
    // (half-way, give or take what the device had taken in ahead). That cut is the player's
    // stop after its last picture: a main thread that falls behind (a sanitizer on a loaded
    // machine) stops later, and the last record, in the buffer since picture A of record
    // n - 3, is heard on until then. What the cut must never do is run the sound out of order;
    // the headless tests pin where it falls when the main thread is late.
    size_t at = 0;
    // Unoptimised sanitizer builds may not decode in real time after the first turn.
    for (int turn = 0; turn < (movie_sanitized() ? 1 : 2); turn++) {
        at = heard.find((const char *)sound.data(), at, 64);
        ASSERT_NE(at, std::string::npos) << "turn " << turn;
        size_t same = 0;
        while (at + same < heard.size() && same < sound.size() &&
               (uint8_t)heard[at + same] == sound[same])
            same++;
        // Under a sanitizer, on a loaded machine, decoding may fall behind real time and the
        // player then goes on with what the buffer holds: only record 0, written before the
        // sound starts, is sure to be heard whole there.
        EXPECT_GE(same, movie_sanitized() ? (size_t)3528 : (size_t)(n - 2) * 3528 + 1000) << turn;
        at += same;
    }
}

// ---- under a virtual X server

struct Rgb {
    int r, g, b;
};

class FilmoX : public testing::Test
{
  protected:
    void SetUp() override
    {
        if (system("command -v Xvfb >/dev/null && command -v matchbox-window-manager >/dev/null "
                   "&& command -v xdotool >/dev/null && command -v import >/dev/null "
                   "&& command -v xprop >/dev/null") != 0)
            GTEST_SKIP() << "Xvfb, matchbox, xdotool, xprop or imagemagick missing";
        std::string log = own_temp("xvfb.txt");
        display = cli_start_xvfb(1280, 800, log, &server);
        ASSERT_FALSE(display.empty()) << cli_read_text(log);
        // Full screen needs the window manager running: it announces itself on the root window.
        // A manager that has ended (as one did when a resetting server dropped it) is started
        // again.
        std::string check = "xprop -display " + display +
                            " -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'";
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int starts = 0;
        bool running = false;
        while (!running && std::chrono::steady_clock::now() < deadline && starts <= 3) {
            if (manager <= 0 || waitpid(manager, nullptr, WNOHANG) == manager) {
                manager = spawn({"matchbox-window-manager", "-use_titlebar", "no"},
                                {"DISPLAY=" + display}, own_temp("matchbox.txt"));
                starts++;
            }
            running = system(check.c_str()) == 0;
            if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(running) << "no window manager after " << starts
                             << " starts: " << cli_read_text(own_temp("matchbox.txt"));
    }
    void TearDown() override
    {
        if (manager > 0) kill(manager, SIGTERM), cli_wait_exit(manager, 10);
        if (server > 0) kill(server, SIGTERM), cli_wait_exit(server, 10);
    }
    // The root window as 1280x800 RGB bytes.
    std::string screenshot()
    {
        std::string rgb = own_temp("shot.rgb");
        std::string command = "import -display " + display + " -window root -depth 8 rgb:" + rgb;
        EXPECT_EQ(system(command.c_str()), 0);
        return cli_read_text(rgb);
    }
    static Rgb pixel(const std::string &shot, int x, int y)
    {
        size_t at = ((size_t)y * 1280 + x) * 3;
        if (at + 3 > shot.size()) return Rgb{-1, -1, -1};
        return Rgb{(uint8_t)shot[at], (uint8_t)shot[at + 1], (uint8_t)shot[at + 2]};
    }
    static bool near(Rgb a, Rgb b)
    {
        return abs(a.r - b.r) <= 4 && abs(a.g - b.g) <= 4 && abs(a.b - b.b) <= 4;
    }
    // Runs filmo on a movie of one flat colour until the screen shows it; checks the picture's
    // place and the black lines the 640x480 mode leaves; Escape; the desktop again.
    void play_and_leave(const std::vector<std::string> &env, Rgb colour, bool stretched)
    {
        std::string movie = own_temp("filmo_flat.mov");
        ASSERT_TRUE(gen_write_flat_movie(movie.c_str()));

        std::vector<std::string> e = {"DISPLAY=" + display, "SDL_AUDIODRIVER=disk",
                                      "SDL_DISKAUDIOFILE=/dev/null", "FILMO_NO_BOXES=1"};
        e.insert(e.end(), env.begin(), env.end());
        std::string out = own_temp("filmo_x.txt");
        pid_t pid = spawn({filmo, movie}, e, out);
        // Until the window has gone full screen, pictures come at its first size: look again
        // until the screen is settled, then check it.
        std::string png;
        Rgb centre{}, border{}, left{};
        int black_rows = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            png = screenshot();
            centre = pixel(png, 640, 400);
            // 1280x800 holds the 4:3 picture 1066 wide, centred: black borders left and right.
            border = pixel(png, 40, 400);
            left = pixel(png, 200, 400);
            black_rows = 0;
            for (int y = 100; y < 700; y++)
                black_rows += near(pixel(png, 600, y), Rgb{0, 0, 0});
            bool rows = stretched ? black_rows > 200 : black_rows == 0;
            if (near(centre, colour) && near(left, colour) && near(border, Rgb{0, 0, 0}) && rows)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(near(centre, colour)) << centre.r << "," << centre.g << "," << centre.b;
        EXPECT_TRUE(near(border, Rgb{0, 0, 0}));
        EXPECT_TRUE(near(left, colour));
        if (stretched)
            EXPECT_GT(black_rows, 200) << "every other line of the 640x480 mode is black";
        else
            EXPECT_EQ(black_rows, 0);

        std::string key = "xdotool key --display " + display + " Escape";
        ASSERT_EQ(system(("DISPLAY=" + display + " xdotool key Escape").c_str()), 0) << key;
        EXPECT_EQ(cli_wait_exit(pid, 20), 0) << cli_read_text(out);
        EXPECT_FALSE(near(pixel(screenshot(), 640, 400), colour)) << "the desktop is back";
    }
    std::string display;
    pid_t server = -1, manager = -1;
};

// The palette's (40, 50, 20) as the screen shows it in each layout, scaled to 8 bits by X.
TEST_F(FilmoX, FullScreen565ThenEscape)
{
    play_and_leave({}, Rgb{165, 203, 82}, false);
}

TEST_F(FilmoX, Layout555AndThe640x480Mode)
{
    play_and_leave({"FILMO_PIXEL_FORMAT=555", "FILMO_MODE=640x480"}, Rgb{165, 206, 82}, true);
}

} // namespace
