// The menu's background picture: an uncompressed 8-bit bottom-up BMP, kept with its palette and
// as a bitmap of the platform, painted at a point of a window.
#pragma once

#include <cstdint>

#include "platform/ui.h"

struct PictureRecord {
    int32_t palette_bytes;
    int32_t pixel_bytes;
    int32_t image_bytes;
    int32_t colour_count;
    int32_t width;
    int32_t height;
    uint8_t *image;        // owned: info header, colour table, pixels
    uint8_t *header;       // view: the 40-byte info header
    uint8_t *colour_table; // view: colour_count entries of blue, green, red, reserved
    uint8_t *pixels;       // view: pixel_bytes of rows, last row first
    UiBitmap bitmap;
    UiPalette palette;
};

constexpr int32_t BMP_FILE_HEADER_BYTES = 14;
constexpr int32_t BMP_INFO_HEADER_BYTES = 40;

// Loads path into an empty record using window's device context for the bitmap. The info
// header's own size and the file header's pixel offset say where the colour table and the
// pixels are. A file that cannot be opened, is not an uncompressed 8-bit BMP, or whose sizes or
// offsets overflow, overlap, exceed the file or 64 MB leaves the record empty and answers false.
bool backdrop_load(const char *path, PictureRecord *picture, UiWindow window);
// Where the colour table and the pixels begin in the file.
struct BackdropLayout {
    int64_t table_at;
    int64_t pixels_at;
};

// Checks the sizes of a header pair (14 + the first 40 bytes of the info header) against a file
// of file_size bytes and fills the record's sizes and, when given, the layout; false when they
// are unusable. No memory is touched beyond the 54 bytes.
bool backdrop_measure(const uint8_t *headers, int64_t file_size, PictureRecord *picture,
                      BackdropLayout *layout = nullptr);
void backdrop_paint(UiDc dc, const PictureRecord *picture, int32_t x, int32_t y);
void backdrop_release(PictureRecord *picture);
