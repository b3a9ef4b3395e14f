// Movies for the player's tests: every picture is one flat colour index that names it, every
// record's sound a pattern that names it, so that what was shown and heard can be read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Colour index of picture A (b = 0) or B (b = 1) of record i in a movie made with base.
int32_t movie_tag(int32_t base, int32_t record, int32_t b);
// The palette every test movie uses: distinct colours in 5-6-5 and in 5-5-5.
void movie_palette(uint8_t *palette);
// Sound sample j of record i.
uint8_t movie_sample(int32_t base, int32_t record, int32_t j);
// Writes a movie of n records into the test folder; its path.
std::string movie_write(const char *name, int32_t records, int32_t base);

struct ShownPicture {
    int32_t base, record, b;  // -1 when the screen shows none of them
    int32_t play_cursor = -1; // of the streaming buffer when it was shown, where known
};
// Which picture a present shows, by its pixel (0, 0), among movies made with these bases.
ShownPicture movie_identify(uint16_t first_pixel, int32_t rgb565, const std::vector<int32_t> &bases,
                            int32_t max_records);
// The sound of records [0, n) of a movie, back to back.
std::vector<uint8_t> movie_sound(int32_t base, int32_t n);
// Death tests re-run the test binary in the child rather than fork a threaded process.
void movie_threadsafe_death_tests();
// Environment entries for the real player in a sanitizer build (none otherwise): SDL and the
// system's software GL are not built for ThreadSanitizer, their own locking is invisible to it,
// so the player renders with SDL's software renderer and races inside SDL are left to SDL.
std::vector<std::string> movie_sanitizer_env();
// How much faster than real time the tests' clock runs.
double movie_test_clock_speed();
// Built with a sanitizer: much slower than a release build.
bool movie_sanitized();
