// What both forms of movtool export share: the pictures as RGB, the sound under them, and which
// names ask for a video file.
#include "present/display.h"
#include "tools/movtool/export.h"

#include <cstring>
#include <strings.h>

void export_rgb(const uint8_t *picture, const uint8_t *palette, uint8_t *rgb)
{
    uint8_t colours[256][3];
    display_build_rgb_table(colours, palette);
    display_rgb_picture(rgb, 320 * 3, picture, colours);
}

// Read ahead of the pictures, so that sound.wav is complete before the picture stream starts
// and whoever reads that stream can open it.
std::vector<uint8_t> export_sound(int32_t shown)
{
    std::vector<uint8_t> sound;
    sound.reserve((size_t)(2 * shown) * EXPORT_FRAME_BYTES);
    for (int32_t i = 0; i < shown; i++) {
        uint8_t *picture = nullptr, *palette = nullptr, *chunk = nullptr;
        movie_next_frame(&picture, &palette, &chunk);
        if (!picture) break;
        // The last record shown gives picture A only, and half its sound: the cut.
        sound.insert(sound.end(), chunk,
                     chunk + (i == shown - 1 ? EXPORT_FRAME_BYTES : MOVIE_SOUND_SIZE));
    }
    if (shown > 0) sound.insert(sound.end(), EXPORT_FRAME_BYTES, 0x80); // under the last picture
    return sound;
}

const char *export_video_format(const char *name)
{
    size_t n = strlen(name);
    if (n > 4 && !strcasecmp(name + n - 4, ".mkv")) return "matroska";
    if (n > 4 && !strcasecmp(name + n - 4, ".mp4")) return "mp4";
    if (n > 4 && !strcasecmp(name + n - 4, ".avi")) return "avi";
    return nullptr;
}
