// The looping sound buffer, driven by a hand-moved clock: what a device hears, where the cursors
// stand, and what a lock hands out and takes back.
#include "platform/audio.h"
#include "platform/softsound.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>
#include <vector>

namespace
{

// A device whose clock moves only when the test says so, 1000 bytes a second so that one
// millisecond is one byte.
struct FakeDevice {
    uint64_t now = 0;
    std::vector<uint8_t> heard;
    uint32_t held = 0; // bytes handed out that a device with a queue has not played yet
};

uint64_t fake_clock(void *context)
{
    return static_cast<FakeDevice *>(context)->now;
}

uint32_t fake_held(void *context)
{
    return static_cast<FakeDevice *>(context)->held;
}

void fake_heard(void *context, const uint8_t *bytes, uint32_t count)
{
    auto *d = static_cast<FakeDevice *>(context);
    d->heard.insert(d->heard.end(), bytes, bytes + count);
}

struct Buffer {
    FakeDevice device;
    SoftSound *sound = nullptr;
    Buffer(uint32_t size, bool clocked, uint32_t lead = 0, bool queue = false)
    {
        SoftSoundDevice table{&device, fake_clock, clocked ? fake_heard : nullptr,
                              1000,    lead,       queue ? fake_held : nullptr};
        sound = softsound_create(&table, size);
    }
    ~Buffer() { softsound_destroy(sound); }
    void ms(uint64_t n) { device.now += n * 1000; }
    // Fills bytes [offset, offset + count) with value, through a lock.
    void fill(uint32_t offset, uint32_t count, uint8_t first, bool ramp = true)
    {
        void *p1, *p2;
        uint32_t n1, n2;
        ASSERT_EQ(softsound_lock(sound, offset, count, &p1, &n1, &p2, &n2), DS_OK);
        for (uint32_t i = 0; i < n1; i++)
            static_cast<uint8_t *>(p1)[i] = (uint8_t)(first + (ramp ? i : 0));
        for (uint32_t i = 0; i < n2; i++)
            static_cast<uint8_t *>(p2)[i] = (uint8_t)(first + (ramp ? n1 + i : 0));
        ASSERT_EQ(softsound_unlock(sound, p1, n1, p2, n2), DS_OK);
    }
    uint32_t play_cursor()
    {
        uint32_t play = 0, write = 0;
        softsound_position(sound, &play, &write);
        return play;
    }
    uint32_t write_cursor()
    {
        uint32_t play = 0, write = 0;
        softsound_position(sound, &play, &write);
        return write;
    }
};

std::vector<uint8_t> ramp(uint8_t first, size_t count)
{
    std::vector<uint8_t> v(count);
    std::iota(v.begin(), v.end(), first);
    return v;
}

} // namespace

TEST(SoftSound, LockHandsOutOneOrTwoPartsAndRefusesWhatDoesNotFit)
{
    Buffer b(100, true);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(softsound_lock(b.sound, 90, 30, &p1, &n1, &p2, &n2), DS_OK);
    EXPECT_EQ(n1, 10u);
    EXPECT_EQ(n2, 20u);
    EXPECT_EQ(static_cast<uint8_t *>(p1) - static_cast<uint8_t *>(p2), 90);
    // Locked twice, unlocked twice: refused, nothing handed out.
    EXPECT_EQ(softsound_lock(b.sound, 0, 10, &p1, &n1, &p2, &n2), DSERR_INVALIDCALL);
    EXPECT_EQ(p1, nullptr);
    ASSERT_EQ(softsound_unlock(b.sound, nullptr, 0, nullptr, 0), DS_OK);
    EXPECT_EQ(softsound_unlock(b.sound, nullptr, 0, nullptr, 0), DSERR_INVALIDCALL);

    EXPECT_EQ(softsound_lock(b.sound, 100, 1, &p1, &n1, &p2, &n2), DSERR_INVALIDPARAM);
    EXPECT_EQ(softsound_lock(b.sound, 0, 0, &p1, &n1, &p2, &n2), DSERR_INVALIDPARAM);
    EXPECT_EQ(softsound_lock(b.sound, 0, 101, &p1, &n1, &p2, &n2), DSERR_INVALIDPARAM);
    // A region past the end needs the second part; the refusal leaves the buffer unlocked.
    EXPECT_EQ(softsound_lock(b.sound, 90, 30, &p1, &n1, nullptr, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(softsound_lock(b.sound, 0, 10, &p1, &n1, &p2, &n2), DS_OK);
}

TEST(SoftSound, UnlockWritesBackOnlyInsideTheCopyHandedOut)
{
    Buffer b(16, true);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(softsound_lock(b.sound, 8, 4, &p1, &n1, &p2, &n2), DS_OK);
    std::vector<uint8_t> outside(32, 0x11);
    static_cast<uint8_t *>(p1)[0] = 0x42;
    // A second part that does not lie in the copy is ignored; a count past the end is cut.
    ASSERT_EQ(softsound_unlock(b.sound, p1, 100, outside.data(), 32), DS_OK);
    softsound_play(b.sound, 0);
    b.ms(16);
    softsound_advance(b.sound); // a clocked device hears what the cursor passed when asked
    std::vector<uint8_t> want(16, 0x80);
    want[8] = 0x42;
    EXPECT_EQ(b.device.heard, want);
}

TEST(SoftSound, AClockedDeviceHearsTheBufferInOrderRoundAndRound)
{
    Buffer b(10, true, 3);
    b.fill(0, 10, 0);
    softsound_play(b.sound, 1);
    EXPECT_EQ(b.write_cursor(), 3u);
    b.ms(25);
    EXPECT_EQ(b.play_cursor(), 5u);
    EXPECT_EQ(b.write_cursor(), 8u);
    std::vector<uint8_t> want;
    for (int turn = 0; turn < 3; turn++)
        for (uint8_t i = 0; i < 10; i++)
            want.push_back(i);
    want.resize(25);
    EXPECT_EQ(b.device.heard, want);

    // What was played before a write stays as it was heard; the write counts from then on.
    b.ms(2);
    b.fill(0, 10, 100, false);
    b.ms(3);
    softsound_stop(b.sound);
    want.insert(want.end(), {5, 6, 100, 100, 100});
    EXPECT_EQ(b.device.heard, want);
    // Stopped, the cursor stays and nothing more is heard; playing again goes on from there.
    b.ms(50);
    EXPECT_EQ(b.play_cursor(), 0u);
    EXPECT_EQ(b.write_cursor(), 0u);
    EXPECT_EQ(softsound_playing_cursor(b.sound), -1);
    EXPECT_EQ(b.device.heard.size(), 30u);
}

TEST(SoftSound, OncePlayedStopsAtTheEndWithTheCursorBackAtTheStart)
{
    for (bool clocked : {true, false}) {
        Buffer b(10, clocked);
        b.fill(0, 10, 0);
        // Played up to 4 and stopped there.
        softsound_play(b.sound, 1);
        uint8_t out[64];
        if (!clocked) {
            EXPECT_EQ(softsound_pull(b.sound, out, 4), 4u);
        }
        b.ms(4);
        softsound_stop(b.sound);
        EXPECT_EQ(b.play_cursor(), 4u) << clocked;

        softsound_play(b.sound, 0);
        b.ms(100);
        if (!clocked) {
            EXPECT_EQ(softsound_pull(b.sound, out, sizeof out), 6u);
            EXPECT_EQ(std::vector<uint8_t>(out, out + 6), ramp(4, 6));
        } else {
            softsound_advance(b.sound);
            std::vector<uint8_t> want = ramp(0, 4);
            auto rest = ramp(4, 6);
            want.insert(want.end(), rest.begin(), rest.end());
            EXPECT_EQ(b.device.heard, want);
        }
        EXPECT_EQ(softsound_playing(b.sound), 0) << clocked;
        EXPECT_EQ(b.play_cursor(), 0u) << clocked;
    }
    // The clock at the very end of a buffer played once: it has stopped there.
    Buffer b(10, true);
    softsound_play(b.sound, 0);
    b.ms(10);
    EXPECT_EQ(softsound_playing(b.sound), 0);
    EXPECT_EQ(b.device.heard.size(), 10u);
}

TEST(SoftSound, APulledDeviceCursorFollowsTheClockButNeverPassesWhatItWasGiven)
{
    Buffer b(1000, false);
    b.fill(0, 1000, 0);
    softsound_play(b.sound, 1);
    uint8_t out[100];
    // Nothing handed out yet: the cursor waits for the device.
    b.ms(10);
    EXPECT_EQ(b.play_cursor(), 0u);
    ASSERT_EQ(softsound_pull(b.sound, out, 100), 100u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 100), ramp(0, 100));
    EXPECT_EQ(b.write_cursor(), 100u);
    b.ms(30);
    EXPECT_EQ(b.play_cursor(), 30u);
    b.ms(200); // the device is late: the cursor stops at what it was given
    EXPECT_EQ(b.play_cursor(), 100u);
    // The next pull restarts the interpolation from what was given before it: never backwards.
    ASSERT_EQ(softsound_pull(b.sound, out, 100), 100u);
    EXPECT_EQ(b.play_cursor(), 100u);
    b.ms(40);
    EXPECT_EQ(b.play_cursor(), 140u);
    // A clocked device is not pulled.
    Buffer c(10, true);
    softsound_play(c.sound, 1);
    EXPECT_EQ(softsound_pull(c.sound, out, 10), 0u);
}

TEST(SoftSound, APulledBufferThatIsStoppedHandsOutNothing)
{
    Buffer b(8, false);
    b.fill(0, 8, 1);
    uint8_t out[8] = {};
    EXPECT_EQ(softsound_pull(b.sound, out, 8), 0u);
    softsound_play(b.sound, 1);
    EXPECT_EQ(softsound_pull(b.sound, out, 3), 3u);
    b.ms(2);
    softsound_stop(b.sound);
    EXPECT_EQ(b.play_cursor(), 2u);
    EXPECT_EQ(softsound_pull(b.sound, out, 8), 0u);
}

TEST(SoftSound, APulledDeviceWithAQueuePlaysWhatItNoLongerHolds)
{
    Buffer b(1000, false, 0, true);
    b.fill(0, 1000, 0);
    uint8_t out[300];
    // Silence of an earlier sound is still queued ahead of the first bytes: the cursor waits.
    b.device.held = 500;
    softsound_play(b.sound, 1);
    ASSERT_EQ(softsound_pull(b.sound, out, 300), 300u);
    b.ms(100); // the clock alone moves nothing
    EXPECT_EQ(b.play_cursor(), 0u);
    EXPECT_EQ(b.write_cursor(), 300u);
    b.device.held = 120;
    EXPECT_EQ(b.play_cursor(), 180u);
    // A queue that seems to grow (bytes on their way into it) never moves the cursor back.
    b.device.held = 250;
    EXPECT_EQ(b.play_cursor(), 180u);
    b.device.held = 0;
    EXPECT_EQ(b.play_cursor(), 300u);
    softsound_stop(b.sound);
    EXPECT_EQ(b.play_cursor(), 300u);
}

// Several writers lock the whole buffer and fill it with their own byte while a pulling device
// takes it whole, the cursors are read and playing starts and stops: one lock at a time, and a
// write-back never mixes with another, so every pull sees one writer's byte throughout. (Under
// the thread sanitizer this also proves that nothing is touched outside the buffer's mutex.)
TEST(SoftSoundThreads, LocksFromManyThreadsNeverOverlap)
{
    constexpr uint32_t SIZE = 256;
    SoftSoundDevice table{nullptr,
                          [](void *) -> uint64_t {
                              return static_cast<uint64_t>(
                                  std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
                          },
                          nullptr,
                          22050,
                          0,
                          nullptr};
    SoftSound *sound = softsound_create(&table, SIZE);
    ASSERT_NE(sound, nullptr);
    softsound_play(sound, 1);
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0}, written{0};
    std::vector<std::thread> threads;
    for (uint8_t id = 1; id <= 3; id++)
        threads.emplace_back([&, id] {
            for (int n = 0; n < 2000; n++) {
                void *p1, *p2;
                uint32_t n1, n2;
                int32_t got = softsound_lock(sound, 0, SIZE, &p1, &n1, &p2, &n2);
                if (got == DSERR_INVALIDCALL) {
                    std::this_thread::yield();
                    continue;
                }
                ASSERT_EQ(got, DS_OK);
                for (uint32_t i = 0; i < n1; i++) {
                    static_cast<uint8_t *>(p1)[i] = id;
                    if (i % 64 == 0) std::this_thread::yield();
                }
                ASSERT_EQ(softsound_unlock(sound, p1, n1, nullptr, 0), DS_OK);
                written++;
            }
        });
    threads.emplace_back([&] {
        std::vector<uint8_t> out(SIZE);
        while (!done) {
            if (softsound_pull(sound, out.data(), SIZE) != SIZE) continue;
            for (uint8_t b : out)
                if (b != out[0]) {
                    mixed++;
                    break;
                }
        }
    });
    threads.emplace_back([&] {
        for (int n = 0; !done; n++) {
            uint32_t play, write;
            softsound_position(sound, &play, &write);
            EXPECT_LT(play, SIZE);
            softsound_playing_cursor(sound);
            if (n % 100 == 0) {
                softsound_stop(sound);
                softsound_play(sound, 1);
            }
        }
    });
    for (size_t i = 0; i < 3; i++)
        threads[i].join();
    done = true;
    for (size_t i = 3; i < threads.size(); i++)
        threads[i].join();
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_GT(written.load(), 0);
    softsound_destroy(sound);
}
