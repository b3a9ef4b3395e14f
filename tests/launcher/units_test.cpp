// The launcher's pieces on their own: texts, command line, split of the uninstall value, path
// composition, the BMP loader and the program icon.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "launcher/backdrop.h"
#include "launcher/icon.h"
#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "launcher/texts.h"
#include "launcher/uninstall.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/paths.h"
#include "tests/launcher/sandbox.h"
#include "tests/support/cli.h"

namespace
{

TEST(Texts, RowsAreFixedWidthWithEmptyThirdAndFourthRows)
{
    EXPECT_STREQ(texts_get(TEXT_BACK, 0), "Zur\374ck");
    EXPECT_STREQ(texts_get(TEXT_SOUND_CONFIG, 0), "Sound-Konfiguration");
    EXPECT_STREQ(texts_get(TEXT_DIRECTX_SETUP, 1), "DirectX Install");
    EXPECT_STREQ(texts_get(TEXT_UNINSTALL_QUESTION, 1), "You really want to delete\nZenthor Demo?");
    for (int t = 0; t < TEXT_TABLE_COUNT; t++) {
        TextTable table = static_cast<TextTable>(t);
        int32_t width = texts_row_width(table);
        // Row i starts width * i bytes after row 0.
        EXPECT_EQ(texts_get(table, 1), texts_get(table, 0) + width);
        for (int row = 0; row < TEXT_ROWS; row++)
            EXPECT_LT(std::strlen(texts_get(table, row)), static_cast<size_t>(width));
        EXPECT_STREQ(texts_get(table, 2), "");
        EXPECT_STREQ(texts_get(table, 3), "");
        EXPECT_STREQ(texts_get(table, -1), "");
        EXPECT_STREQ(texts_get(table, 4), "");
    }
}

TEST(CommandLine, ProgramFolderAndDriveLetter)
{
    char folder[LAUNCHER_PATH_SIZE];
    EXPECT_TRUE(launcher_program_folder("\"E:\\RUNNER.EXE\"", folder, sizeof folder));
    EXPECT_STREQ(folder, "E:\\");
    EXPECT_EQ(launcher_drive_letter("\"E:\\RUNNER.EXE\""), 'E');
    EXPECT_TRUE(launcher_program_folder("E:\\RUNNER.EXE", folder, sizeof folder));
    EXPECT_STREQ(folder, "E:\\");
    EXPECT_EQ(launcher_drive_letter("E:\\RUNNER.EXE"), 'E');
    EXPECT_TRUE(launcher_program_folder("E:\\CD\\RUNNER.EXE -x a\\b", folder, sizeof folder));
    EXPECT_STREQ(folder, "E:\\CD\\RUNNER.EXE -x a\\");
    EXPECT_TRUE(launcher_program_folder("RUNNER", folder, sizeof folder));
    EXPECT_STREQ(folder, "R");
    EXPECT_TRUE(launcher_program_folder("E:RUNNER", folder, sizeof folder));
    EXPECT_STREQ(folder, "E:");
    EXPECT_TRUE(launcher_program_folder("", folder, sizeof folder));
    EXPECT_STREQ(folder, "");
    // A colon or backslash at index 0 is not looked at.
    EXPECT_TRUE(launcher_program_folder("\\RUNNER", folder, sizeof folder));
    EXPECT_STREQ(folder, "\\");
}

TEST(CommandLine, OverlongFolderIsRefusedNotCut)
{
    std::string line = "E:\\" + std::string(300, 'x') + "\\RUNNER.EXE";
    char folder[LAUNCHER_PATH_SIZE];
    EXPECT_FALSE(launcher_program_folder(line.c_str(), folder, sizeof folder));
    EXPECT_STREQ(folder, "");
    std::string fits = "E:\\" + std::string(251, 'x') + "\\"; // 255 characters
    EXPECT_TRUE(launcher_program_folder((fits + "RUNNER.EXE").c_str(), folder, sizeof folder));
    EXPECT_EQ(std::string(folder), fits);
}

TEST(Compose, FitsOrFailsWhole)
{
    char out[LAUNCHER_PATH_SIZE];
    EXPECT_TRUE(launcher_compose(out, "C:\\DEMO\\", "ztDemo.exe"));
    EXPECT_STREQ(out, "C:\\DEMO\\ztDemo.exe");
    std::string a(250, 'a');
    EXPECT_TRUE(launcher_compose(out, a.c_str(), "12345"));
    EXPECT_EQ(std::strlen(out), 255u);
    EXPECT_FALSE(launcher_compose(out, a.c_str(), "123456"));
    EXPECT_STREQ(out, "");
}

struct SplitCase {
    const char *value, *command, *argument;
    bool has_argument;
};

TEST(UninstallSplit, AtTheFirstFlag)
{
    const SplitCase cases[] = {
        {"C:\\DEMO\\UNINST.EXE -fC:\\DEMO\\LOG.TXT", "C:\\DEMO\\UNINST.EXE", "-fC:\\DEMO\\LOG.TXT",
         true},
        {"C:\\DEMO\\UNINST.EXE", "C:\\DEMO\\UNINST.EXE", "", false},
        {"C:\\my-files\\U.EXE -fX", "C:\\m", "-files\\U.EXE -fX", true},
        {"C:\\MY-FILES\\U.EXE", "C:\\MY-FILES\\U.EXE", "", false},
        {"-fC:\\LOG", "", "-fC:\\LOG", true},
        {"-f", "", "-f", true},
        {"", "", "", false},
        {"x-f", "", "-f", true},
    };
    for (const SplitCase &c : cases) {
        // Guard bytes on both sides catch a write before or after the buffers.
        char command[LAUNCHER_PATH_SIZE + 2], argument[LAUNCHER_PATH_SIZE + 2];
        std::memset(command, 0x55, sizeof command);
        std::memset(argument, 0x55, sizeof argument);
        bool has = false;
        uninstall_split(c.value, command + 1, argument + 1, LAUNCHER_PATH_SIZE, &has);
        EXPECT_STREQ(command + 1, c.command) << c.value;
        EXPECT_STREQ(argument + 1, c.argument) << c.value;
        EXPECT_EQ(has, c.has_argument) << c.value;
        EXPECT_EQ(command[0], 0x55);
        EXPECT_EQ(argument[0], 0x55);
        EXPECT_EQ(command[LAUNCHER_PATH_SIZE + 1], 0x55);
    }
}

// ---- BMP loader --------------------------------------------------------------------------------

class Backdrop : public ::testing::Test
{
  protected:
    Sandbox box;
    UiWindow window = 0;
    PictureRecord picture = {};

    static intptr_t no_proc(UiWindow, uint32_t, uintptr_t, intptr_t) { return 0; }

    void SetUp() override
    {
        box = sandbox_make();
        ASSERT_TRUE(paths_configure(box.cd.c_str(), 'E'));
        headless_launcher_reset(1024, 768);
        window = ui_create_dialog(&template_runner, 0, no_proc);
        ui_move_window(window, 0, 0, 800, 700, false);
    }
    void TearDown() override
    {
        backdrop_release(&picture);
        sandbox_remove(box);
    }
    bool load(const std::string &bytes)
    {
        write_file(box.cd / "p.bmp", bytes);
        backdrop_release(&picture);
        return backdrop_load("E:\\p.bmp", &picture, window);
    }
};

TEST_F(Backdrop, SizesOfTheUsualPicture)
{
    ASSERT_TRUE(load(make_bmp(480, 360, 0)));
    EXPECT_EQ(picture.colour_count, 256);
    EXPECT_EQ(picture.palette_bytes, 1024);
    EXPECT_EQ(picture.pixel_bytes, 172800);
    EXPECT_EQ(picture.image_bytes, 173864);
    EXPECT_EQ(picture.width, 480);
    EXPECT_EQ(picture.height, 360);
    EXPECT_EQ(picture.colour_table, picture.image + 40);
    EXPECT_EQ(picture.pixels, picture.image + 40 + 1024);
    EXPECT_NE(picture.palette, 0u);
    EXPECT_NE(picture.bitmap, 0u);
}

TEST_F(Backdrop, SixteenColoursUsedReadsSixteenEntries)
{
    ASSERT_TRUE(load(make_bmp(8, 2, 16)));
    EXPECT_EQ(picture.colour_count, 16);
    EXPECT_EQ(picture.palette_bytes, 64);
    // The first pixel row in the file (the bottom row, y = 1) follows the 64 bytes directly.
    EXPECT_EQ(picture.pixels[0], 3);
    EXPECT_EQ(picture.pixels[1], 4);
}

TEST_F(Backdrop, OddWidthRowsArePadded)
{
    ASSERT_TRUE(load(make_bmp(481, 2, 0)));
    EXPECT_EQ(picture.pixel_bytes, 484 * 2);
    EXPECT_EQ(picture.pixels[484], 0); // row y = 0 starts 484 bytes in
    EXPECT_EQ(picture.pixels[485], 1);
}

TEST_F(Backdrop, LargerPictureIsPaintedAtItsOwnSize)
{
    ASSERT_TRUE(load(make_bmp(700, 500, 0)));
    UiDc dc = ui_begin_paint(window);
    backdrop_paint(dc, &picture, 0, 80);
    ui_end_paint(window, dc);
    const HeadlessWindow *w = headless_window(window);
    ASSERT_GT(w->client_height, 80 + 500);
    ASSERT_GT(w->client_width, 700);
    auto at = [&](int32_t x, int32_t y) {
        return w->canvas[static_cast<size_t>(y) * w->client_width + x];
    };
    uint32_t index = (699 + 3 * 499) % 256;
    EXPECT_EQ(at(699, 80 + 499), index << 16 | (255 - index) << 8 | index / 2);
    EXPECT_EQ(at(700, 80 + 499), 0xC0C0C0u);
    EXPECT_EQ(at(699, 80 + 500), 0xC0C0C0u);
}

TEST_F(Backdrop, MalformedFilesFailCleanly)
{
    std::string ba = make_bmp(4, 4, 0);
    ba[1] = 'A';
    EXPECT_FALSE(load(ba));
    EXPECT_EQ(picture.palette, 0u);
    EXPECT_EQ(picture.image, nullptr);

    EXPECT_FALSE(load(make_bmp(4, 4, 0).substr(0, 53)));        // headers cut short
    EXPECT_FALSE(load(make_bmp(4, 4, 0).substr(0, 54 + 1000))); // colour table cut short
    std::string cut = make_bmp(64, 64, 0);
    EXPECT_FALSE(load(cut.substr(0, cut.size() - 1))); // last pixel missing
    EXPECT_FALSE(load(make_bmp(4, -4, 0, 8, 256)));    // top-down
    EXPECT_FALSE(load(make_bmp(0, 4, 0, 8, 256)));
    EXPECT_FALSE(load(make_bmp(4, 4, 0, 24, 0))); // 1 << 24 colours: more than a palette holds
    EXPECT_FALSE(load(make_bmp(4, 4, 257, 8, 0)));
    EXPECT_FALSE(load(make_bmp(4, 4, 0, 0x120, 0)));   // low byte 0x20: a shift past 32 bits
    EXPECT_FALSE(load(make_bmp(4, 4, 0, 0x108, 256))); // low byte 8, but not 8 bits

    // Header sizes that would overflow 32 bits or exceed the file.
    auto with = [](std::string b, size_t at, uint32_t v) {
        const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                               static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
        return b.replace(at, 4, bytes, 4);
    };
    std::string good = make_bmp(4, 4, 0);
    EXPECT_FALSE(load(with(good, 18, 0x7FFFFFFF)));
    EXPECT_FALSE(load(with(good, 22, 0x7FFFFFFF)));
    EXPECT_FALSE(load(with(with(good, 18, 0x10000), 22, 0x10000)));
    EXPECT_FALSE(load(with(good, 46, 0xFFFFFFFF)));
    EXPECT_FALSE(load(with(good, 46, 0x40000001)));
    EXPECT_TRUE(load(good));
    EXPECT_EQ(picture.pixel_bytes, 16);
}

TEST_F(Backdrop, CompressedPicturesAndOtherDepthsAreRefused)
{
    // A 24-bit picture with colours used set: its pixels taken as 8-bit indices were garbage.
    EXPECT_FALSE(load(make_bmp(4, 4, 256, 24, 256) + std::string(64, '\0')));
    EXPECT_FALSE(load(make_bmp(8, 2, 16, 4, 16)));
    EXPECT_FALSE(load(make_bmp(8, 2, 2, 1, 2)));
    // The same 8-bit picture, marked run-length packed (RLE8, then RLE4 and bit fields).
    for (uint32_t compression : {1u, 2u, 3u}) {
        std::string packed = make_bmp(4, 4, 0);
        packed[30] = static_cast<char>(compression);
        EXPECT_FALSE(load(packed)) << compression;
        EXPECT_EQ(picture.image, nullptr);
    }
    EXPECT_TRUE(load(make_bmp(4, 4, 0)));
}

TEST_F(Backdrop, PictureOverTheSizeLimitIsRefusedBeforeItIsRead)
{
    // 8200 x 8200 fits in 32 bits but not in the 64 MB the menu reads of a picture.
    std::string header = make_bmp(4, 4, 0);
    header.resize(54 + 1024);
    for (int at : {18, 22}) {
        header[at] = static_cast<char>(8200 & 0xFF);
        header[at + 1] = static_cast<char>(8200 >> 8);
    }
    PictureRecord sizes = {};
    EXPECT_FALSE(backdrop_measure(reinterpret_cast<const uint8_t *>(header.data()),
                                  int64_t{1} << 30, &sizes));
    header[18] = header[22] = static_cast<char>(8000 & 0xFF);
    header[19] = header[23] = static_cast<char>(8000 >> 8);
    EXPECT_TRUE(backdrop_measure(reinterpret_cast<const uint8_t *>(header.data()), int64_t{1} << 30,
                                 &sizes));
}

TEST_F(Backdrop, TrailingBytesAndFewColoursStillLoad)
{
    EXPECT_TRUE(load(make_bmp(4, 4, 0) + std::string(100, '\x7f')));
    EXPECT_TRUE(load(make_bmp(4, 4, 1)));
    EXPECT_EQ(picture.colour_count, 1);
}

#ifdef DEMOCD_ART
TEST_F(Backdrop, TheDemoCdsOwnPictureIsADuskSkyOverGreenGroundWithAGoldTitle)
{
    std::string out = (box.root / "art.txt").string();
    ASSERT_EQ(
        cli_wait_exit(
            cli_start({DEMOCD_ART, "background", (box.cd / "loading.bmp").string()}, {}, out), 60),
        0)
        << cli_read_text(out);
    ASSERT_TRUE(backdrop_load("E:\\loading.bmp", &picture, window));
    UiDc dc = ui_begin_paint(window);
    backdrop_paint(dc, &picture, 0, 0);
    ui_end_paint(window, dc);
    const HeadlessWindow *w = headless_window(window);
    ASSERT_GE(w->client_width, 480);
    ASSERT_GE(w->client_height, 360);
    // Sums of red, green and blue over rows [from, to), and the brightest pixel.
    auto sums = [&](int32_t from, int32_t to) {
        std::array<double, 3> s = {0, 0, 0};
        for (int32_t y = from; y < to; y++)
            for (int32_t x = 0; x < 480; x++)
                for (int32_t a = 0; a < 3; a++)
                    s[a] +=
                        w->canvas[static_cast<size_t>(y) * w->client_width + x] >> (16 - 8 * a) &
                        0xFF;
        return s;
    };
    std::array<double, 3> sky = sums(0, 20), ground = sums(340, 360);
    EXPECT_GT(sky[2], sky[0]);
    EXPECT_GT(sky[2], sky[1]);
    EXPECT_GT(ground[1], ground[0]);
    EXPECT_GT(ground[1], ground[2]);
    uint32_t brightest = 0;
    for (int32_t y = 0; y < 360; y++)
        for (int32_t x = 0; x < 480; x++) {
            uint32_t c = w->canvas[static_cast<size_t>(y) * w->client_width + x];
            if ((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF) >
                (brightest >> 16 & 0xFF) + (brightest >> 8 & 0xFF) + (brightest & 0xFF))
                brightest = c;
        }
    EXPECT_GE(brightest >> 16 & 0xFF, brightest >> 8 & 0xFF) << std::hex << brightest;
    EXPECT_GT(brightest >> 8 & 0xFF, (brightest & 0xFF) + 100) << std::hex << brightest;
}
#endif

// Pictures with a larger info header (108 or 124 bytes, as many tools write them) and pixels
// that begin further on than right after the colour table: the same picture as the plain file,
// colour for colour and pixel for pixel. Offsets that overlap or leave the file are refused.
TEST_F(Backdrop, LargerInfoHeadersAndPixelOffsetsAreHonoured)
{
    auto put32 = [](std::string *b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            (*b)[at + i] = static_cast<char>(v >> (8 * i));
    };
    const std::string plain = make_bmp(9, 3, 0);
    auto variant = [&](uint32_t info_bytes, uint32_t gap) {
        std::string b = plain;
        b.insert(54, std::string(info_bytes - 40, '\x5a'));
        b.insert(54 + (info_bytes - 40) + 1024, std::string(gap, '\x66'));
        put32(&b, 14, info_bytes);
        put32(&b, 10, 14 + info_bytes + 1024 + gap);
        put32(&b, 2, static_cast<uint32_t>(b.size()));
        return b;
    };
    ASSERT_TRUE(load(plain));
    std::string want(reinterpret_cast<const char *>(picture.image),
                     static_cast<size_t>(picture.image_bytes));
    for (auto [info_bytes, gap] :
         {std::pair<uint32_t, uint32_t>{124, 0}, {108, 0}, {40, 6}, {124, 3}}) {
        ASSERT_TRUE(load(variant(info_bytes, gap))) << info_bytes << " " << gap;
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(picture.image),
                              static_cast<size_t>(picture.image_bytes)),
                  want)
            << info_bytes << " " << gap;
    }
    std::string v5 = variant(124, 0);
    std::string overlapping = v5, beyond = v5, core = plain, huge = v5, zero = plain;
    put32(&overlapping, 10, 14 + 124 + 1020); // pixels inside the colour table
    put32(&beyond, 10, static_cast<uint32_t>(v5.size()) - 26);
    put32(&core, 14, 12); // the old 12-byte header has 16-bit sizes: not ours to read
    put32(&huge, 14, 0xFFFFFFF0u);
    put32(&zero, 10, 0); // no offset: the pixels follow the colour table
    for (const std::string *refused : {&overlapping, &beyond, &core, &huge}) {
        EXPECT_FALSE(load(*refused));
        EXPECT_EQ(picture.image, nullptr);
    }
    ASSERT_TRUE(load(zero));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(picture.image),
                          static_cast<size_t>(picture.image_bytes)),
              want);
}

TEST(BackdropMeasure, NeedsOnlyTheHeaders)
{
    std::string b = make_bmp(480, 360, 0);
    PictureRecord sizes = {};
    EXPECT_TRUE(backdrop_measure(reinterpret_cast<const uint8_t *>(b.data()),
                                 static_cast<int64_t>(b.size()), &sizes));
    EXPECT_EQ(sizes.image_bytes, 173864);
    EXPECT_FALSE(backdrop_measure(reinterpret_cast<const uint8_t *>(b.data()),
                                  static_cast<int64_t>(b.size()) - 1, &sizes));
    // More colours than a palette holds, with the whole colour table in the file.
    for (uint32_t colours : {257u, 1000u}) {
        b = make_bmp(4, 4, colours);
        EXPECT_FALSE(backdrop_measure(reinterpret_cast<const uint8_t *>(b.data()),
                                      static_cast<int64_t>(b.size()), &sizes))
            << colours;
    }
}

TEST(ProgramIcon, TheSixteenAndTheTwoHundredFiftySixColourImagesShowTheSameDisc)
{
    // Displays of more than 16 colours show the second image: the same disc, only shaded finer.
    const UiIconImage &few = icon_program_images[0], &many = icon_program_images[1];
    EXPECT_EQ(few.colour_count, 16);
    EXPECT_EQ(many.colour_count, 256);
    for (const UiIconImage *image : {&few, &many}) {
        ASSERT_EQ(image->width, 32);
        ASSERT_EQ(image->height, 32);
    }
    int32_t visible = 0;
    for (int32_t i = 0; i < 32 * 32; i++) {
        ASSERT_LT(few.pixels[i], few.colour_count) << i;
        ASSERT_LT(many.pixels[i], many.colour_count) << i;
        EXPECT_EQ(few.transparent[i], many.transparent[i]) << i;
        if (few.transparent[i]) continue;
        visible++;
        const uint8_t *a = few.palette + 3 * few.pixels[i], *b = many.palette + 3 * many.pixels[i];
        int32_t distance = std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
        EXPECT_LE(distance, 240) << "pixel " << i % 32 << ", " << i / 32;
    }
    EXPECT_GT(visible, 32 * 32 / 2);
}

} // namespace
