// The screens present_picture leaves, against a reference written from the definition of the
// two modes (component arithmetic, not the display's masks), and the display's set-up codes.
#include "platform/headless/headless.h"
#include "platform/screen.h"
#include "player/window.h"
#include "present/display.h"
#include "tests/present/reference_screen.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace
{

uint8_t offscreen[DISPLAY_OFFSCREEN_BYTES];
uint32_t colour_table[256];

class Display : public testing::Test
{
  protected:
    void start(uint32_t red, uint32_t green, int32_t pitch_extra)
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        HeadlessConfig c = headless_defaults();
        c.red_mask = red;
        c.green_mask = green;
        c.pitch_extra = pitch_extra;
        c.quiet_boxes = 1;
        headless_reset(&c);
        player_window_reset();
        ASSERT_NE(player_window_create(), nullptr);
        window_show(player_window.load());
        display_offscreen = offscreen;
        memset(colour_table, 0, sizeof colour_table);
        display_colour_table = colour_table;
    }
    void TearDown() override
    {
        display_shutdown();
        headless_reset(nullptr);
    }
};

struct ScreenCase {
    bool rgb565;
    bool stretched;
    int32_t pitch_extra;
};

// Stable names for the test list (the default prints the bytes, padding included).
void PrintTo(const ScreenCase &k, std::ostream *out)
{
    *out << (k.rgb565 ? "565_" : "555_") << (k.stretched ? "640x480" : "320x200") << "_pitch+"
         << k.pitch_extra;
}

class DisplayScreen : public Display, public testing::WithParamInterface<ScreenCase>
{
};

TEST_P(DisplayScreen, EqualsTheReference)
{
    const ScreenCase &k = GetParam();
    start(k.rgb565 ? 0xF800 : 0x7C00, k.rgb565 ? 0x07E0 : 0x03E0, k.pitch_extra);
    int32_t width = k.stretched ? 640 : 320, height = k.stretched ? 480 : 200;
    display_set_mode(width, height, 2);
    ASSERT_EQ(display_init(), 0);
    display_set_target(display_offscreen);
    display_clear();

    std::mt19937 random(k.rgb565 * 2 + k.stretched);
    std::vector<uint8_t> picture(64000), palette(744);
    for (int round = 0; round < 2; round++) {
        for (uint8_t &p : picture)
            p = (uint8_t)random();
        for (uint8_t &c : palette)
            c = (uint8_t)(random() % 64);
        present_picture(picture.data(), palette.data());
    }
    EXPECT_EQ(screen_desc.lock_depth, 0);
    EXPECT_EQ(screen_desc.pixels, display_offscreen);

    std::vector<uint16_t> expected =
        reference_screen(picture.data(), palette.data(), k.rgb565, k.stretched);
    std::vector<uint8_t> surface = headless_screen_pixels();
    int32_t pitch = width * 2 + k.pitch_extra;
    ASSERT_EQ(surface.size(), (size_t)pitch * height);
    int32_t wrong = 0;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width && wrong < 10; x++) {
            const uint8_t *p = surface.data() + (size_t)y * pitch + 2 * x;
            uint16_t got = (uint16_t)(p[0] | p[1] << 8);
            if (got != expected[y * width + x]) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " not "
                              << expected[y * width + x];
                wrong++;
            }
        }
        // The bytes of a line beyond its pixels are not the screen's: left alone.
        for (int32_t b = width * 2; b < pitch; b++)
            ASSERT_EQ(surface[(size_t)y * pitch + b], 0xA5) << "line " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DisplayScreen,
                         testing::Values(ScreenCase{true, false, 0}, ScreenCase{false, false, 0},
                                         ScreenCase{true, false, 96}, ScreenCase{false, false, 6},
                                         ScreenCase{true, true, 0}, ScreenCase{false, true, 0},
                                         ScreenCase{true, true, 256}, ScreenCase{false, true, 2}));

TEST(DisplayColours, TableEntriesFromThePalette)
{
    uint8_t palette[744] = {};
    palette[0] = palette[1] = palette[2] = 63; // index 1
    palette[4] = 1;                            // index 2: green 1
    palette[3 * 247] = 62;                     // index 248: red 31
    uint32_t table[256] = {};
    display_build_colour_table(table, palette, 1);
    EXPECT_EQ(table[1], 0xFFFFFFFFu);
    EXPECT_EQ(table[2], 0x00200020u);
    EXPECT_EQ(table[248], 0xF800F800u);
    EXPECT_EQ(table[0], 0u);
    for (int i = 249; i < 256; i++)
        EXPECT_EQ(table[i], 0u);
    display_build_colour_table(table, palette, 0);
    EXPECT_EQ(table[1], 0x7FFF7FFFu);
    EXPECT_EQ(table[2], 0u);
    EXPECT_EQ(table[248], 0x7C007C00u);
}

TEST(DisplayStretch, RowsFollowFiveToSixAndBlendsKeepTheirFieldsApart)
{
    // Row r has index r + 1 (rows past 247 reuse 1); palette picks colours whose plain average
    // would carry a low bit from one field into the next.
    std::vector<uint8_t> picture(64000);
    for (int r = 0; r < 200; r++)
        memset(&picture[r * 320], 1 + r % 2, 320);
    uint8_t palette[744] = {};
    palette[3 + 1] = 1; // index 2: green 1, red 0, blue 0
    palette[0] = 2;     // index 1: red 1
    std::vector<uint8_t> screen(480 * 1280, 0);
    uint32_t table[256] = {};
    display_build_colour_table(table, palette, 1);
    display_stretch_picture(screen.data(), 1280, 480, picture.data(), table, 1);
    auto at = [&](int line) {
        return (uint16_t)(screen[line * 1280] | screen[line * 1280 + 1] << 8);
    };
    EXPECT_EQ(at(0), 0x0800);   // row 0
    EXPECT_EQ(at(2), 0x0800);   // row 0 again
    EXPECT_EQ(at(4), 0x0020);   // row 1
    EXPECT_EQ(at(10), 0x0800);  // row 4
    EXPECT_EQ(at(12), 0x0000);  // (red 1 + red 0) / 2, (green 0 + green 1) / 2: both 0
    EXPECT_EQ(at(14), 0x0020);  // row 5
    EXPECT_EQ(at(478), 0x0020); // row 199
    for (int line = 1; line < 480; line += 2)
        ASSERT_EQ(at(line), 0) << line;
}

struct InitCase {
    HeadlessCall call;
    int32_t result;
    int32_t code;
};

void PrintTo(const InitCase &k, std::ostream *out)
{
    *out << "call" << k.call << "_gives_" << k.code;
}

class DisplayInit : public Display, public testing::WithParamInterface<InitCase>
{
};

TEST_P(DisplayInit, AFailedStepGivesItsCode)
{
    start(0xF800, 0x07E0, 0);
    headless_fail(GetParam().call, GetParam().result, 1, 1);
    display_set_mode(320, 200, 2);
    EXPECT_EQ(display_init(), GetParam().code);
    HeadlessScreenState s = headless_screen_state();
    EXPECT_EQ(s.devices, 0);
    EXPECT_EQ(s.surfaces, 0);
    // The next attempt starts afresh.
    EXPECT_EQ(display_init(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DisplayInit,
    testing::Values(InitCase{HC_SCREEN_CREATE, DDERR_GENERIC, 1000},
                    InitCase{HC_SCREEN_COOPERATIVE, DDERR_INVALIDPARAMS, 1000},
                    InitCase{HC_SCREEN_SET_MODE, DDERR_UNSUPPORTEDMODE, 400},
                    InitCase{HC_SCREEN_CREATE_PRIMARY, DDERR_INCOMPATIBLEPRIMARY, 101},
                    InitCase{HC_SCREEN_CREATE_PRIMARY, DDERR_NOEXCLUSIVEMODE, 110},
                    InitCase{HC_SCREEN_CREATE_PRIMARY, DDERR_UNSUPPORTEDMODE, 117},
                    InitCase{HC_SCREEN_CREATE_PRIMARY, DDERR_GENERIC, 355},
                    InitCase{HC_SCREEN_PIXEL_FORMAT, DDERR_INVALIDOBJECT, 201},
                    InitCase{HC_SCREEN_PIXEL_FORMAT, DDERR_INVALIDPARAMS, 202},
                    InitCase{HC_SCREEN_PIXEL_FORMAT, DDERR_INVALIDSURFACETYPE, 203},
                    InitCase{HC_SCREEN_PIXEL_FORMAT, DDERR_OUTOFMEMORY, 455}));

TEST_F(Display, OtherRedMasksGive300)
{
    start(0x001F, 0x07E0, 0);
    display_set_mode(320, 200, 2);
    EXPECT_EQ(display_init(), 300);
}

TEST_F(Display, LocksNestAndTheTargetGoesBackToTheBuffer)
{
    start(0xF800, 0x07E0, 0);
    display_set_mode(320, 200, 2);
    ASSERT_EQ(display_init(), 0);
    display_set_target(display_offscreen);
    display_lock();
    uint8_t *surface = screen_desc.pixels;
    EXPECT_NE(surface, display_offscreen);
    display_lock();
    EXPECT_EQ(screen_desc.lock_depth, 2);
    EXPECT_EQ(screen_desc.pixels, surface);
    display_end_lock();
    EXPECT_EQ(screen_desc.lock_depth, 0);
    EXPECT_EQ(headless_presents().size(), 1u);
    display_end_lock(); // not locked: nothing
    EXPECT_EQ(headless_presents().size(), 1u);
    display_lock();
    display_lock();
    display_end_lock();
    EXPECT_EQ(screen_desc.lock_depth, 0);
    EXPECT_EQ(headless_presents().size(), 2u);
}

TEST_F(Display, AFailedLockIsRetriedAfterARestore)
{
    start(0xF800, 0x07E0, 0);
    display_set_mode(320, 200, 2);
    ASSERT_EQ(display_init(), 0);
    headless_fail(HC_SCREEN_LOCK, DDERR_SURFACELOST, 1, 3);
    display_lock();
    EXPECT_NE(screen_desc.pixels, nullptr);
    EXPECT_EQ(headless_calls(HC_SCREEN_LOCK), 4);
    EXPECT_EQ(headless_screen_state().restores, 3);
    display_end_lock();
}

TEST_F(Display, ShutdownGivesTheDesktopBackOnceAndToleratesRepeats)
{
    start(0xF800, 0x07E0, 0);
    display_shutdown(); // before any set-up
    display_set_mode(640, 480, 2);
    ASSERT_EQ(display_init(), 0);
    EXPECT_FALSE(headless_screen_state().desktop);
    display_shutdown();
    display_shutdown();
    HeadlessScreenState s = headless_screen_state();
    EXPECT_TRUE(s.desktop);
    EXPECT_EQ(s.surfaces, 0);
    EXPECT_EQ(s.devices, 0);
    EXPECT_EQ(headless_calls(HC_SCREEN_RESTORE_DESKTOP), 1);
}

TEST_F(Display, ALockWithoutAnAddressEndsTheProgram)
{
    start(0xF800, 0x07E0, 0);
    display_set_mode(320, 200, 2);
    ASSERT_EQ(display_init(), 0);
    display_set_target(display_offscreen);
    headless_fail(HC_SCREEN_LOCK_NULL, 0, 1, 1);
    // The player's cleanup frees the table: it must be the player's own kind of allocation.
    display_colour_table = (uint32_t *)calloc(256, sizeof(uint32_t));
    std::vector<uint8_t> picture(64000, 1), palette(744, 3);
    EXPECT_EXIT(present_picture(picture.data(), palette.data()), testing::ExitedWithCode(0),
                "process end 0, desktop back");
}

} // namespace
