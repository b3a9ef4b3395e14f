// Colour quantizer: one palette of at most 248 colours, 6-bit components, for both pictures
// of a record.
#pragma once

#include <cstdint>

struct Quantizer;

Quantizer *encode_quantize_alloc();
void encode_quantize_free(Quantizer *q);

// rgb holds pixel_count pixels of 3 bytes. Fills palette (size x 3 components 0..63) and one
// palette index (0 based) a pixel; returns the palette size, 1 to max_colours (at most 248).
// When the pixels hold at most max_colours colours after rounding to 6-bit components, every
// pixel keeps its rounded colour.
int32_t encode_quantize(Quantizer *q, const uint8_t *rgb, int32_t pixel_count, uint8_t *palette,
                        uint8_t *indices, int32_t max_colours);

// The 8-bit intensity a 6-bit component is shown at, and the 6-bit component nearest an 8-bit
// intensity.
inline int32_t encode_expand6(int32_t c)
{
    return (c * 255 + 31) / 63;
}
inline int32_t encode_reduce8(int32_t c)
{
    return (c * 63 + 127) / 255;
}
