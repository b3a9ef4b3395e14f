// The sound module's operations on the virtual device, and its error codes.
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/headless/headless.h"
#include "player/window.h"
#include "present/owner.h"
#include "present/sound.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{

class Sound : public testing::Test
{
  protected:
    void SetUp() override
    {
        HeadlessConfig c = headless_defaults();
        c.clock_speed = 20.0;
        c.quiet_boxes = 1;
        headless_reset(&c);
        player_window_reset();
        ASSERT_NE(player_window_create(), nullptr);
        ASSERT_EQ(sound_init(), 1);
    }
    void TearDown() override
    {
        sound_release_buffer();
        sound_shutdown();
        EXPECT_EQ(headless_audio_devices(), 0);
        headless_reset(nullptr);
    }
    static void wait_ms(uint32_t ms)
    {
        uint32_t start = timeGetTime();
        while (timeGetTime() - start < ms)
            Sleep(1);
    }
};

TEST_F(Sound, WritesGoToTheirOffsetAndArePlayedInOrder)
{
    ASSERT_EQ(sound_create_buffer(1000), 1);
    std::vector<uint8_t> a(500, 0x11), b(500, 0x22);
    sound_write(b.data(), 500, 500);
    sound_write(a.data(), 0, 500);
    sound_write(a.data(), 990, 500); // cut at the buffer's end
    sound_play(2);                   // not exactly 1: plays once
    wait_ms(100);                    // 2205 bytes' time: the buffer ended
    EXPECT_EQ(sound_play_position(), 0u);
    std::vector<uint8_t> played = headless_played();
    ASSERT_EQ(played.size(), 1000u);
    EXPECT_EQ(played[0], 0x11);
    EXPECT_EQ(played[499], 0x11);
    EXPECT_EQ(played[500], 0x22);
    EXPECT_EQ(played[989], 0x22);
    EXPECT_EQ(played[990], 0x11);
}

TEST_F(Sound, PlayStartsOnlyAtCursorZeroAndStopOnlyAwayFromIt)
{
    ASSERT_EQ(sound_create_buffer(14112), 1);
    sound_stop(); // cursor 0: not even tried
    EXPECT_EQ(headless_calls(HC_AUDIO_STOP), 0);
    sound_play(1);
    wait_ms(50);
    sound_stop();
    EXPECT_EQ(headless_calls(HC_AUDIO_STOP), 1);
    uint32_t stopped_at = sound_play_position();
    EXPECT_GT(stopped_at, 0u);
    sound_play(1); // a buffer that has played is not restarted
    EXPECT_EQ(headless_calls(HC_AUDIO_PLAY), 1);
    wait_ms(50);
    EXPECT_EQ(sound_play_position(), stopped_at);
}

TEST_F(Sound, LoopingWrapsAtTheEnd)
{
    ASSERT_EQ(sound_create_buffer(441), 1); // 20 ms
    sound_play(1);
    wait_ms(70);
    EXPECT_GT(headless_played().size(), 3u * 441);
    sound_stop();
}

TEST_F(Sound, WithoutABufferEveryOperationIsIgnored)
{
    EXPECT_EQ(sound_create_buffer(0), 0);
    EXPECT_EQ(sound_create_buffer(-1), 0);
    uint8_t byte = 0;
    sound_write(&byte, 0, 1);
    sound_play(1);
    EXPECT_EQ(sound_play_position(), 0u);
    sound_stop();
    EXPECT_EQ(headless_audio_buffers(), 0);
    EXPECT_EQ(headless_calls(HC_AUDIO_LOCK), 0);
    EXPECT_EQ(headless_calls(HC_AUDIO_PLAY), 0);
    // A released buffer is gone for them too.
    ASSERT_EQ(sound_create_buffer(100), 1);
    sound_release_buffer();
    sound_play(1);
    EXPECT_EQ(headless_calls(HC_AUDIO_PLAY), 0);
}

// Below the player, with no window handed over: a failure still ends the process with its box.
TEST(SoundWithoutOwner, AFailureEndsWithTheBoxOfNoWindow)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    HeadlessConfig c = headless_defaults();
    headless_reset(&c);
    EXPECT_EXIT(
        {
            owner_set(nullptr);
            headless_fail(HC_AUDIO_CREATE, DSERR_NODRIVER, 1, 1);
            sound_init();
        },
        testing::ExitedWithCode(0), "\\[Fatal Error occured\\] SoundErrorA: 4\n");
    headless_reset(nullptr);
}

__attribute__((format(printf, 1, 0))) void report_and_return(const char *format, va_list args)
{
    char text[200];
    vsnprintf(text, sizeof text, format, args);
}

// An owner whose report formats the message and returns: the box of no window that follows
// still gets the whole message, not what is left of an argument list already walked.
TEST(SoundWithoutOwner, AReportThatReturnsLeavesTheArgumentsWhole)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    HeadlessConfig c = headless_defaults();
    headless_reset(&c);
    static const PresentOwner returning = {[] { return static_cast<Window *>(nullptr); }, [] {},
                                           [] {}, report_and_return, [] {}};
    EXPECT_EXIT(
        {
            owner_set(&returning);
            owner_fatal("%s: %d %s", "SoundErrorB", 7, "(after the report)");
        },
        testing::ExitedWithCode(0),
        "\\[Fatal Error occured\\] SoundErrorB: 7 \\(after the report\\)\n");
    owner_set(nullptr);
    headless_reset(nullptr);
}

TEST(SoundCodes, FollowTheOrderOfEachCallsResults)
{
    EXPECT_EQ(sound_create_code(DSERR_ALLOCATED), 1);
    EXPECT_EQ(sound_create_code(DSERR_OUTOFMEMORY), 5);
    EXPECT_EQ(sound_create_code(DSERR_BADFORMAT), 255);
    EXPECT_EQ(sound_buffer_code(DSERR_UNINITIALIZED), 6);
    EXPECT_EQ(sound_buffer_code(DSERR_GENERIC), 255);
    EXPECT_EQ(sound_caps_code(DSERR_INVALIDPARAM), 2);
    EXPECT_EQ(sound_cooperative_code(DSERR_UNINITIALIZED), 3);
    EXPECT_EQ(sound_lock_code(DSERR_INVALIDPARAM), 3);
    EXPECT_EQ(sound_lock_code(DSERR_NODRIVER), 5);
    EXPECT_EQ(sound_unlock_code(DSERR_PRIOLEVELNEEDED), 4);
    EXPECT_EQ(sound_unlock_code(DSERR_NODRIVER), 255);
}

} // namespace
