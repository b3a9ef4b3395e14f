// The GStreamer plugin in real pipelines over damaged input: the typefinder and the demuxer fed
// by a source that pushes, and the demuxer reading a file at random with a seek while it plays;
// the decoder behind both.
#include "tools/gst/cdmovie.h"

#include <gst/app/gstappsrc.h>

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <string>
#include <unistd.h>

static std::string fuzz_folder;

// GStreamer and GLib keep their registry, types and caches for the whole process.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\n"
           "leak:libgstbase-1.0.so\nleak:libgstapp-1.0.so\nleak:libgstcoreelements.so\n"
           "leak:libgsttypefindfunctions.so\n";
}

static void fuzz_gst_cleanup()
{
    nftw(
        fuzz_folder.c_str(),
        [](const char *path, const struct stat *, int, struct FTW *) { return remove(path); }, 8,
        FTW_DEPTH | FTW_PHYS);
}

// Plays a pipeline to its end: EOS, an error, or 10 s.
static void fuzz_play(GstElement *pipeline, const uint8_t *data, size_t size, bool seek)
{
    GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    if (src) {
        if (size > 0) gst_app_src_push_buffer(GST_APP_SRC(src), gst_buffer_new_memdup(data, size));
        gst_app_src_end_of_stream(GST_APP_SRC(src));
        gst_object_unref(src);
    }
    if (seek && size > 0)
        gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH,
                                static_cast<gint64>(data[0] % 8 * CDMOVIE_PICTURE_TIME));
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *msg = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

static const char *fuzz_sinks = " ! cdmoviedemux name=d d.video ! cdmoviedec ! fakesink sync=false "
                                "async=false d.audio ! fakesink sync=false async=false";

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *tmp = getenv("TMPDIR");
    fuzz_folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_gst.XXXXXX";
    if (!mkdtemp(fuzz_folder.data())) std::abort();
    atexit(fuzz_gst_cleanup);
    setenv("GST_REGISTRY", (fuzz_folder + "/registry.bin").c_str(), 1);
    setenv("GST_REGISTRY_FORK", "no", 1);
    gst_init(nullptr, nullptr);
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "cdmovie", "fuzzed",
                                    cdmovie_plugin_init, "0", "Proprietary", "democd", "democd",
                                    "https://democd.invalid/"))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 5 * static_cast<size_t>(MOVIE_RECORD_SIZE)) return 0;
    // Pushed: through the typefinder, and straight into the demuxer.
    for (const char *head : {"appsrc name=src ! typefind", "appsrc name=src caps=" CDMOVIE_CAPS}) {
        GstElement *pipeline = gst_parse_launch((std::string(head) + fuzz_sinks).c_str(), nullptr);
        if (!pipeline) std::abort();
        fuzz_play(pipeline, data, size, false);
    }
    // Read at random from a file, with a seek while it plays.
    const std::string file = fuzz_folder + "/input.mov";
    FILE *f = fopen(file.c_str(), "wb");
    if (!f) std::abort();
    const bool written = fwrite(data, 1, size, f) == size;
    if (fclose(f) != 0 || !written) std::abort();
    GstElement *pipeline =
        gst_parse_launch(("filesrc location=\"" + file + "\"" + fuzz_sinks).c_str(), nullptr);
    if (!pipeline) std::abort();
    fuzz_play(pipeline, data, size, true);
    return 0;
}
