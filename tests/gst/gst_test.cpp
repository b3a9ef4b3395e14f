// The plugin as players use it: what comes out of its pipelines against what movtool says of
// the same movie, the typefinder against other formats' files, seeking, and damaged, shrinking,
// empty and huge files.
#include "movie/movie.h"
#include "tests/gst/gst_support.h"
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <gst/app/gstappsink.h>
#include <gst/base/gsttypefindhelper.h>

#include <fcntl.h>
#include <png.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string registry_folder;

class GstEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        registry_folder = gst_test_folder();
        ASSERT_FALSE(registry_folder.empty());
        gst_test_init(registry_folder);
    }
    void TearDown() override { gst_test_remove(registry_folder); }
};
const auto *const environment = ::testing::AddGlobalTestEnvironment(new GstEnvironment);

class GstPlugin : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = gst_test_folder();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { gst_test_remove(dir); }

    std::string write_movie(const std::string &name, const Bytes &bytes)
    {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(gen_write_file(path.c_str(), bytes));
        return path;
    }
    std::string dir;
};

// The demuxer and decoder by name, from a source that can be read at random (pull) or through
// a queue that only pushes (push).
std::string pipeline(const std::string &file, bool push,
                     const std::string &video_sink = "appsink name=v sync=false")
{
    return "filesrc location=" + gst_test_value(file) + (push ? " ! queue" : "") +
           " ! cdmoviedemux name=d d.video ! queue ! cdmoviedec ! " + video_sink +
           " d.audio ! queue ! appsink name=a sync=false";
}

bool same_picture(const Bytes &a, const Bytes &b)
{
    return a.size() == b.size() && a == b;
}

Bytes read_png(const std::string &path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    Bytes rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    return rgb;
}

// Six sound records, a seventh whose lengths run into its sound, and bytes of an eighth.
Bytes movie_with_damage()
{
    Bytes movie = gen_movie(GEN_SHAPES, 7);
    uint8_t *seventh = movie.data() + 6 * MOVIE_RECORD_SIZE;
    seventh[2] = 39500 & 0xFF;
    seventh[3] = 39500 >> 8;
    movie.insert(movie.end(), 1000, 0x55);
    return movie;
}

TEST_F(GstPlugin, PicturesAndSoundAreWhatDumpAndExportGive)
{
    const std::string movie = write_movie("film.mov", movie_with_damage());
    const Reference ref = gst_test_reference(movie, dir);
    ASSERT_EQ(ref.pictures.size(), 7u);
    const CliRun info = cli_run(std::string(MOVTOOL_PATH) + " info " + gst_test_quote(movie));
    const std::string fault = movie_fault_text(MOVIE_FAULT_OVER_AREA);
    ASSERT_NE(info.out.find("damaged: " + fault), std::string::npos) << info.out;
    ASSERT_EQ(cli_run(std::string(MOVTOOL_PATH) + " export " + gst_test_quote(movie) + " " +
                      gst_test_quote(dir + "/png") + " --no-y4m")
                  .status,
              0);

    for (bool push : {false, true}) {
        SCOPED_TRACE(push ? "push" : "pull");
        const PlayRun run = gst_test_play(pipeline(movie, push));
        ASSERT_TRUE(run.eos) << run.error;
        ASSERT_EQ(run.pictures.size(), 14u);
        for (size_t k = 0; k < run.pictures.size(); k++) {
            EXPECT_EQ(run.pictures[k].pts, k * 80 * GST_MSECOND) << k;
            EXPECT_EQ(run.pictures[k].duration, 80 * GST_MSECOND) << k;
            EXPECT_TRUE(same_picture(run.pictures[k].rgb, gst_test_rgb(ref, k / 2, k % 2))) << k;
        }
        // Export writes the pictures the player shows: records 0 to n - 2, the last one's A.
        for (size_t k = 0; k < 11; k++) {
            char name[32];
            snprintf(name, sizeof name, "/png/%04zu_%c.png", k / 2, k % 2 ? 'B' : 'A');
            EXPECT_TRUE(same_picture(run.pictures[k].rgb, read_png(dir + name))) << name;
        }
        ASSERT_EQ(run.sounds.size(), 7u);
        for (size_t r = 0; r < run.sounds.size(); r++) {
            EXPECT_EQ(run.sounds[r].pts, r * 160 * GST_MSECOND);
            EXPECT_EQ(run.sounds[r].duration, 160 * GST_MSECOND);
            EXPECT_EQ(run.sounds[r].samples, ref.sounds[r]) << r;
        }
        // The damaged record is named once, with movtool info's words for its fault.
        ASSERT_EQ(run.warnings.size(), 1u);
        EXPECT_NE(run.warnings[0].find("record 6 damaged: " + fault), std::string::npos)
            << run.warnings[0];
    }
}

TEST_F(GstPlugin, PlaybinPlaysByContentWhateverTheName)
{
    const Bytes bytes = gen_movie(GEN_GRADIENT, 5);
    for (const char *name : {"film.mov", "film", "film.mp4"}) {
        SCOPED_TRACE(name);
        const std::string movie = write_movie(name, bytes);
        const std::string uri = "file://" + movie;
        const PlayRun run =
            gst_test_play("playbin uri=" + gst_test_value(uri) +
                          " video-sink=\"appsink name=v sync=false\" audio-sink=\"appsink name=a "
                          "sync=false\"");
        ASSERT_TRUE(run.eos) << run.error;
        EXPECT_EQ(run.pictures.size(), 10u);
        EXPECT_EQ(run.sounds.size(), 5u);
        EXPECT_TRUE(run.warnings.empty());

        // The command-line tools cannot load a plugin built for a sanitizer.
        if (cli_sanitized()) continue;
        const CliRun discover = cli_run("gst-discoverer-1.0 " + gst_test_quote(uri));
        EXPECT_NE(discover.out.find("Duration: 0:00:00.800000000"), std::string::npos)
            << discover.out;
        EXPECT_NE(discover.out.find("video #"), std::string::npos) << discover.out;
        EXPECT_NE(discover.out.find("audio #"), std::string::npos) << discover.out;
    }
}

// A paused pipeline: seek, and the picture the video sink then holds.
struct Paused {
    GstElement *pipeline = nullptr;
    GstElement *sink = nullptr;
    explicit Paused(const std::string &description)
    {
        pipeline = gst_parse_launch(description.c_str(), nullptr);
        if (!pipeline) return;
        sink = gst_bin_get_by_name(GST_BIN(pipeline), "v");
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        gst_element_get_state(pipeline, nullptr, nullptr, 30 * GST_SECOND);
    }
    ~Paused()
    {
        if (sink) gst_object_unref(sink);
        if (pipeline) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
    }
    bool seek(GstClockTime t, GstSeekFlags flags)
    {
        if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                     static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | flags),
                                     static_cast<gint64>(t)))
            return false;
        return gst_element_get_state(pipeline, nullptr, nullptr, 30 * GST_SECOND) ==
               GST_STATE_CHANGE_SUCCESS;
    }
    // The prerolled picture's time and pixels.
    Picture shown()
    {
        Picture p{GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE, {}};
        GstSample *sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
        if (!sample) return p;
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        p.pts = GST_BUFFER_PTS(buffer);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            p.rgb.assign(map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return p;
    }
};

TEST_F(GstPlugin, SeekingShowsTheRecordThatHoldsTheTime)
{
    const std::string movie = write_movie("film.mov", gen_movie(GEN_SHAPES, 40));
    const Reference ref = gst_test_reference(movie, dir);
    ASSERT_EQ(ref.pictures.size(), 40u);
    const GstClockTime length = 40 * 160 * GST_MSECOND;
    for (bool push : {false, true})
        for (bool accurate : {true, false}) {
            SCOPED_TRACE(std::string(push ? "push" : "pull") + (accurate ? " accurate" : ""));
            Paused paused(pipeline(movie, push));
            ASSERT_NE(paused.sink, nullptr);
            gint64 duration = -1;
            ASSERT_TRUE(gst_element_query_duration(paused.pipeline, GST_FORMAT_TIME, &duration));
            EXPECT_EQ(duration, static_cast<gint64>(length));
            // Each tenth, and a time in the second half of a record, backwards too.
            std::vector<GstClockTime> times;
            for (int i = 9; i >= 0; i--)
                times.push_back(length / 10 * i + (i % 2 ? 0 : 100 * GST_MSECOND));
            for (GstClockTime t : times) {
                ASSERT_TRUE(paused.seek(t, accurate ? GST_SEEK_FLAG_ACCURATE : GST_SEEK_FLAG_NONE))
                    << t;
                const size_t record = t / (160 * GST_MSECOND);
                const int b = accurate && t % (160 * GST_MSECOND) >= 80 * GST_MSECOND ? 1 : 0;
                const Picture p = paused.shown();
                EXPECT_EQ(p.pts, (record * 160 + b * 80) * GST_MSECOND) << t;
                EXPECT_TRUE(same_picture(p.rgb, gst_test_rgb(ref, record, b))) << t;
            }
        }
}

TEST_F(GstPlugin, TypefinderClaimsMoviesAndNothingElse)
{
    auto found = [](const Bytes &data, GstTypeFindProbability *probability) {
        GstCaps *caps = gst_type_find_helper_for_data_with_extension(
            nullptr, data.data(), data.size(), "mov", probability);
        std::string name = caps ? gst_structure_get_name(gst_caps_get_structure(caps, 0)) : "";
        if (caps) gst_caps_unref(caps);
        return name;
    };
    GstTypeFindProbability p = GST_TYPE_FIND_NONE;
    const Bytes movie = gen_movie(GEN_TEXTURE, 3);
    EXPECT_EQ(found(movie, &p), "video/x-cdmovie");
    EXPECT_EQ(p, GST_TYPE_FIND_MAXIMUM);
    EXPECT_EQ(found(Bytes(movie.begin(), movie.begin() + MOVIE_RECORD_SIZE), &p),
              "video/x-cdmovie");
    // What a pushing source shows first: the start of a record.
    EXPECT_EQ(found(Bytes(movie.begin(), movie.begin() + 4096), &p), "video/x-cdmovie");
    EXPECT_GE(p, GST_TYPE_FIND_LIKELY);

    // Files of other formats, made here, whatever they are called.
    const std::string src = "-f lavfi -i testsrc=size=320x200:rate=12.5:duration=2 -f lavfi -i "
                            "sine=frequency=440:sample_rate=22050:duration=2";
    const std::vector<std::pair<std::string, std::string>> others = {
        {"q.mov", "-c:v mpeg4 -c:a pcm_u8"},
        {"q.mp4", "-c:v mpeg4 -c:a aac"},
        {"q.avi", "-c:v rawvideo -c:a pcm_u8"},
        {"q.mkv", "-c:v ffv1 -c:a pcm_s16le"},
        {"q.wav", "-vn -c:a pcm_u8"},
        {"raw.mov", "-f rawvideo -pix_fmt pal8 -an"},
        {"q.mpg", "-c:v mpeg1video -r 25 -c:a mp2"},
    };
    for (const auto &[name, codecs] : others) {
        const std::string path = dir + "/" + name;
        std::string command = "ffmpeg -nostdin -v error -y ";
        command.append(src).append(" ").append(codecs).append(" ").append(gst_test_quote(path));
        const CliRun made = cli_run(command);
        ASSERT_EQ(made.status, 0) << name << made.out;
        EXPECT_NE(found(cli_read_file(path), &p), "video/x-cdmovie") << name;
    }
    std::mt19937 random(21);
    for (size_t size : {size_t{100}, size_t{4096}, size_t{MOVIE_RECORD_SIZE}, size_t{200000}}) {
        Bytes noise(size);
        for (uint8_t &byte : noise)
            byte = static_cast<uint8_t>(random());
        EXPECT_NE(found(noise, &p), "video/x-cdmovie") << size;
        // Six bits everywhere: the palette alone is not enough once a record is whole.
        for (uint8_t &byte : noise)
            byte &= 63;
        noise[1] = 0x40;
        if (size >= MOVIE_RECORD_SIZE) {
            EXPECT_NE(found(noise, &p), "video/x-cdmovie") << size;
        }
    }
    // A movie whose first record is damaged is left alone, and so is a file of zeros.
    Bytes damaged = movie;
    damaged[MOVIE_COLOUR_LIST_OFFSET + (damaged[0] | damaged[1] << 8)] ^= 0xE0;
    EXPECT_NE(found(damaged, &p), "video/x-cdmovie");
    EXPECT_NE(found(Bytes(3 * MOVIE_RECORD_SIZE, 0), &p), "video/x-cdmovie");
}

TEST_F(GstPlugin, SeekPastTheEndEndsTheStream)
{
    const std::string movie = write_movie("film.mov", gen_movie(GEN_FLAT, 5));
    for (bool push : {false, true}) {
        SCOPED_TRACE(push ? "push" : "pull");
        Paused paused(pipeline(movie, push));
        ASSERT_NE(paused.pipeline, nullptr);
        EXPECT_TRUE(gst_element_seek_simple(paused.pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH,
                                            60 * GST_SECOND));
        gst_element_set_state(paused.pipeline, GST_STATE_PLAYING);
        GstBus *bus = gst_element_get_bus(paused.pipeline);
        GstMessage *msg = gst_bus_timed_pop_filtered(
            bus, 20 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
        gst_message_unref(msg);
        gst_object_unref(bus);
    }
}

TEST_F(GstPlugin, EmptyAndSingleRecordFiles)
{
    const Bytes one = gen_movie(GEN_SHAPES, 1);
    const std::string empty = write_movie("empty.mov", Bytes(one.begin(), one.end() - 1));
    const std::string single = write_movie("single.mov", one);
    for (bool push : {false, true}) {
        SCOPED_TRACE(push ? "push" : "pull");
        PlayRun run = gst_test_play(pipeline(empty, push), 20);
        EXPECT_TRUE(run.eos) << run.error;
        EXPECT_TRUE(run.pictures.empty());
        run = gst_test_play(pipeline(single, push), 20);
        EXPECT_TRUE(run.eos) << run.error;
        EXPECT_EQ(run.pictures.size(), 2u);
        EXPECT_EQ(run.sounds.size(), 1u);
    }
    // A player is told plainly that a file of no record is nothing it knows.
    const PlayRun run = gst_test_play("playbin uri=" + gst_test_value("file://" + empty) +
                                          " video-sink=fakesink audio-sink=fakesink",
                                      20);
    EXPECT_FALSE(run.eos);
    EXPECT_FALSE(run.error.empty());
    EXPECT_EQ(run.error.find("timed out"), std::string::npos);
}

TEST_F(GstPlugin, FileThatShrinksWhilePlayingEndsAfterTheCutRecord)
{
    const std::string movie = write_movie("film.mov", gen_movie(GEN_SHAPES, 40));
    const Reference ref = gst_test_reference(movie, dir);
    // Small queues and sinks that hold one buffer: the demuxer cannot read far ahead.
    Paused paused("filesrc location=" + gst_test_value(movie) +
                  " ! cdmoviedemux name=d d.video ! queue max-size-buffers=1 ! cdmoviedec ! "
                  "appsink name=v sync=false max-buffers=1 d.audio ! queue max-size-buffers=1 ! "
                  "appsink name=a sync=false max-buffers=1");
    ASSERT_NE(paused.sink, nullptr);
    // Record 20 is cut inside its colour list.
    ASSERT_EQ(truncate(movie.c_str(), 20 * MOVIE_RECORD_SIZE + 2000), 0);
    gst_element_set_state(paused.pipeline, GST_STATE_PLAYING);
    std::vector<Picture> pictures;
    std::vector<std::string> warnings;
    GstBus *bus = gst_element_get_bus(paused.pipeline);
    GstElement *audio = gst_bin_get_by_name(GST_BIN(paused.pipeline), "a");
    bool eos = false;
    for (int rounds = 0; rounds < 400 && !eos; rounds++) {
        while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(paused.sink), 0)) {
            GstBuffer *b = gst_sample_get_buffer(s);
            pictures.push_back({GST_BUFFER_PTS(b), GST_BUFFER_DURATION(b), {}});
            gst_sample_unref(s);
        }
        while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(audio), 0))
            gst_sample_unref(s);
        while (GstMessage *m = gst_bus_pop(bus)) {
            if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS) eos = true;
            if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) ADD_FAILURE() << "error";
            if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_WARNING) {
                GError *e = nullptr;
                gchar *debug = nullptr;
                gst_message_parse_warning(m, &e, &debug);
                warnings.push_back(debug ? debug : "");
                g_clear_error(&e);
                g_free(debug);
            }
            gst_message_unref(m);
        }
        g_usleep(50000);
    }
    while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(paused.sink), 0)) {
        GstBuffer *b = gst_sample_get_buffer(s);
        pictures.push_back({GST_BUFFER_PTS(b), GST_BUFFER_DURATION(b), {}});
        gst_sample_unref(s);
    }
    gst_object_unref(audio);
    gst_object_unref(bus);
    EXPECT_TRUE(eos);
    // Records 0 to 20, the last as far as it was read: the rest of the movie is not made up.
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(pictures.back().pts, (20 * 160 + 80) * GST_MSECOND);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("record 20 damaged: " +
                               std::string(movie_fault_text(MOVIE_FAULT_SHORT_READ))),
              std::string::npos)
        << warnings[0];
}

TEST_F(GstPlugin, ThreeGigabyteFileHasItsLengthAndEnds)
{
    // Two real records, then a hole: the file takes no space.
    const std::string movie = write_movie("big.mov", gen_movie(GEN_FLAT, 2));
    const off_t size = 3000000000;
    ASSERT_EQ(truncate(movie.c_str(), size), 0);
    const int64_t records = size / MOVIE_RECORD_SIZE;
    for (bool push : {false, true}) {
        SCOPED_TRACE(push ? "push" : "pull");
        Paused paused(pipeline(movie, push));
        ASSERT_NE(paused.sink, nullptr);
        gint64 duration = -1;
        ASSERT_TRUE(gst_element_query_duration(paused.pipeline, GST_FORMAT_TIME, &duration));
        EXPECT_EQ(duration, records * 160 * static_cast<gint64>(GST_MSECOND));
        ASSERT_TRUE(paused.seek(static_cast<GstClockTime>(duration) - 300 * GST_MSECOND,
                                GST_SEEK_FLAG_NONE));
        EXPECT_EQ(paused.shown().pts, static_cast<GstClockTime>(records - 2) * 160 * GST_MSECOND);
        gst_element_set_state(paused.pipeline, GST_STATE_PLAYING);
        GstBus *bus = gst_element_get_bus(paused.pipeline);
        GstElement *audio = gst_bin_get_by_name(GST_BIN(paused.pipeline), "a");
        GstMessage *msg = nullptr;
        GstClockTime last = GST_CLOCK_TIME_NONE;
        for (int rounds = 0; rounds < 200 && !msg; rounds++) {
            while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(paused.sink), 0)) {
                last = GST_BUFFER_PTS(gst_sample_get_buffer(s));
                gst_sample_unref(s);
            }
            while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(audio), 0))
                gst_sample_unref(s);
            msg = gst_bus_timed_pop_filtered(
                bus, 50 * GST_MSECOND,
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        }
        while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(paused.sink), 0)) {
            last = GST_BUFFER_PTS(gst_sample_get_buffer(s));
            gst_sample_unref(s);
        }
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
        gst_message_unref(msg);
        EXPECT_EQ(last, (static_cast<GstClockTime>(records) * 160 - 80) * GST_MSECOND);
        gst_object_unref(audio);
        gst_object_unref(bus);
    }
}

} // namespace
