// Scaling the mode's 16-bit picture onto the window's own pixels in memory, nearest neighbour,
// once per picture: cheaper than a renderer where the renderer would rasterise in software.
#pragma once

#include <cstdint>
#include <vector>

struct ScaleRect {
    int32_t x, y, w, h;
};

// The largest 4:3 rectangle centred in width x height.
ScaleRect scale_fit(int32_t width, int32_t height);

struct ScaleTable {
    int32_t bytes; // of a destination pixel: 2 or 4
    // Every 16-bit source pixel as the destination pixel (its low bytes when bytes is 2).
    std::vector<uint32_t> colour;
};

// The table for a 5-6-5 (or 5-5-5) source and a destination given by its masks (bytes 2 or 4).
// 0 when the destination is of another kind.
int32_t scale_table(ScaleTable *table, int32_t rgb555, int32_t bytes, uint32_t red_mask,
                    uint32_t green_mask, uint32_t blue_mask);

// The source (width x height, pitch bytes a line) into rect of the destination (pitch bytes a
// line), each destination pixel from the source pixel under its centre.
void scale_picture(const ScaleTable *table, const uint8_t *source, int32_t width, int32_t height,
                   int32_t pitch, uint8_t *destination, int32_t destination_pitch, ScaleRect rect);
