// Running the plugin the way players do: GStreamer pipelines over movie files, with what their
// sinks receive collected, and what movtool says of the same movie as the reference.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// What LeakSanitizer leaves to GStreamer and GLib: what they keep for the whole process
// (registry, types, caches). The plugin owns nothing past its elements' lives.
#define GST_LSAN_SUPPRESSIONS                                                                      \
    "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\n"                      \
    "leak:libgstbase-1.0.so\nleak:libgstapp-1.0.so\nleak:libgstvideo-1.0.so\n"                     \
    "leak:libgstaudio-1.0.so\nleak:libgstpbutils-1.0.so\nleak:libgstcoreelements.so\n"             \
    "leak:libgsttypefindfunctions.so\nleak:libgstplayback.so\n"

// Sets GStreamer up for this process: the plugin from the build (GST_PLUGIN_PATH) and a
// registry file of the process's own in `folder`, so no test writes the user's cache.
void gst_test_init(const std::string &folder);

// A fresh empty folder under TMPDIR, and its removal.
std::string gst_test_folder();
void gst_test_remove(const std::string &folder);

struct Picture {
    GstClockTime pts, duration;
    Bytes rgb; // 320x200x3
};
struct Chunk {
    GstClockTime pts, duration;
    Bytes samples;
};
struct PlayRun {
    std::vector<Picture> pictures; // from the appsink named "v"
    std::vector<Chunk> sounds;     // from the appsink named "a"
    std::vector<std::string> warnings;
    std::string error; // empty when the pipeline ended with EOS
    bool eos = false;
};

// Parses `description`, plays it to its end (at most `seconds`) and collects what its appsinks
// "v" and "a" (when present) received, the bus's warnings and its error.
PlayRun gst_test_play(const std::string &description, int seconds = 60);

// Per record of a movie, what movtool dump says the decoder hands out.
struct Reference {
    std::vector<Bytes> pictures; // both pictures of each record, 128000 bytes
    std::vector<Bytes> palettes; // 744 bytes
    std::vector<Bytes> sounds;   // 3528 bytes
};
Reference gst_test_reference(const std::string &movie, const std::string &folder);
// Picture b (0 = A, 1 = B) of record r as RGB: the palette's 6-bit intensities widened by
// repeating their top bits, pixel values 0 and 249 to 255 black.
Bytes gst_test_rgb(const Reference &ref, size_t r, int b);

// s quoted for a shell command line, and for a pipeline description.
std::string gst_test_quote(const std::string &s);
std::string gst_test_value(const std::string &s);
