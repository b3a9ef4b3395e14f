// Drawing one picture into memory (a 16-bit screen, or RGB): the pure part of the display, with
// no device behind it, so that programs that only need the pixels (movtool, the GStreamer
// plugin) link no platform backend.
#include "present/display.h"

#include <cstddef>
#include <cstring>

void display_build_colour_table(uint32_t *table, const uint8_t *palette, int32_t rgb565)
{
    for (int32_t k = 0; k < 248; k++) {
        uint32_t r = palette[3 * k], g = palette[3 * k + 1], b = palette[3 * k + 2];
        uint32_t pixel = rgb565 ? ((r >> 1) << 11) | (g << 5) | (b >> 1)
                                : ((r >> 1) << 10) | ((g >> 1) << 5) | (b >> 1);
        table[k + 1] = pixel * 0x10001u;
    }
}

void display_copy_picture(uint8_t *pixels, int32_t pitch, int32_t lines, const uint8_t *picture,
                          const uint32_t *table)
{
    int32_t rows = lines < 200 ? lines : 200;
    for (int32_t r = 0; r < rows; r++) {
        uint16_t *line = (uint16_t *)(pixels + (ptrdiff_t)r * pitch);
        const uint8_t *row = picture + r * 320;
        for (int32_t x = 0; x < 320; x++)
            line[x] = (uint16_t)table[row[x]];
    }
}

void display_stretch_picture(uint8_t *pixels, int32_t pitch, int32_t lines, const uint8_t *picture,
                             const uint32_t *table, int32_t rgb565)
{
    const uint32_t red = rgb565 ? 0xF800 : 0x7C00;
    const uint32_t green = rgb565 ? 0x07E0 : 0x03E0;
    const uint32_t blue = 0x001F;
    for (int32_t y = 0; y < 240 && 2 * y < lines; y++) {
        // Integer form of y / 1.2: a float division would miss rows where 5y / 6 is whole.
        int32_t q = 5 * y / 6;
        uint32_t *line = (uint32_t *)(pixels + (ptrdiff_t)2 * y * pitch);
        const uint8_t *row = picture + q * 320;
        if (y > 0 && y % 6 == 0) {
            const uint8_t *above = row - 320;
            for (int32_t x = 0; x < 320; x++) {
                uint32_t a = table[row[x]] & 0xFFFF, b = table[above[x]] & 0xFFFF;
                // Each field on its own, so that no low bit spills into the next field.
                uint32_t p = ((((a & red) + (b & red)) >> 1) & red) |
                             ((((a & green) + (b & green)) >> 1) & green) |
                             ((((a & blue) + (b & blue)) >> 1) & blue);
                line[x] = p * 0x10001u;
            }
        } else {
            for (int32_t x = 0; x < 320; x++)
                line[x] = table[row[x]];
        }
    }
}

void display_build_rgb_table(uint8_t (*colours)[3], const uint8_t *palette)
{
    std::memset(colours, 0, 256 * 3);
    for (int32_t k = 0; k < 248; k++)
        for (int32_t c = 0; c < 3; c++) {
            // Masked like the 16-bit table's inputs are assumed to be: out-of-range bytes of a
            // damaged palette must not spill into another colour.
            uint32_t v = palette[3 * k + c] & 63u;
            colours[k + 1][c] = (uint8_t)(v << 2 | v >> 4);
        }
}

void display_rgb_picture(uint8_t *rgb, int32_t stride, const uint8_t *picture,
                         const uint8_t (*colours)[3])
{
    for (int32_t y = 0; y < 200; y++) {
        uint8_t *line = rgb + (ptrdiff_t)y * stride;
        const uint8_t *row = picture + y * 320;
        for (int32_t x = 0; x < 320; x++)
            std::memcpy(line + 3 * x, colours[row[x]], 3);
    }
}
