#include "movie/movie.h"
#include "platform/clock.h"
#include "player/player.h"
#include "player/window.h"
#include "present/display.h"
#include "present/sound.h"

#include <cstring>

// Copies what the reader handed out into a slot: the reader's buffers are overwritten by the
// next record.
static void fill_slot(int32_t s, const uint8_t *picture, const uint8_t *palette,
                      const uint8_t *sound)
{
    memcpy(frame_slots[s].picture, picture, FRAME_PICTURE_BYTES);
    memcpy(frame_slots[s].palette, palette, MOVIE_PALETTE_BYTES);
    memcpy(frame_slots[s].sound, sound, FRAME_SOUND_BYTES);
}

void decode_thread(void *name)
{
    movie_open((const char *)name);
    playback.newest_slot.store(0);
    playback.audio_slot.store(0);
    uint8_t *picture, *palette, *sound;
    for (int32_t s = 0; s < 2; s++) {
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) {
            // Fewer than the two records priming needs: the audio thread sees this before any
            // sound starts and ends too.
            playback.decode_finished.store(1);
            clock_wake();
            return;
        }
        fill_slot(s, picture, palette, sound);
    }
    playback.newest_slot.store(1);
    playback.decode_state.store(1);
    clock_wake();

    for (;;) {
        if (playback.stop_request.load()) {
            playback.decode_finished.store(1);
            clock_wake();
            return;
        }
        if (playback.refill_request.load() == 0) {
            Sleep(0);
            continue;
        }
        playback.refill_request.store(0);
        movie_next_frame(&picture, &palette, &sound);
        if (!picture) {
            playback.stop_request.store(1);
            playback.decode_finished.store(1);
            clock_wake();
            return;
        }
        int32_t s = (playback.newest_slot.load() + 1) & 3;
        fill_slot(s, picture, palette, sound);
        playback.newest_slot.store(s);
        clock_wake();
    }
}

void audio_stream_thread(void * /*unused*/)
{
    playback.stop_request.store(0);
    uint32_t start = timeGetTime();
    while (playback.decode_state.load() == 0) {
        // A movie too short to prime ends the decode thread before it primes: nothing to play.
        if (playback.decode_finished.load() || timeGetTime() - start > PLAY_WAIT_MS) {
            playback.audio_ended.store(1);
            clock_wake();
            return;
        }
        Sleep(0);
    }

    int32_t slot = 0;
    while (slot < playback.newest_slot.load()) {
        sound_write(frame_slots[slot].sound, slot * SOUND_QUARTER_BYTES, SOUND_QUARTER_BYTES);
        slot++;
    }
    playback.audio_slot.store(slot - 1);
    sound_play(1);
    playback.decode_state.store(2);
    clock_wake();

    for (;;) {
        if (playback.stop_request.load()) {
            playback.audio_ended.store(1);
            clock_wake();
            return;
        }
        uint32_t cursor = sound_play_position();
        int32_t quarter = (int32_t)(cursor / SOUND_QUARTER_BYTES);
        // The signal is read before the display slot: the play loop advances the slot before it
        // clears the signal, so a cleared signal is always seen with the new slot.
        if (playback.second_picture.load() == 0 && quarter != playback.display_slot.load()) {
            playback.second_picture.store(1);
            clock_wake(); // the play loop shows picture B now, not when its yield runs out
        }
        int32_t audio = playback.audio_slot.load();
        if (audio != playback.newest_slot.load()) {
            audio = (audio + 1) & 3;
            playback.audio_slot.store(audio);
            sound_write(frame_slots[audio].sound, audio * SOUND_QUARTER_BYTES, SOUND_QUARTER_BYTES);
        }
        // Sleep(0), but over when the cursor reaches the next quarter: picture B waits for this
        // thread's signal, which should not come late by most of a yield.
        uint64_t left = SOUND_QUARTER_BYTES - cursor % SOUND_QUARTER_BYTES;
        clock_yield_for(
            (uint32_t)((left * 1000000 + SOUND_BYTES_PER_SECOND - 1) / SOUND_BYTES_PER_SECOND));
    }
}

// Polls flag with Sleep(0) for at most PLAY_WAIT_MS; 1 when it was set. With restop, the stop
// request is raised on every poll, so that a thread which clears it at its late start still
// sees it.
static int32_t wait_for(std::atomic<int32_t> &flag, int32_t restop)
{
    uint32_t start = timeGetTime();
    while (!flag.load()) {
        if (timeGetTime() - start > PLAY_WAIT_MS) return 0;
        if (restop) {
            playback.stop_request.store(1);
            clock_wake();
        }
        Sleep(0);
    }
    return 1;
}

// Stops both threads and frees what the movie used, but nothing a thread still running uses:
// when a thread does not end in time, the player is stopped instead (result PLAY_TIMEOUT) and
// the process end takes what it holds.
static int32_t playback_end(int32_t result, int32_t restop)
{
    playback.stop_request.store(1);
    clock_wake();
    sound_stop();
    int32_t audio_done = wait_for(playback.audio_ended, restop);
    if (audio_done) sound_release_buffer();
    int32_t decode_done = wait_for(playback.decode_finished, restop);
    if (decode_done) {
        movie_close();
        movie_free();
    }
    if (!audio_done || !decode_done) {
        playback_abandoned = 1;
        return PLAY_TIMEOUT;
    }
    return result;
}

static int32_t play_loop()
{
    int32_t show_a = 1;
    uint32_t next_time = timeGetTime();
    playback.display_slot.store(0);
    for (;;) {
        if (playback.decode_finished.load()) return PLAY_GO_ON;
        const FrameSlot &slot = frame_slots[playback.display_slot.load()];
        if (show_a) {
            playback.refill_request.store(1);
            clock_wake();
            // A yield that ends when the picture is due rather than polls up to it.
            for (int32_t left; (left = (int32_t)(next_time - timeGetTime())) > 0;)
                clock_yield_for((uint32_t)left * 1000);
            present_picture(slot.picture, slot.palette);
            show_a = 0;
        } else {
            while (!playback.second_picture.load()) {
                if (playback.decode_finished.load()) return PLAY_GO_ON;
                Sleep(0);
            }
            next_time = timeGetTime() + FRAME_DISPLAY_MS;
            present_picture(slot.picture + MOVIE_PICTURE_BYTES, slot.palette);
            playback.display_slot.store((playback.display_slot.load() + 1) & 3);
            playback.second_picture.store(0);
            clock_wake();
            show_a = 1;
        }
        if (key_available() && key_get() == KEY_ESCAPE) return PLAY_ESCAPE;
    }
}

int32_t play_movie(const char *name)
{
    playback.stop_request.store(0);
    playback.decode_finished.store(0);
    playback.audio_ended.store(0);
    if (const char *error = movie_alloc()) {
        movie_free();
        fatal_error_box("%s", error);
    }
    playback.decode_state.store(0);
    playback.refill_request.store(0);
    playback.second_picture.store(0);
    playback.display_slot.store(0);
    sound_create_buffer(SOUND_STREAM_BYTES);

    // A thread that cannot be started counts as one that has ended at once; the other one is
    // then stopped through the ordinary end.
    if (thread_start(decode_thread, (void *)name) != 0) playback.decode_finished.store(1);
    if (thread_start(audio_stream_thread, nullptr) != 0) playback.audio_ended.store(1);

    uint32_t start = timeGetTime();
    while (playback.decode_state.load() != 2) {
        if (playback.decode_finished.load()) return playback_end(PLAY_NOTHING, 1);
        if (playback.audio_ended.load() || timeGetTime() - start > PLAY_WAIT_MS)
            return playback_end(PLAY_TIMEOUT, 1);
        Sleep(0);
    }
    return playback_end(play_loop(), 0);
}
