// The screens of the two modes written from their definition: component arithmetic, the
// 5-to-6 row mapping in integers, each colour field averaged on its own.
#pragma once

#include <cstdint>
#include <vector>

inline uint16_t reference_pixel(const uint8_t *palette, uint8_t index, bool rgb565)
{
    if (index == 0 || index > 248) return 0;
    const uint8_t *t = palette + 3 * (index - 1);
    if (rgb565) return (uint16_t)((t[0] >> 1) << 11 | t[1] << 5 | t[2] >> 1);
    return (uint16_t)((t[0] >> 1) << 10 | (t[1] >> 1) << 5 | t[2] >> 1);
}

inline uint16_t reference_blend(uint16_t a, uint16_t b, bool rgb565)
{
    int gbits = rgb565 ? 6 : 5, rshift = rgb565 ? 11 : 10;
    int ra = a >> rshift, rb = b >> rshift;
    int ga = (a >> 5) & ((1 << gbits) - 1), gb = (b >> 5) & ((1 << gbits) - 1);
    int ba = a & 31, bb = b & 31;
    return (uint16_t)(((ra + rb) / 2) << rshift | ((ga + gb) / 2) << 5 | (ba + bb) / 2);
}

// The whole screen (width x height pixels) after a clear and one picture.
inline std::vector<uint16_t> reference_screen(const uint8_t *picture, const uint8_t *palette,
                                              bool rgb565, bool stretched)
{
    if (!stretched) {
        std::vector<uint16_t> s(320 * 200);
        for (int i = 0; i < 320 * 200; i++)
            s[i] = reference_pixel(palette, picture[i], rgb565);
        return s;
    }
    std::vector<uint16_t> s(640 * 480, 0);
    for (int line = 0; line < 480; line += 2) {
        int y = line / 2;
        int q = 5 * y / 6;
        for (int x = 0; x < 640; x++) {
            uint16_t p = reference_pixel(palette, picture[q * 320 + x / 2], rgb565);
            if (y > 0 && y % 6 == 0)
                p = reference_blend(
                    p, reference_pixel(palette, picture[(q - 1) * 320 + x / 2], rgb565), rgb565);
            s[line * 640 + x] = p;
        }
    }
    return s;
}
