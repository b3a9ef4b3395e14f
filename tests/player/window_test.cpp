// The key queue and its table, the window procedure, the message boxes, and the start-up's
// reports when the screen cannot be set up.
#include "platform/audio.h"
#include "platform/headless/headless.h"
#include "platform/screen.h"
#include "player/player.h"
#include "player/window.h"
#include "present/display.h"
#include "tests/player/movies.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace
{

class Window_ : public testing::Test
{
  protected:
    void SetUp() override
    {
        movie_threadsafe_death_tests();
        HeadlessConfig c = headless_defaults();
        c.quiet_boxes = 1;
        c.clock_speed = movie_test_clock_speed();
        headless_reset(&c);
        window_state_reset();
        ASSERT_NE(player_window_create(), nullptr);
        player_window_proc(player_window.load(), WM_ACTIVATEAPP, 1, 0);
    }
    void TearDown() override { headless_reset(nullptr); }
};

TEST_F(Window_, ThirtyOneKeysWaitAndTheThirtySecondIsLost)
{
    for (int32_t k = 1; k <= 32; k++)
        key_push(1000 + k);
    for (int32_t k = 1; k <= 31; k++)
        EXPECT_EQ(key_try_get(), 1000 + k);
    EXPECT_EQ(key_available(), 0);
    EXPECT_EQ(key_try_get(), 0);
    // Once one is taken, the next key is queued again (the ring wraps).
    for (int32_t k = 1; k <= 40; k++) {
        key_push(k);
        EXPECT_EQ(key_get(), k);
    }
}

TEST_F(Window_, ACodeIsItsLowSixteenBitsSignExtended)
{
    key_push(0x1FFFF);
    key_push(0x18000);
    key_push(0x10000); // reads as no key at all: dropped
    key_push(5);
    EXPECT_EQ(key_get(), -1);
    EXPECT_EQ(key_get(), -32768);
    EXPECT_EQ(key_get(), 5);
    EXPECT_EQ(key_available(), 0);
}

TEST_F(Window_, KeysGiveTheirTableCodeThenTheirCharacter)
{
    headless_script_key(0x08, 8, 0, 0);   // Backspace: 300, then 8
    headless_script_key(0x1B, 27, 0, 0);  // Escape: only its character
    headless_script_key(0x7B, 0, 0, 0);   // F12
    headless_script_key(0x65, '5', 0, 0); // keypad 5
    headless_script_key(0x2F, 0, 0, 0);   // Help
    headless_script_key(0x91, 0, 0, 0);   // not in the table: nothing
    headless_script_key(0x13, 0, 0, 0);   // Pause
    int32_t expected[] = {300, 8, 27, 331, 306, '5', 400, 401};
    for (int32_t code : expected)
        EXPECT_EQ(key_get(), code);
    EXPECT_EQ(key_available(), 0);
    EXPECT_EQ(key_code_of(0x41), 0);
    EXPECT_EQ(key_code_of(0x26), 303);
    EXPECT_EQ(key_code_of(0x22), 310);
    EXPECT_EQ(key_code_of(0x2D), 311); // Insert and Delete
    EXPECT_EQ(key_code_of(0x2E), 312);
    EXPECT_EQ(key_code_of(0), 0);
    // Each key of the table has a code of its own, and none reads as Escape.
    std::set<int32_t> codes;
    for (uint32_t vk = 1; vk < 256; vk++)
        if (int32_t code = key_code_of(vk)) {
            EXPECT_TRUE(codes.insert(code).second) << vk;
            EXPECT_NE(code, 27) << vk;
        }
    EXPECT_EQ(codes.size(), 27u);
}

TEST_F(Window_, NoticeBoxCutsItsTextAndReturns)
{
    std::string long_text(1000, 'x');
    notice_box("%s", long_text.c_str());
    notice_box("Konnte den Grafikmodus nicht initialisieren (Errorcode %d/%d)", 1, 2);
    std::vector<HeadlessBox> boxes = headless_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Achtung");
    EXPECT_EQ(boxes[0].text, std::string(399, 'x'));
    EXPECT_EQ(boxes[0].flags, MB_OK);
    EXPECT_EQ(boxes[1].text, "Konnte den Grafikmodus nicht initialisieren (Errorcode 1/2)");
}

TEST_F(Window_, FatalBoxCutsItsTextAndEndsTheProcess)
{
    std::string long_text(300, 'y');
    HeadlessConfig c = headless_defaults();
    headless_reset(&c);
    window_state_reset();
    player_window_create();
    EXPECT_EXIT(fatal_error_box("%s", long_text.c_str()), testing::ExitedWithCode(0),
                "\\[Fatal Error occured\\] y{199}\n");
}

TEST_F(Window_, WhileInactiveThePictureWaitsAndTheSurfaceIsRestored)
{
    player_window_proc(player_window.load(), WM_ACTIVATEAPP, 0, 0);
    // Scripted times count from the clock's start: the activation comes 100 ms from now.
    uint64_t before = headless_now_us();
    headless_script_activate(1, 0, static_cast<uint32_t>(before / 1000 + 100));
    wait_while_inactive();
    EXPECT_GE(headless_now_us() - before, 99000u);
}

class StartUp : public testing::Test
{
  protected:
    void SetUp() override
    {
        HeadlessConfig c = headless_defaults();
        c.quiet_boxes = 1;
        c.clock_speed = movie_test_clock_speed();
        headless_reset(&c);
        movie = movie_write("startup.mov", 4, 0);
    }
    void TearDown() override { headless_reset(nullptr); }
    std::string movie;
};

TEST_F(StartUp, BothModesFailingGiveTheNoticeWithBothCodes)
{
    headless_fail(HC_SCREEN_SET_MODE, DDERR_UNSUPPORTEDMODE, 1, 1);
    headless_fail(HC_SCREEN_CREATE_PRIMARY, DDERR_OUTOFVIDEOMEMORY, 1, 1);
    EXPECT_EQ(player_main(movie.c_str()), 0);
    std::vector<HeadlessBox> boxes = headless_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Achtung");
    EXPECT_EQ(boxes[0].text, "Konnte den Grafikmodus nicht initialisieren (Errorcode 400/115)");
    EXPECT_EQ(headless_window_visible(), 0);
    EXPECT_EQ(player_window.load(), nullptr);
    EXPECT_EQ(headless_threads_running(), 0);
}

TEST_F(StartUp, AnOddRedMaskFailsBothModes)
{
    HeadlessConfig c = headless_defaults();
    c.quiet_boxes = 1;
    c.red_mask = 0x00FF;
    headless_reset(&c);
    player_main(movie.c_str());
    std::vector<HeadlessBox> boxes = headless_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Konnte den Grafikmodus nicht initialisieren (Errorcode 300/300)");
}

TEST_F(StartUp, TheFirstModeFailingFallsBackTo640x480)
{
    headless_fail(HC_SCREEN_SET_MODE, DDERR_UNSUPPORTEDMODE, 1, 1);
    headless_script_key(0x1B, 27, 2, 0);
    EXPECT_EQ(player_main(movie.c_str()), 0);
    EXPECT_TRUE(headless_boxes().empty());
    EXPECT_EQ(headless_presents().size(), 2u);
    EXPECT_EQ(headless_calls(HC_SCREEN_SET_MODE), 2);
    // Picture A of record 0, one flat colour, stretched over the whole screen on every other
    // line (the lines between stay as the clear left them); the device of the failed attempt
    // was given up.
    HeadlessScreenState screen = headless_screen_state();
    EXPECT_EQ(screen.width, 640);
    EXPECT_EQ(screen.height, 480);
    EXPECT_EQ(screen.devices, 0);
    std::vector<uint8_t> pixels = headless_screen_pixels();
    ASSERT_EQ(pixels.size(), (size_t)screen.pitch * 480);
    uint16_t first = (uint16_t)(pixels[0] | pixels[1] << 8);
    EXPECT_EQ(movie_identify(first, 1, {0}, 4).record, 0);
    size_t other = 0;
    for (int32_t y = 0; y < 480; y++)
        for (int32_t x = 0; x < 640; x++) {
            const uint8_t *p = &pixels[(size_t)y * screen.pitch + 2 * x];
            other += (uint16_t)(p[0] | p[1] << 8) != (y % 2 ? 0 : first);
        }
    EXPECT_EQ(other, 0u);
}

TEST_F(StartUp, NoWindowEndsAtOnceWithoutAMessage)
{
    headless_fail(HC_WINDOW_CREATE, -1, 1, 1);
    EXPECT_EQ(player_main(movie.c_str()), 0);
    EXPECT_TRUE(headless_boxes().empty());
    EXPECT_EQ(headless_calls(HC_AUDIO_CREATE), 0);
}

} // namespace
