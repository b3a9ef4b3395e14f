// The player: start-up and playlist, the per-movie play loop with its decode and audio threads,
// the four frame slots and the values the three threads share.
#pragma once

#include <atomic>
#include <cstdint>

#include "movie/movie.h"

struct FrameSlot {
    uint8_t *picture; // FRAME_PICTURE_BYTES: picture A, then picture B
    uint8_t *palette; // FRAME_PALETTE_BYTES, the first MOVIE_PALETTE_BYTES filled
    uint8_t *sound;   // FRAME_SOUND_BYTES
};

constexpr int32_t FRAME_SLOT_COUNT = 4;
constexpr int32_t FRAME_PICTURE_BYTES = MOVIE_PICTURES_BYTES;
constexpr int32_t FRAME_PALETTE_BYTES = 768;
constexpr int32_t FRAME_SOUND_BYTES = MOVIE_SOUND_SIZE;

// Allocated once at start-up, reused by every movie.
inline FrameSlot frame_slots[FRAME_SLOT_COUNT];

// Shared by the main, decode and audio threads. No locks: each value has one writer, or is a
// flag that one thread raises and one other clears.
struct PlaybackState {
    std::atomic<int32_t> decode_state;    // 0 not ready, 1 primed, 2 running
    std::atomic<int32_t> newest_slot;     // the slot the decode thread filled last
    std::atomic<int32_t> audio_slot;      // the quarter the audio thread wrote last
    std::atomic<int32_t> display_slot;    // the slot whose pictures are on the screen
    std::atomic<int32_t> refill_request;  // play loop raises, decode thread clears
    std::atomic<int32_t> second_picture;  // audio thread raises, play loop clears
    std::atomic<int32_t> stop_request;    // asks both threads to end
    std::atomic<int32_t> decode_finished; // the decode thread's last act
    // The audio thread's acknowledgement, its last act on every way out (its start time-out
    // included): after it the thread touches nothing of the movie any more.
    std::atomic<int32_t> audio_ended;
};

inline PlaybackState playback;

constexpr int32_t FRAME_DISPLAY_MS = 80; // picture A follows picture B after this
constexpr uint32_t PLAY_WAIT_MS = 4000;  // every bounded wait

// Results of play_movie.
constexpr int32_t PLAY_GO_ON = 0;   // the movie ended by itself
constexpr int32_t PLAY_ESCAPE = 1;  // the user pressed Escape
constexpr int32_t PLAY_NOTHING = 2; // fewer than 2 records: nothing was shown; go on
constexpr int32_t PLAY_TIMEOUT = 100;

int32_t play_movie(const char *name);
void decode_thread(void *name);
// Plays the frame slots' sound through the looping streaming buffer, one quarter per slot, and
// raises the second-picture signal as the play cursor leaves the display slot's quarter.
void audio_stream_thread(void *unused);

struct CmdlineArgs;

// The entry point: plays the movies named by the arguments (none: "tv.mov") in a ring until
// Escape. 0 on every path that returns.
int32_t player_run(const CmdlineArgs *args);
// player_run on one string, as a Windows program receives its command line.
int32_t player_main(const char *command_line);
void player_cleanup();

// The playlist: at most PLAYLIST_MAX names that could be opened, pointing into the player's own
// copy of its command line.
constexpr int32_t PLAYLIST_MAX = 4;
constexpr int32_t COMMAND_LINE_BYTES = 1024;
extern const char *playlist[PLAYLIST_MAX];
extern int32_t playlist_length;
// From one string: a leading quote cuts the line at its last quote, the rest is split at blanks;
// a line longer than the buffer is cut to it.
void playlist_build(const char *command_line);
// From an argument vector: each argument is one name. A name that does not fit into what is left
// of the buffer is refused with a notice, never cut.
void playlist_build_args(int32_t count, const char *const *names);

// Set when a thread of a movie did not end within its wait: what it uses is then never freed,
// and the player stops.
extern int32_t playback_abandoned;
