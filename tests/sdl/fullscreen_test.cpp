// filmo on a bare X server, as in a kiosk session: no window manager carries out its full-screen
// request. The trailer must still cover the whole screen, the picture at 4:3 between black
// borders, over the window of the program that started it.
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

// Starts argv with extra environment entries, its output into out; keep_fd stays open in the
// child as descriptor 3. Under a sanitizer build with what SDL needs there.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &out, int keep_fd = -1)
{
    std::vector<std::string> all = env;
    // SDL is not built for the sanitizers: races inside it are left to it. The picture is scaled
    // by filmo's own code here (no graphics card), which is what is checked.
    for (const std::string &e : cli_sdl_sanitizer_env(out + ".supp"))
        all.push_back(e);
    return cli_start(argv, all, out, keep_fd);
}

struct Rgb {
    int r, g, b;
};

bool near(Rgb a, Rgb b)
{
    return abs(a.r - b.r) <= 4 && abs(a.g - b.g) <= 4 && abs(a.b - b.b) <= 4;
}

const Rgb black{0, 0, 0};
const Rgb red{255, 0, 0};
// The palette's (40, 50, 20) as a 5-6-5 screen shows it, scaled to 8 bits by X.
const Rgb picture_colour{165, 203, 82};

// A 4:3 picture on this screen: its columns [left, right), the whole height.
constexpr int screen_w = 1280, screen_h = 800;
constexpr int picture_w = screen_h * 4 / 3;
constexpr int left = (screen_w - picture_w) / 2, right = left + picture_w;

class BareX : public testing::Test
{
  protected:
    void SetUp() override
    {
        if (system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null && "
                   "command -v import >/dev/null") != 0)
            GTEST_SKIP() << "Xvfb, xdotool or imagemagick missing";
        std::string pattern = testing::TempDir() + "sdl_fullscreen_XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern;
        display = cli_start_xvfb(screen_w, screen_h, dir + "/xvfb.txt", &server);
        ASSERT_FALSE(display.empty()) << cli_read_text(dir + "/xvfb.txt");
    }
    void TearDown() override
    {
        for (pid_t pid : {standin, server})
            if (pid > 0) kill(pid, SIGTERM), cli_wait_exit(pid, 10);
        if (!dir.empty()) system(("rm -rf '" + dir + "'").c_str());
    }
    std::vector<Rgb> screenshot()
    {
        std::string rgb = dir + "/shot.rgb";
        remove(rgb.c_str());
        std::string command =
            "import -display " + display + " -window root -depth 8 rgb:" + rgb + " 2>/dev/null";
        if (system(command.c_str()) != 0) return {};
        std::string bytes = cli_read_text(rgb);
        if (bytes.size() != (size_t)screen_w * screen_h * 3) return {};
        std::vector<Rgb> shot(bytes.size() / 3);
        for (size_t i = 0; i < shot.size(); i++)
            shot[i] =
                Rgb{(uint8_t)bytes[3 * i], (uint8_t)bytes[3 * i + 1], (uint8_t)bytes[3 * i + 2]};
        return shot;
    }
    // Pixels that are not what the full-screen picture shows there: the picture colour inside
    // its 4:3 columns (one column of scaling blur allowed at each edge), black outside.
    static int wrong_pixels(const std::vector<Rgb> &shot, int *red_pixels)
    {
        int wrong = 0;
        *red_pixels = 0;
        for (int y = 0; y < screen_h; y++)
            for (int x = 0; x < screen_w; x++) {
                Rgb p = shot[(size_t)y * screen_w + x];
                *red_pixels += near(p, red);
                if (x == left - 1 || x == left || x == right - 1 || x == right) continue;
                wrong += !near(p, x > left && x < right ? picture_colour : black);
            }
        return wrong;
    }
    // Waits until the screen shows what is asked, or about 20 seconds.
    template <class Check> std::vector<Rgb> wait_for_screen(Check check)
    {
        std::vector<Rgb> shot;
        for (int i = 0; i < 200; i++) {
            shot = screenshot();
            if (!shot.empty() && check(shot)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return shot;
    }
    std::string write_flat_movie()
    {
        std::string movie = dir + "/flat.mov";
        return gen_write_flat_movie(movie.c_str()) ? movie : "";
    }
    std::string dir, display;
    pid_t server = -1, standin = -1;
};

TEST_F(BareX, TheTrailerCoversTheScreenAt4To3OverTheMenuAndGivesItBack)
{
    // The menu stands in as a red window in the middle of the screen.
    standin = spawn({STANDIN_PATH, "300", "200", "500", "300"}, {"DISPLAY=" + display},
                    dir + "/standin.txt");
    int red_pixels = 0;
    wait_for_screen([&](const std::vector<Rgb> &s) {
        wrong_pixels(s, &red_pixels);
        return red_pixels == 500 * 300;
    });
    ASSERT_EQ(red_pixels, 500 * 300) << cli_read_text(dir + "/standin.txt");

    std::string movie = write_flat_movie();
    ASSERT_FALSE(movie.empty());
    std::string out = dir + "/filmo.txt";
    pid_t pid = spawn({FILMO_PATH, movie},
                      {"DISPLAY=" + display, "SDL_AUDIODRIVER=disk",
                       "SDL_DISKAUDIOFILE=" + dir + "/sound.raw", "FILMO_NO_BOXES=1"},
                      out);
    int wrong = -1;
    std::vector<Rgb> shot = wait_for_screen([&](const std::vector<Rgb> &s) {
        wrong = wrong_pixels(s, &red_pixels);
        return wrong == 0 && red_pixels == 0;
    });
    EXPECT_EQ(wrong, 0) << "the whole screen: black borders, the picture between them";
    EXPECT_EQ(red_pixels, 0) << "the menu shows through";
    if (!shot.empty()) {
        Rgb centre = shot[(size_t)(screen_h / 2) * screen_w + screen_w / 2];
        EXPECT_TRUE(near(centre, picture_colour)) << centre.r << "," << centre.g << "," << centre.b;
    }

    // Escape reaches it without a window manager to give it the focus; the menu is back.
    ASSERT_EQ(system(("DISPLAY=" + display + " xdotool key Escape").c_str()), 0);
    EXPECT_EQ(cli_wait_exit(pid, 20), 0) << cli_read_text(out);
    wait_for_screen([&](const std::vector<Rgb> &s) {
        wrong_pixels(s, &red_pixels);
        return red_pixels == 500 * 300;
    });
    EXPECT_EQ(red_pixels, 500 * 300) << "the menu as it was";
}

} // namespace
