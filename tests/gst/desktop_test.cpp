// What a desktop shows of the trailer once the plugin is there: gst-play-1.0 in a window on
// an X server of its own, and the file manager's thumbnail from totem-video-thumbnailer.
#include "movie/movie.h"
#include "tests/gst/gst_support.h"
#include "tests/support/cli.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace
{

// The trailer of the demo CD the build made, its last 20 records (3.2 s): enough to see it
// play to its end, where the player keeps its last picture, B of the last record.
constexpr size_t TAIL_RECORDS = 20;

class Desktop : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = gst_test_folder();
        ASSERT_FALSE(dir.empty());
        const Bytes trailer = cli_read_file(TRAILER_PATH);
        if (trailer.size() < TAIL_RECORDS * MOVIE_RECORD_SIZE)
            GTEST_SKIP() << "no trailer at " << TRAILER_PATH;
        const size_t whole = trailer.size() / MOVIE_RECORD_SIZE * MOVIE_RECORD_SIZE;
        movie = dir + "/trailer.mov";
        FILE *f = fopen(movie.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const size_t from = whole - TAIL_RECORDS * MOVIE_RECORD_SIZE;
        ASSERT_EQ(fwrite(trailer.data() + from, 1, whole - from, f), whole - from);
        ASSERT_EQ(fclose(f), 0);
        ref = gst_test_reference(movie, dir);
        ASSERT_EQ(ref.pictures.size(), TAIL_RECORDS);
        env = {"GST_REGISTRY=" + dir + "/registry.bin",
               std::string("GST_PLUGIN_PATH=") + GST_PLUGIN_BUILD_DIR};
    }
    void TearDown() override { gst_test_remove(dir); }

    std::string dir, movie;
    Reference ref;
    std::vector<std::string> env;
};

// An RGB picture of w x h on a grid of cells: each cell's mean colour.
std::vector<double> cells(const uint8_t *rgb, size_t stride, size_t w, size_t h)
{
    constexpr size_t GX = 16, GY = 10;
    std::vector<double> means;
    for (size_t gy = 0; gy < GY; gy++)
        for (size_t gx = 0; gx < GX; gx++) {
            double sum[3] = {0, 0, 0};
            size_t n = 0;
            for (size_t y = gy * h / GY; y < (gy + 1) * h / GY; y++)
                for (size_t x = gx * w / GX; x < (gx + 1) * w / GX; x++, n++)
                    for (size_t c = 0; c < 3; c++)
                        sum[c] += rgb[y * stride + x * 3 + c];
            for (double s : sum)
                means.push_back(n ? s / (double)n : 0);
        }
    return means;
}

double mean_difference(const std::vector<double> &a, const std::vector<double> &b)
{
    double d = 0;
    for (size_t i = 0; i < a.size(); i++)
        d += std::abs(a[i] - b[i]);
    return d / static_cast<double>(a.size());
}

// Which of the movie's pictures (2 r + b) an RGB image of w x h shows, scaled as it may be,
// and how far its cells are from it.
std::pair<size_t, double> best_match(const Reference &ref, const uint8_t *rgb, size_t stride,
                                     size_t w, size_t h)
{
    const std::vector<double> seen = cells(rgb, stride, w, h);
    std::pair<size_t, double> best{0, 1e9};
    for (size_t k = 0; k < 2 * ref.pictures.size(); k++) {
        const Bytes picture = gst_test_rgb(ref, k / 2, static_cast<int>(k % 2));
        const double d = mean_difference(seen, cells(picture.data(), 320 * 3, 320, 200));
        if (d < best.second) best = {k, d};
    }
    return best;
}

TEST_F(Desktop, GstPlayShowsTheTrailerToItsLastPicture)
{
    pid_t server = -1;
    const std::string display = cli_start_xvfb(640, 480, dir + "/xvfb.log", &server);
    ASSERT_FALSE(display.empty()) << cli_read_text(dir + "/xvfb.log");
    std::vector<std::string> play_env = env;
    play_env.push_back("DISPLAY=" + display);
    const std::string log = dir + "/play.log";
    const pid_t play =
        cli_start({"gst-play-1.0", "--no-interactive", "--wait-on-eos", "--videosink=ximagesink",
                   "--audiosink=fakesink sync=true", movie},
                  play_env, log);
    // gst-play shows the position while it plays; at the end it stays on the last picture.
    bool ended = false;
    for (int i = 0; i < 600 && !ended; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ended = cli_read_text(log).find("0:00:03.2 / 0:00:03.2") != std::string::npos;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string x = "DISPLAY=" + display + " ";
    const CliRun tree = cli_run(x + "xwininfo -root -tree");
    const std::string shot = dir + "/shot.png";
    const CliRun grab = cli_run(x + "import -window root " + gst_test_quote(shot));
    kill(play, SIGTERM);
    cli_wait_exit(play, 10);
    kill(server, SIGTERM);
    cli_wait_exit(server, 10);
    ASSERT_TRUE(ended) << cli_read_text(log);
    ASSERT_EQ(grab.status, 0) << grab.out;
    if (const char *keep = getenv("GST_TEST_SCREENSHOT"))
        cli_run("cp " + gst_test_quote(shot) + " " + gst_test_quote(keep));

    // The player's window, as the X server has it: "WxH+X+Y".
    const size_t at = tree.out.find("\"gst-play-1.0\": (");
    ASSERT_NE(at, std::string::npos) << tree.out;
    int w = 0, h = 0, left = -1, top = -1;
    const size_t geometry = tree.out.find(')', at) + 1;
    ASSERT_EQ(sscanf(tree.out.c_str() + geometry, " %dx%d+%d+%d", &w, &h, &left, &top), 4)
        << tree.out;
    // 320x200 shown at 4:3 (to the pixel), as the player shows it.
    EXPECT_LE(std::abs(w * 3 - h * 4), 4) << w << "x" << h;
    const std::string raw = dir + "/window.rgb";
    ASSERT_EQ(cli_run("convert " + gst_test_quote(shot) + " -crop " + std::to_string(w) + "x" +
                      std::to_string(h) + "+" + std::to_string(left) + "+" + std::to_string(top) +
                      " -depth 8 rgb:" + gst_test_quote(raw))
                  .status,
              0);
    const Bytes window = cli_read_file(raw);
    ASSERT_EQ(window.size(), static_cast<size_t>(w) * h * 3);
    const auto [picture, difference] =
        best_match(ref, window.data(), static_cast<size_t>(w) * 3, w, h);
    EXPECT_EQ(picture, 2 * TAIL_RECORDS - 1) << "difference " << difference;
    EXPECT_LT(difference, 4.0);
}

TEST_F(Desktop, ThumbnailerMakesAThumbnailOfTheFilm)
{
    const std::string thumbnail = dir + "/thumb.png";
    std::string command;
    for (const std::string &e : env)
        command += e + " ";
    command +=
        "totem-video-thumbnailer -s 256 " + gst_test_quote(movie) + " " + gst_test_quote(thumbnail);
    CliRun run = cli_run(command);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string raw = dir + "/thumb.rgb";
    run = cli_run("identify -format '%w %h' " + gst_test_quote(thumbnail));
    int w = 0, h = 0;
    ASSERT_EQ(sscanf(run.out.c_str(), "%d %d", &w, &h), 2) << run.out;
    // 256 wide at 4:3, to the pixel.
    EXPECT_EQ(w, 256);
    EXPECT_LE(std::abs(w * 3 - h * 4), 4) << w << "x" << h;
    ASSERT_EQ(
        cli_run("convert " + gst_test_quote(thumbnail) + " -depth 8 rgb:" + gst_test_quote(raw))
            .status,
        0);
    const Bytes rgb = cli_read_file(raw);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(w) * h * 3);
    EXPECT_LT(best_match(ref, rgb.data(), static_cast<size_t>(w) * 3, w, h).second, 4.0);

    // Without the plugin there is none: the thumbnail is the plugin's doing.
    run = cli_run("GST_REGISTRY=" + gst_test_quote(dir + "/bare.bin") +
                  " GST_PLUGIN_PATH= totem-video-thumbnailer -s 256 " + gst_test_quote(movie) +
                  " " + gst_test_quote(dir + "/none.png"));
    EXPECT_NE(run.status, 0);
}

} // namespace
