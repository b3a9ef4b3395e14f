// What movtool export's two forms share: the pictures the player shows, as RGB, and the sound
// heard under them.
//
// Timing, as the player presents: picture A of record 0 appears as the sound starts and stays
// 160 ms; from then on every picture stays 80 ms (B of record i, A of record i + 1, ...). Of n
// records, 0 to n - 2 are shown, the last of them with picture A only, and the sound is cut as
// that picture appears; 80 ms of silence stand under it.
#pragma once

#include "movie/movie.h"

#include <cstdint>
#include <vector>

constexpr int32_t EXPORT_FRAME_BYTES = MOVIE_SOUND_SIZE / 2; // 80 ms of sound

// A 320x200 picture to RGB: the palette's 6-bit intensities to 8 bits; pixel values 0 and 249
// to 255 are black.
void export_rgb(const uint8_t *picture, const uint8_t *palette, uint8_t *rgb);

// Reads the next `shown` records of the open movie and gives the sound heard under them.
std::vector<uint8_t> export_sound(int32_t shown);

// The container a name asks for by its ending (.mkv, .mp4, .avi), or nullptr.
const char *export_video_format(const char *name);
// The movie as one video file with its sound; the exit status.
int export_video(const char *movie, const char *out_name);
