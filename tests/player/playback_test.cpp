// Whole movies on the headless backend, on a fast clock: what is shown, in which order, what is
// heard, and how Escape, other keys, closing and switching away act.
#include "movie/movie.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/headless/headless.h"
#include "platform/screen.h"
#include "player/player.h"
#include "present/display.h"
#include "present/sound.h"
#include "tests/player/movies.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

HeadlessConfig fast_config()
{
    HeadlessConfig c = headless_defaults();
    c.clock_speed = movie_test_clock_speed();
    c.quiet_boxes = 1;
    // Whatever else the machine runs, the player's threads keep pace with the clock.
    c.lockstep = 1;
    return c;
}

std::vector<ShownPicture> shown(const std::vector<int32_t> &bases)
{
    std::vector<ShownPicture> out;
    std::vector<HeadlessPresent> presents = headless_presents();
    // The first present is the clear after set-up.
    for (size_t i = 1; i < presents.size(); i++) {
        out.push_back(movie_identify(presents[i].first_pixel, 1, bases, 40));
        out.back().play_cursor = presents[i].play_cursor;
    }
    return out;
}

// The pictures a whole run of a movie of n records shows, as (record, b); each picture B once
// the sound has moved on into the next slot's quarter, not before.
void expect_run(const std::vector<ShownPicture> &s, size_t &at, int32_t base, int32_t n)
{
    for (int32_t i = 0; i <= n - 2 && at < s.size(); i++)
        for (int32_t b = 0; b < (i == n - 2 ? 1 : 2) && at < s.size(); b++, at++) {
            EXPECT_EQ(s[at].base, base) << "picture " << at;
            EXPECT_EQ(s[at].record, i) << "picture " << at;
            EXPECT_EQ(s[at].b, b) << "picture " << at;
            if (b == 1) {
                EXPECT_NE(s[at].play_cursor / SOUND_QUARTER_BYTES, i & 3) << "picture " << at;
            }
        }
}

class Playback : public testing::Test
{
  protected:
    void SetUp() override
    {
        movie_threadsafe_death_tests();
        HeadlessConfig c = fast_config();
        headless_reset(&c);
    }
    void TearDown() override
    {
        headless_reset(nullptr);
        EXPECT_EQ(headless_threads_running(), 0);
    }
    static void escape_after(int32_t presents, uint32_t delay_ms = 0)
    {
        headless_script_key(0x1B, 27, presents, delay_ms);
    }
};

TEST_F(Playback, AMovieLongerThanItsReachPlaysAsAnyOther)
{
    // 3 GiB, sparse: the reader reaches its first 49032 records (2 h 10 min) and the player
    // plays them as it plays any movie, from the first record on.
    std::string huge = movie_write("huge.mov", 6, 0);
    ASSERT_EQ(truncate(huge.c_str(), 3LL << 30), 0);
    escape_after(1 + 7);
    EXPECT_EQ(player_main(huge.c_str()), 0);
    std::vector<ShownPicture> s = shown({0});
    ASSERT_EQ(s.size(), 7u);
    size_t at = 0;
    expect_run(s, at, 0, 6);
    unlink(huge.c_str());
}

TEST_F(Playback, MoviesOfTheListPlayInARingUntilEscape)
{
    std::string a = movie_write("ring_a.mov", 6, 0);
    std::string b = movie_write("ring_b.mov", 5, 100);
    // a shows 9 pictures, b 7, then a again: Escape after the third picture of the second turn.
    escape_after(1 + 9 + 7 + 3);
    EXPECT_EQ(player_main((a + " " + b).c_str()), 0);

    std::vector<ShownPicture> s = shown({0, 100});
    ASSERT_EQ(s.size(), 19u);
    size_t at = 0;
    expect_run(s, at, 0, 6);
    expect_run(s, at, 100, 5);
    expect_run(s, at, 0, 6);
    EXPECT_EQ(at, 19u);
    // Cleaned up: desktop back, cursor shown again, no sound left.
    HeadlessScreenState screen = headless_screen_state();
    EXPECT_TRUE(screen.desktop);
    EXPECT_EQ(screen.surfaces, 0);
    EXPECT_EQ(headless_audio_buffers(), 0);
    EXPECT_EQ(headless_audio_devices(), 0);
    EXPECT_GE(headless_cursor_count(), 0);
}

TEST_F(Playback, TwoRecordsShowOnlyTheFirstPictureA)
{
    std::string two = movie_write("two.mov", 2, 0);
    std::string three = movie_write("three.mov", 3, 100);
    escape_after(1 + 1 + 3 + 1); // the Escape comes with the fifth picture
    player_main((two + " " + three).c_str());
    std::vector<ShownPicture> s = shown({0, 100});
    ASSERT_EQ(s.size(), 5u);
    size_t at = 0;
    expect_run(s, at, 0, 2);
    expect_run(s, at, 100, 3);
    expect_run(s, at, 0, 2);
}

TEST_F(Playback, EveryRecordsSoundIsPlayedInOrderAcrossTheWrap)
{
    std::string m = movie_write("sound.mov", 12, 0);
    escape_after(1 + 19); // picture A of record 9
    player_main(m.c_str());
    std::vector<uint8_t> played = headless_played();
    std::vector<uint8_t> sound = movie_sound(0, 12);
    // Sound starts with picture A of record 0 and is cut at the end: records 0 to 8 at least
    // were heard whole, and nothing but them in order.
    ASSERT_GE(played.size(), 9u * 3528);
    ASSERT_LE(played.size(), sound.size());
    EXPECT_TRUE(std::equal(played.begin(), played.end(), sound.begin()));
}

// Where played (from at) is sound from its start, as far as it goes: the length, or 0.
size_t follows(const std::vector<uint8_t> &played, size_t at, const std::vector<uint8_t> &sound)
{
    size_t n = played.size() - at;
    return n <= sound.size() && std::equal(played.begin() + at, played.end(), sound.begin()) ? n
                                                                                             : 0;
}

TEST_F(Playback, SoundOfEachMovieOfTheRingStartsAtItsFirstRecord)
{
    std::string m = movie_write("sound_ring.mov", 5, 0);
    escape_after(1 + 7 + 3);
    player_main(m.c_str());
    std::vector<uint8_t> played = headless_played();
    std::vector<uint8_t> sound = movie_sound(0, 5);
    // First turn: records 0 to 2 whole and part of 3 (cut when picture A of 3 is shown). The
    // byte after the cut may equal record 0's first by chance: the turn ends where what
    // follows is the movie's sound from its start.
    size_t first = 0;
    while (first < played.size() && first < sound.size() && played[first] == sound[first])
        first++;
    ASSERT_GE(first, 3u * 3528);
    size_t cut = first;
    while (cut > 3u * 3528 && follows(played, cut, sound) == 0)
        cut--;
    EXPECT_LT(cut, 4u * 3528);
    EXPECT_GE(follows(played, cut, sound), 3528u) << "cut at " << cut;
}

TEST_F(Playback, AMainThreadLateAtTheEndHearsTheLastRecordUntilItStops)
{
    const int32_t n = 8;
    std::string m = movie_write("late_main.mov", n, 0);
    // Present 14 is picture A of record 6, the last of the turn: it comes 150 ms late. The last
    // record's sound is in the buffer by then and plays on until the play loop stops it.
    headless_delay_call(HC_SCREEN_UNLOCK, 14, 150);
    escape_after(14 + 3);
    player_main(m.c_str());
    std::vector<ShownPicture> s = shown({0});
    size_t at = 0;
    expect_run(s, at, 0, n);
    std::vector<uint8_t> played = headless_played();
    std::vector<uint8_t> sound = movie_sound(0, n);
    size_t same = 0;
    while (same < played.size() && same < sound.size() && played[same] == sound[same])
        same++;
    // On time it is cut half-way through record 6; here 150 ms of sound later.
    EXPECT_NEAR((double)same, 6 * 3528 + 1764 + 0.150 * 22050, 200);
    EXPECT_GE(follows(played, same, sound), 3528u) << "the next turn from its first record";
}

TEST_F(Playback, EachMovieStartsFromACleanHandOver)
{
    std::string m = movie_write("clean_start.mov", 6, 0);
    // What a movie of the ring may leave behind when its threads end at odd moments: a raised
    // picture B signal and refill request, the last slot on the screen.
    playback.second_picture.store(1);
    playback.refill_request.store(1);
    playback.display_slot.store(3);
    escape_after(1 + 9 + 2);
    player_main(m.c_str());
    std::vector<ShownPicture> s = shown({0});
    ASSERT_EQ(s.size(), 11u);
    size_t at = 0;
    expect_run(s, at, 0, 6);
    expect_run(s, at, 0, 6);
}

TEST_F(Playback, AnAudioThreadLateForQuarterOneLeavesItSilentUntilItWrites)
{
    std::string m = movie_write("late_audio.mov", 10, 0);
    // The first position query is sound_play's; the second is the thread's first pass, which
    // writes quarter 1: it comes 200 ms late, when quarter 1 has been playing for 40 ms.
    headless_delay_call(HC_AUDIO_POSITION, 2, 200);
    escape_after(1 + 9);
    player_main(m.c_str());
    std::vector<ShownPicture> s = shown({0});
    size_t at = 0;
    expect_run(s, at, 0, 10);
    EXPECT_EQ(at, 9u);
    std::vector<uint8_t> played = headless_played();
    std::vector<uint8_t> sound = movie_sound(0, 10);
    ASSERT_GE(played.size(), 4u * 3528);
    ASSERT_LE(played.size(), sound.size());
    EXPECT_TRUE(std::equal(played.begin(), played.begin() + 3528, sound.begin()));
    // Then the fresh buffer's silence, then record 1 from where it was written, not shifted.
    size_t written = 3528;
    while (written < played.size() &&
           !std::equal(played.begin() + written, played.end(), sound.begin() + written))
        written++;
    EXPECT_NEAR((double)written, 0.200 * 22050, 200);
    EXPECT_TRUE(std::all_of(played.begin() + 3528, played.begin() + written,
                            [](uint8_t v) { return v == 0x80; }));
}

TEST_F(Playback, EscapeDuringTheWaitForPictureBActsRightAfterIt)
{
    std::string m = movie_write("escape_b.mov", 10, 0);
    // After picture A of record 2 (present 5), 40 ms into the 160 ms wait for B.
    escape_after(6, 40);
    EXPECT_EQ(player_main(m.c_str()), 0);
    std::vector<ShownPicture> s = shown({0});
    ASSERT_EQ(s.size(), 6u);
    EXPECT_EQ(s.back().record, 2);
    EXPECT_EQ(s.back().b, 1);
}

TEST_F(Playback, OtherKeysAreTakenOnePerPicture)
{
    std::string m = movie_write("keys.mov", 30, 0);
    // Backspace gives two codes (its table code and its character), then a, F1, Escape: five
    // codes, taken at the key checks after presents 3 to 7 (the clear is present 1).
    headless_script_key(0x08, 8, 3, 0);
    headless_script_key('A', 'a', 3, 0);
    headless_script_key(0x70, 0, 3, 0);
    escape_after(3);
    player_main(m.c_str());
    EXPECT_EQ(headless_presents().size(), 7u);
}

TEST_F(Playback, SwitchingAwayPausesThePicturesNotTheThreads)
{
    std::string m = movie_write("switch.mov", 30, 0);
    headless_script_activate(0, 4, 10);
    headless_script_activate(1, 4, 700);
    escape_after(8);
    player_main(m.c_str());
    std::vector<HeadlessPresent> p = headless_presents();
    ASSERT_EQ(p.size(), 8u);
    // The picture after the switch waited for the return; the sound went on meanwhile.
    EXPECT_GE(p[4].time_us - p[3].time_us, 690000u);
    EXPECT_GE(headless_played().size(), (size_t)(0.7 * 22050));
    EXPECT_GE(headless_screen_state().restores, 1);
    // Still in order after the pause.
    std::vector<ShownPicture> s = shown({0});
    for (size_t i = 0; i < s.size(); i++)
        EXPECT_EQ(s[i].record * 2 + s[i].b, (int32_t)i);
}

TEST_F(Playback, EscapeInEveryPhaseOfTheRingStopsAfterThatPicture)
{
    std::string a = movie_write("phase_a.mov", 3, 0);
    std::string b = movie_write("phase_b.mov", 4, 100);
    const std::string both = a + " " + b;
    // a shows 3 pictures, b 5: pictures 1 to 12 cover both movies' starts, ends and the turn;
    // the delay puts the key now right after a picture, now into the wait for the next.
    for (int32_t k = 1; k <= 12; k++) {
        HeadlessConfig c = fast_config();
        headless_reset(&c);
        escape_after(1 + k, (uint32_t)(k % 3) * 30);
        EXPECT_EQ(player_main(both.c_str()), 0);
        size_t pictures = headless_presents().size() - 1;
        EXPECT_GE(pictures, (size_t)k) << k;
        EXPECT_LE(pictures, (size_t)k + 2) << k; // A of record 0 stays 160 ms
        EXPECT_EQ(headless_audio_buffers(), 0) << k;
        EXPECT_TRUE(headless_screen_state().desktop) << k;
    }
}

TEST_F(Playback, MoviesTooShortToPlayEndTheRingWithoutAHang)
{
    std::string empty = movie_write("empty.mov", 0, 0);
    std::string one = movie_write("one.mov", 1, 0);
    EXPECT_EQ(player_main((empty + " " + one).c_str()), 0);
    EXPECT_EQ(headless_presents().size(), 1u);         // only the clear
    EXPECT_EQ(headless_calls(HC_THREAD_START), 2 * 2); // one turn: each movie tried once
    EXPECT_TRUE(headless_screen_state().desktop);
    EXPECT_EQ(playback_abandoned, 0);
}

TEST_F(Playback, AShortMovieBetweenLongerOnesIsSkipped)
{
    std::string one = movie_write("skip_one.mov", 1, 0);
    std::string four = movie_write("skip_four.mov", 4, 100);
    escape_after(1 + 5 + 2);
    player_main((one + " " + four).c_str());
    std::vector<ShownPicture> s = shown({0, 100});
    ASSERT_EQ(s.size(), 7u);
    size_t at = 0;
    expect_run(s, at, 100, 4);
    expect_run(s, at, 100, 4);
}

TEST_F(Playback, ASlowDecodeStartStopsThePlayerAfterTheStartWait)
{
    std::string m = movie_write("slow_decode.mov", 6, 0);
    // The decode thread starts 6 s late: the start wait (4 s) runs out, the audio thread gives
    // up, the decode thread then sees the stop request after priming.
    headless_delay_thread(1, 6000);
    EXPECT_EQ(player_main(m.c_str()), 0);
    EXPECT_EQ(headless_presents().size(), 1u);
    EXPECT_EQ(playback_abandoned, 0);
    EXPECT_EQ(headless_audio_buffers(), 0);
    EXPECT_TRUE(headless_screen_state().desktop);
}

TEST_F(Playback, ASlowAudioStartStillSeesTheStopRequest)
{
    std::string m = movie_write("slow_audio.mov", 6, 0);
    // The audio thread starts after the start wait ran out and clears the stop request at its
    // start; the player raises it again until both threads have ended.
    headless_delay_thread(2, 5000);
    EXPECT_EQ(player_main(m.c_str()), 0);
    EXPECT_EQ(playback_abandoned, 0);
    // It primed and played, so it ended through the stop request, not its start time-out.
    EXPECT_EQ(playback.decode_state.load(), 2);
    EXPECT_EQ(headless_audio_buffers(), 0);
}

TEST_F(Playback, AThreadThatOutlivesItsWaitKeepsItsBuffers)
{
    std::string m = movie_write("abandoned.mov", 6, 0);
    // The decode thread starts 10 s late, after the start wait and the end's 4 s wait for it:
    // nothing it uses may be freed, and the player stops.
    headless_delay_thread(1, 10000);
    EXPECT_EQ(player_main(m.c_str()), 0);
    EXPECT_EQ(playback_abandoned, 1);
    EXPECT_NE(frame_slots[0].picture, nullptr);
    // The late thread runs to its end on what was kept.
    while (!playback.decode_finished.load())
        clock_yield();
    while (headless_threads_running() > 0)
        clock_yield();
    EXPECT_EQ(playback.decode_state.load(), 1);
    // What the player left to the process end, tidied here so the next test starts clean.
    movie_close();
    movie_free();
    sound_release_buffer();
    playback_abandoned = 0;
    player_cleanup();
    free(display_offscreen);
    display_offscreen = nullptr;
}

TEST_F(Playback, AThreadThatCannotStartEndsTheMovie)
{
    std::string m = movie_write("no_thread.mov", 6, 0);
    headless_fail(HC_THREAD_START, -1, 2, 1); // the audio thread
    EXPECT_EQ(player_main(m.c_str()), 0);
    EXPECT_EQ(headless_presents().size(), 1u);
    EXPECT_EQ(playback_abandoned, 0);
}

using PlaybackDeath = Playback;

TEST_F(PlaybackDeath, ClosingTheWindowEndsWithTheDesktopBack)
{
    std::string m = movie_write("close.mov", 30, 0);
    headless_script_close(5, 20);
    EXPECT_EXIT(player_main(m.c_str()), testing::ExitedWithCode(0),
                "process end 0, desktop back, surfaces 0");
}

TEST_F(PlaybackDeath, NoMovieThatOpens)
{
    HeadlessConfig c = fast_config();
    c.quiet_boxes = 0;
    headless_reset(&c);
    EXPECT_EXIT(player_main("/nonexistent/a.mov /nonexistent/b.mov"), testing::ExitedWithCode(0),
                "\\[Fatal Error occured\\] Could not open any video \n");
}

struct AudioFailure {
    HeadlessCall call;
    int32_t result;
    int32_t nth;
    const char *message;
};

// Stable names for the test list (the default prints the bytes, pointer included).
void PrintTo(const AudioFailure &f, std::ostream *out)
{
    *out << "call" << f.call << "_nth" << f.nth << "_" << f.message;
}

class PlaybackSoundFailure : public Playback, public testing::WithParamInterface<AudioFailure>
{
};

TEST_P(PlaybackSoundFailure, EndsWithTheMessageAndItsCode)
{
    const AudioFailure &f = GetParam();
    std::string m = movie_write("sound_fail.mov", 30, 0);
    HeadlessConfig c = fast_config();
    c.quiet_boxes = 0;
    headless_reset(&c);
    headless_fail(f.call, f.result, f.nth, 1);
    EXPECT_EXIT(player_main(m.c_str()), testing::ExitedWithCode(0),
                std::string("\\[Fatal Error occured\\] ") + f.message +
                    "\nheadless: box shown over the desktop\n(.|\n)*process end 0, desktop back");
}

// The first lock is the proof in sound_create_buffer, the ones after it are the audio thread's
// writes; position queries after the first are the audio thread's.
INSTANTIATE_TEST_SUITE_P(
    Calls, PlaybackSoundFailure,
    testing::Values(
        AudioFailure{HC_AUDIO_CREATE, DSERR_NODRIVER, 1, "SoundErrorA: 4"},
        AudioFailure{HC_AUDIO_CREATE, DSERR_GENERIC, 1, "SoundErrorA: 255"},
        AudioFailure{HC_AUDIO_CREATE_PRIMARY, DSERR_BADFORMAT, 1, "Init CreateSoundBuffer: 2"},
        AudioFailure{HC_AUDIO_CAPS, DSERR_UNINITIALIZED, 1, "GetCaps Error: 3"},
        AudioFailure{HC_AUDIO_COOPERATIVE, DSERR_UNSUPPORTED, 1, "Init: SetCooperativeLevel: 4"},
        AudioFailure{HC_AUDIO_CREATE_BUFFER, DSERR_UNSUPPORTED, 1,
                     "Class Sound: CreateSoundBuffer: 7"},
        AudioFailure{HC_AUDIO_LOCK, DSERR_PRIOLEVELNEEDED, 1, "Soundlock: 4"},
        AudioFailure{HC_AUDIO_LOCK, DSERR_GENERIC, 3, "Soundlock: 5"},
        AudioFailure{HC_AUDIO_UNLOCK, DSERR_BUFFERLOST, 1, "Cant unlock soundbuffer: 1"},
        AudioFailure{HC_AUDIO_UNLOCK, DSERR_GENERIC, 4, "Cant unlock soundbuffer: 255"},
        AudioFailure{HC_AUDIO_PLAY, DSERR_INVALIDCALL, 1, "Cant play sound: 2"},
        AudioFailure{HC_AUDIO_POSITION, DSERR_GENERIC, 5, "Cant get sound position"}));

} // namespace
