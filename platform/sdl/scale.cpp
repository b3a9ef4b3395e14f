#include "platform/sdl/scale.h"

#include <cstddef>
#include <cstring>

ScaleRect scale_fit(int32_t width, int32_t height)
{
    ScaleRect r{0, 0, width, height};
    if ((int64_t)width * 3 > (int64_t)height * 4) {
        r.w = height * 4 / 3;
        r.x = (width - r.w) / 2;
    } else {
        r.h = width * 3 / 4;
        r.y = (height - r.h) / 2;
    }
    return r;
}

namespace
{

// An n-bit channel value widened to 8 bits, then placed under mask.
uint32_t channel(uint32_t value, int32_t bits, uint32_t mask)
{
    uint32_t v8 = value << (8 - bits) | value >> (2 * bits - 8);
    int32_t shift = 0, width = 0;
    while (mask && !(mask >> shift & 1))
        shift++;
    while (shift + width < 32 && (mask >> (shift + width) & 1))
        width++;
    if (width == 0) return 0;
    uint32_t v = width >= 8 ? v8 << (width - 8) : v8 >> (8 - width);
    return v << shift & mask;
}

template <class Pixel>
void scale_lines(const ScaleTable *table, const uint8_t *source, int32_t width, int32_t height,
                 int32_t pitch, uint8_t *destination, int32_t destination_pitch, ScaleRect rect)
{
    std::vector<int32_t> columns((size_t)rect.w);
    for (int32_t x = 0; x < rect.w; x++)
        columns[(size_t)x] = (int32_t)(((int64_t)x * 2 + 1) * width / ((int64_t)rect.w * 2));
    const uint32_t *colour = table->colour.data();
    int32_t previous = -1;
    uint8_t *previous_line = nullptr;
    for (int32_t y = 0; y < rect.h; y++) {
        int32_t sy = (int32_t)(((int64_t)y * 2 + 1) * height / ((int64_t)rect.h * 2));
        uint8_t *line = destination + (ptrdiff_t)(rect.y + y) * destination_pitch +
                        (size_t)rect.x * sizeof(Pixel);
        if (previous_line && sy == previous) {
            // A line the source line already gave: copied, not scaled again.
            memcpy(line, previous_line, (size_t)rect.w * sizeof(Pixel));
            continue;
        }
        const uint16_t *in = reinterpret_cast<const uint16_t *>(source + (ptrdiff_t)sy * pitch);
        Pixel *out = reinterpret_cast<Pixel *>(line);
        for (int32_t x = 0; x < rect.w; x++)
            out[x] = (Pixel)colour[in[columns[(size_t)x]]];
        previous = sy;
        previous_line = line;
    }
}

} // namespace

int32_t scale_table(ScaleTable *table, int32_t rgb555, int32_t bytes, uint32_t red_mask,
                    uint32_t green_mask, uint32_t blue_mask)
{
    if (bytes != 2 && bytes != 4) return 0;
    table->bytes = bytes;
    table->colour.resize(65536);
    int32_t green_bits = rgb555 ? 5 : 6;
    for (uint32_t p = 0; p < 65536; p++) {
        uint32_t r = rgb555 ? p >> 10 & 31 : p >> 11 & 31;
        uint32_t g = rgb555 ? p >> 5 & 31 : p >> 5 & 63;
        uint32_t b = p & 31;
        table->colour[p] =
            channel(r, 5, red_mask) | channel(g, green_bits, green_mask) | channel(b, 5, blue_mask);
    }
    return 1;
}

void scale_picture(const ScaleTable *table, const uint8_t *source, int32_t width, int32_t height,
                   int32_t pitch, uint8_t *destination, int32_t destination_pitch, ScaleRect rect)
{
    if (width <= 0 || height <= 0 || rect.w <= 0 || rect.h <= 0) return;
    if (table->bytes == 4)
        scale_lines<uint32_t>(table, source, width, height, pitch, destination, destination_pitch,
                              rect);
    else
        scale_lines<uint16_t>(table, source, width, height, pitch, destination, destination_pitch,
                              rect);
}
