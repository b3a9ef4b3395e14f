// Seeks and queries from the application's thread while the demuxer's streaming thread plays:
// what the two share must stay consistent (run under ThreadSanitizer, label "threads").
#include "movie/movie.h"
#include "tests/gst/gst_support.h"
#include "tests/support/record_gen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>

namespace
{

// The time of the last picture the decoder handed on, written on the streaming thread.
std::atomic<GstClockTime> last_picture{GST_CLOCK_TIME_NONE};

void picture_handed(GstElement *, GstBuffer *buffer, GstPad *, gpointer)
{
    last_picture.store(GST_BUFFER_PTS(buffer));
}

TEST(GstThreads, SeeksAndQueriesWhilePlaying)
{
    const std::string dir = gst_test_folder();
    ASSERT_FALSE(dir.empty());
    gst_test_init(dir);
    const Bytes part = gen_movie(GEN_SHAPES, 10);
    Bytes bytes;
    for (int i = 0; i < 8; i++)
        bytes.insert(bytes.end(), part.begin(), part.end());
    const std::string movie = dir + "/film.mov";
    ASSERT_TRUE(gen_write_file(movie.c_str(), bytes));
    const GstClockTime length = 80 * 160 * GST_MSECOND;

    std::mt19937 random(21);
    for (bool push : {false, true}) {
        SCOPED_TRACE(push ? "push" : "pull");
        // The decoder on the demuxer's thread, and no picture read here: what passes buffers
        // from thread to thread inside GStreamer is hidden from the sanitizer.
        GstElement *pipeline = gst_parse_launch(
            ("filesrc location=" + gst_test_value(movie) + (push ? " ! queue" : "") +
             " ! cdmoviedemux name=d d.video ! cdmoviedec ! identity name=v signal-handoffs=true "
             "! queue ! fakesink sync=true d.audio ! queue ! fakesink sync=true")
                .c_str(),
            nullptr);
        ASSERT_NE(pipeline, nullptr);
        GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "v");
        g_signal_connect(sink, "handoff", G_CALLBACK(picture_handed), nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        for (int i = 0; i < 40; i++) {
            // Accurate or not, anywhere in the film, without waiting for the last one to end.
            // (Flushing, as players seek: a non-flushing seek waits for the streaming thread,
            // which may wait for the pipeline the application is still changing.)
            const GstSeekFlags flags = static_cast<GstSeekFlags>(
                GST_SEEK_FLAG_FLUSH | (i % 2 ? GST_SEEK_FLAG_ACCURATE : 0));
            const GstClockTime t = random() % length;
            gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, static_cast<gint64>(t));
            gint64 duration = -1;
            if (gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration)) {
                EXPECT_EQ(duration, static_cast<gint64>(length));
            }
            g_usleep(10000 + random() % 20000);
        }
        // Then to the last second, and on to the end.
        ASSERT_TRUE(gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH,
                                            static_cast<gint64>(length - GST_SECOND)));
        GstBus *bus = gst_element_get_bus(pipeline);
        GstMessage *msg = gst_bus_timed_pop_filtered(
            bus, 20 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
        EXPECT_EQ(last_picture.load(), length - 80 * GST_MSECOND);
        gst_message_unref(msg);
        gst_object_unref(bus);
        gst_object_unref(sink);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
    gst_test_remove(dir);
}

} // namespace
