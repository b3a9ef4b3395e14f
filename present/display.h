// The display: a full-screen 16-bit mode of 320x200 (pictures copied 1:1) or 640x480 (pictures
// stretched), written straight into the visible surface through a colour table rebuilt from
// each picture's palette.
#pragma once

#include <cstdint>

// The current drawing target.
struct ScreenDesc {
    uint8_t *pixels;    // the locked surface while a lock is open, else the off-screen buffer
    int32_t line_bytes; // width x 2; 1280 means 640x480
    int32_t height;
    int16_t width;
    uint8_t lock_depth;
    int32_t pitch; // bytes from one surface line to the next, from the latest lock
};

extern ScreenDesc screen_desc;
// 5-6-5 when set, 5-5-5 when clear.
extern int32_t display_rgb565;

// Buffers that start-up owns: the off-screen drawing target (DISPLAY_OFFSCREEN_BYTES) and the
// 256-entry colour table, zero-filled, whose entries hold a pixel in both halves.
constexpr int32_t DISPLAY_OFFSCREEN_BYTES = 640 * 480 * 2;
extern uint8_t *display_offscreen;
extern uint32_t *display_colour_table;

// Set-up codes of display_init besides 0.
constexpr int32_t DISPLAY_ERR_CREATE = 1000;
constexpr int32_t DISPLAY_ERR_MODE = 400;
constexpr int32_t DISPLAY_ERR_SURFACE = 100; // + n
constexpr int32_t DISPLAY_ERR_FORMAT = 200;  // + n
constexpr int32_t DISPLAY_ERR_LAYOUT = 300;

void display_set_mode(int32_t width, int32_t height, int32_t bytes_per_pixel);
// 0, or the set-up code of the step that failed.
int32_t display_init();
void display_lock();
void display_unlock();
void display_end_lock();
void display_set_target(uint8_t *buffer);
void display_clear();
// Restores the primary surface after the program was inactive.
void display_restore();
// picture: 320x200 colour indices; palette: 248 triples of 6-bit intensities for 1..248.
void present_picture(const uint8_t *picture, const uint8_t *palette);
// Gives the desktop back. Safe to call more than once, before set-up, and from another thread
// than the one drawing.
void display_shutdown();

// The parts of present_picture, on any memory with that address and pitch.
void display_build_colour_table(uint32_t *table, const uint8_t *palette, int32_t rgb565);
void display_copy_picture(uint8_t *pixels, int32_t pitch, int32_t lines, const uint8_t *picture,
                          const uint32_t *table);
void display_stretch_picture(uint8_t *pixels, int32_t pitch, int32_t lines, const uint8_t *picture,
                             const uint32_t *table, int32_t rgb565);

// The palette as 24-bit colours, for programs that hand pictures on rather than show them
// (exported files, other players): each 6-bit intensity widened to 8 bits by repeating its top
// bits, so 63 becomes 255; entries 0 and 249 to 255 are black.
void display_build_rgb_table(uint8_t (*colours)[3], const uint8_t *palette);
// One 320x200 picture as RGB through that table; rows `stride` bytes apart.
void display_rgb_picture(uint8_t *rgb, int32_t stride, const uint8_t *picture,
                         const uint8_t (*colours)[3]);
