#include "tests/gst/gst_support.h"

#include "movie/movie.h"
#include "tests/support/cli.h"

#include <gst/app/gstappsink.h>

#include <cstdlib>
#include <ftw.h>
#include <unistd.h>

// Under the sanitizers: GStreamer's and GLib's own memory lives as long as the process, and
// their locks wait on futexes ThreadSanitizer cannot see, so it looks at instrumented code only
// (the plugin's shared state goes through the pad's stream lock and a std::mutex, which it
// sees).
extern "C" const char *__lsan_default_suppressions()
{
    return GST_LSAN_SUPPRESSIONS;
}
extern "C" const char *__tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

void gst_test_init(const std::string &folder)
{
    setenv("GST_REGISTRY", (folder + "/registry.bin").c_str(), 1);
    setenv("GST_PLUGIN_PATH", GST_PLUGIN_BUILD_DIR, 1);
    // Colour in debug output would only clutter the logs.
    setenv("GST_DEBUG_NO_COLOR", "1", 1);
    // The plugin scanner is a program of its own, not built for the sanitizers: a sanitized
    // plugin is scanned in the process that loads it.
    if (cli_sanitized()) setenv("GST_REGISTRY_FORK", "no", 1);
    gst_init(nullptr, nullptr);
}

std::string gst_test_folder()
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/gst_test.XXXXXX";
    if (!mkdtemp(pattern.data())) return "";
    return pattern;
}

void gst_test_remove(const std::string &folder)
{
    if (folder.empty()) return;
    nftw(
        folder.c_str(),
        [](const char *path, const struct stat *, int, struct FTW *) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string gst_test_quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string gst_test_value(const std::string &s)
{
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

static Bytes sample_bytes(GstSample *sample, GstClockTime *pts, GstClockTime *duration)
{
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    *pts = GST_BUFFER_PTS(buffer);
    *duration = GST_BUFFER_DURATION(buffer);
    GstMapInfo map;
    Bytes bytes;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        bytes.assign(map.data, map.data + map.size);
        gst_buffer_unmap(buffer, &map);
    }
    return bytes;
}

static GstFlowReturn take_picture(GstAppSink *sink, gpointer run)
{
    GstSample *sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    Picture p;
    p.rgb = sample_bytes(sample, &p.pts, &p.duration);
    static_cast<PlayRun *>(run)->pictures.push_back(std::move(p));
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

static GstFlowReturn take_sound(GstAppSink *sink, gpointer run)
{
    GstSample *sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    Chunk c;
    c.samples = sample_bytes(sample, &c.pts, &c.duration);
    static_cast<PlayRun *>(run)->sounds.push_back(std::move(c));
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

PlayRun gst_test_play(const std::string &description, int seconds)
{
    PlayRun run;
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline) {
        run.error = error ? error->message : "no pipeline";
        g_clear_error(&error);
        return run;
    }
    g_clear_error(&error);
    for (const char *name : {"v", "a"}) {
        GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), name);
        // playbin adds its sinks only once it plays: they are its properties until then.
        const char *property = name[0] == 'v' ? "video-sink" : "audio-sink";
        if (!sink && g_object_class_find_property(G_OBJECT_GET_CLASS(pipeline), property))
            g_object_get(pipeline, property, &sink, nullptr);
        if (!sink || !GST_IS_APP_SINK(sink)) {
            if (sink) gst_object_unref(sink);
            continue;
        }
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = name[0] == 'v' ? take_picture : take_sound;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &run, nullptr);
        gst_object_unref(sink);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    const GstClockTime end = gst_util_get_timestamp() + seconds * GST_SECOND;
    for (;;) {
        const GstClockTime now = gst_util_get_timestamp();
        if (now >= end) {
            run.error = "timed out";
            break;
        }
        GstMessage *msg = gst_bus_timed_pop_filtered(
            bus, end - now,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING));
        if (!msg) continue;
        const GstMessageType type = GST_MESSAGE_TYPE(msg);
        if (type == GST_MESSAGE_EOS) {
            run.eos = true;
            gst_message_unref(msg);
            break;
        }
        GError *e = nullptr;
        gchar *debug = nullptr;
        if (type == GST_MESSAGE_ERROR)
            gst_message_parse_error(msg, &e, &debug);
        else
            gst_message_parse_warning(msg, &e, &debug);
        std::string text = std::string(e ? e->message : "") + " | " + (debug ? debug : "");
        g_clear_error(&e);
        g_free(debug);
        gst_message_unref(msg);
        if (type == GST_MESSAGE_WARNING) {
            run.warnings.push_back(text);
        } else {
            run.error = text;
            break;
        }
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return run;
}

Reference gst_test_reference(const std::string &movie, const std::string &folder)
{
    Reference ref;
    const std::string dump = folder + "/reference.raw";
    CliRun run = cli_run(std::string(MOVTOOL_PATH) + " dump " + gst_test_quote(movie) + " " +
                         gst_test_quote(dump));
    if (run.status != 0) return ref;
    const Bytes raw = cli_read_file(dump);
    unlink(dump.c_str());
    const size_t per = MOVIE_PICTURES_BYTES + MOVIE_PALETTE_BYTES + MOVIE_SOUND_SIZE;
    for (size_t at = 0; at + per <= raw.size(); at += per) {
        const uint8_t *r = raw.data() + at;
        ref.pictures.emplace_back(r, r + MOVIE_PICTURES_BYTES);
        r += MOVIE_PICTURES_BYTES;
        ref.palettes.emplace_back(r, r + MOVIE_PALETTE_BYTES);
        r += MOVIE_PALETTE_BYTES;
        ref.sounds.emplace_back(r, r + MOVIE_SOUND_SIZE);
    }
    return ref;
}

Bytes gst_test_rgb(const Reference &ref, size_t r, int b)
{
    Bytes rgb(static_cast<size_t>(MOVIE_PICTURE_BYTES) * 3, 0);
    const uint8_t *indices = ref.pictures[r].data() + b * MOVIE_PICTURE_BYTES;
    const uint8_t *palette = ref.palettes[r].data();
    for (size_t i = 0; i < static_cast<size_t>(MOVIE_PICTURE_BYTES); i++)
        if (indices[i] >= 1 && indices[i] <= 248)
            for (size_t c = 0; c < 3; c++) {
                const int v = palette[3 * (indices[i] - 1) + c] & 63;
                rgb[i * 3 + c] = static_cast<uint8_t>(v << 2 | v >> 4);
            }
    return rgb;
}
