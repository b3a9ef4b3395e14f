// The movies of the demo CD in any GStreamer player: a typefinder that knows the format by its
// content, a demuxer that hands out each frame record (for the pictures) and its sound, and a
// decoder that turns records into RGB pictures with the colours movtool export writes.
//
// Names: "cdmovie" is the format (a run of frame records with no header), its caps
// "video/x-cdmovie"; the demuxer's video stream is "video/x-cdmovie-record", one record per
// buffer, 160 ms each; the decoder gives two pictures per record, A at the record's start and
// B 80 ms later, as the player shows them.
#pragma once

#include "movie/movie.h"

#include <gst/gst.h>

#include <cstdint>

#define CDMOVIE_CAPS "video/x-cdmovie"
#define CDMOVIE_RECORD_CAPS                                                                        \
    "video/x-cdmovie-record, width = (int) 320, height = (int) 200, framerate = (fraction) 25/2, " \
    "pixel-aspect-ratio = (fraction) 5/6"
#define CDMOVIE_SOUND_CAPS                                                                         \
    "audio/x-raw, format = (string) U8, rate = (int) 22050, channels = (int) 1, "                  \
    "layout = (string) interleaved"

constexpr GstClockTime CDMOVIE_RECORD_TIME = MOVIE_RECORD_MS * GST_MSECOND;
constexpr GstClockTime CDMOVIE_PICTURE_TIME = CDMOVIE_RECORD_TIME / 2;

GST_DEBUG_CATEGORY_EXTERN(cdmovie_debug);

// Whether a whole record (MOVIE_RECORD_SIZE bytes) is well formed by every rule a reader can
// check: its fields in range, its packed stream unpacking to exactly the codes and colours it
// holds, and 6-bit palette intensities. codes and pictures are scratch space (MOVIE_CODE_COUNT
// and MOVIE_PICTURES_BYTES bytes).
bool cdmovie_record_well_formed(const uint8_t *record, uint8_t *codes, uint8_t *pictures);

// The typefinder's verdict on the first `size` bytes of a stream (as much of its first two
// records as is at hand): 0 (not a movie) or a GstTypeFindProbability.
int32_t cdmovie_typefind_probability(const uint8_t *start, size_t size);

GType cdmovie_demux_get_type();
GType cdmovie_dec_get_type();
gboolean cdmovie_typefind_register(GstPlugin *plugin);
// Registers the typefinder and both elements with the plugin.
gboolean cdmovie_plugin_init(GstPlugin *plugin);
