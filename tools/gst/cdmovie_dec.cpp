// The decoder: one frame record in, its two pictures out as RGB, A at the record's time and B
// half a record later. It decodes with the player's own reader code and colours the pictures
// with the rule movtool export uses, so what a player shows is what export writes.
//
// A damaged record is decoded as the player decodes it (what is sound, the rest black) and
// named in a warning on the bus with the fault movtool info reports.
#include "present/display.h"
#include "tools/gst/cdmovie.h"

#include <gst/video/video.h>

#include <cstring>

#define GST_CAT_DEFAULT cdmovie_debug

struct CdmovieDec {
    GstElement element;
    GstPad *sinkpad;
    GstPad *srcpad;
    GstSegment segment;
    GstClockTime next_time; // for records that come without a time
    bool discont;
    uint8_t *codes;    // MOVIE_CODE_COUNT
    uint8_t *pictures; // MOVIE_PICTURES_BYTES
};

struct CdmovieDecClass {
    GstElementClass parent_class;
};

G_DEFINE_TYPE(CdmovieDec, cdmovie_dec, GST_TYPE_ELEMENT)

constexpr int32_t DEC_STRIDE = 320 * 3;
constexpr gsize DEC_PICTURE_SIZE = DEC_STRIDE * 200;

static GstStaticPadTemplate dec_sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(CDMOVIE_RECORD_CAPS));
static GstStaticPadTemplate dec_src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-raw, format = (string) RGB, "
                                            "width = (int) 320, height = (int) 200, "
                                            "framerate = (fraction) 25/2, "
                                            "pixel-aspect-ratio = (fraction) 5/6, "
                                            "interlace-mode = (string) progressive"));

static CdmovieDec *dec_of(GstObject *parent)
{
    return reinterpret_cast<CdmovieDec *>(parent);
}

static GstFlowReturn dec_chain(GstPad *, GstObject *parent, GstBuffer *record)
{
    CdmovieDec *dec = dec_of(parent);
    GstMapInfo in;
    if (!gst_buffer_map(record, &in, GST_MAP_READ)) {
        gst_buffer_unref(record);
        GST_ELEMENT_ERROR(dec, RESOURCE, READ, (nullptr), ("cannot read a record"));
        return GST_FLOW_ERROR;
    }
    // A short buffer is a record the file ended inside: what is missing is missing, and the
    // palette's missing bytes are black.
    const int32_t valid = in.size < static_cast<gsize>(MOVIE_RECORD_SIZE)
                              ? static_cast<int32_t>(in.size)
                              : MOVIE_RECORD_SIZE;
    int32_t fault_at = 0;
    const MovieFault fault =
        movie_decode_record(in.data, valid, dec->codes, dec->pictures, &fault_at);
    uint8_t palette[MOVIE_PALETTE_BYTES] = {};
    if (valid > MOVIE_PALETTE_OFFSET) {
        const int32_t have = valid - MOVIE_PALETTE_OFFSET;
        std::memcpy(palette, in.data + MOVIE_PALETTE_OFFSET,
                    static_cast<size_t>(have < MOVIE_PALETTE_BYTES ? have : MOVIE_PALETTE_BYTES));
    }
    gst_buffer_unmap(record, &in);
    const guint64 index = GST_BUFFER_OFFSET(record);
    if (fault != MOVIE_FAULT_NONE) {
        if (index != GST_BUFFER_OFFSET_NONE)
            GST_ELEMENT_WARNING(dec, STREAM, DECODE, ("Damaged movie record."),
                                ("record %" G_GUINT64_FORMAT " damaged: %s (at %d)", index,
                                 movie_fault_text(fault), fault_at));
        else
            GST_ELEMENT_WARNING(dec, STREAM, DECODE, ("Damaged movie record."),
                                ("record damaged: %s (at %d)", movie_fault_text(fault), fault_at));
    }
    uint8_t colours[256][3];
    display_build_rgb_table(colours, palette);

    GstClockTime start = GST_BUFFER_PTS(record);
    if (!GST_CLOCK_TIME_IS_VALID(start)) start = dec->next_time;
    if (GST_CLOCK_TIME_IS_VALID(start)) dec->next_time = start + CDMOVIE_RECORD_TIME;
    if (GST_BUFFER_FLAG_IS_SET(record, GST_BUFFER_FLAG_DISCONT)) dec->discont = true;
    gst_buffer_unref(record);

    GstFlowReturn ret = GST_FLOW_OK;
    for (uint32_t b = 0; b < 2 && ret == GST_FLOW_OK; b++) {
        const GstClockTime at =
            GST_CLOCK_TIME_IS_VALID(start) ? start + b * CDMOVIE_PICTURE_TIME : GST_CLOCK_TIME_NONE;
        // After an accurate seek, pictures that end before the segment starts are not shown.
        if (GST_CLOCK_TIME_IS_VALID(at) && dec->segment.format == GST_FORMAT_TIME &&
            !gst_segment_clip(&dec->segment, GST_FORMAT_TIME, at, at + CDMOVIE_PICTURE_TIME,
                              nullptr, nullptr))
            continue;
        GstBuffer *out = gst_buffer_new_allocate(nullptr, DEC_PICTURE_SIZE, nullptr);
        GstMapInfo map;
        if (!out || !gst_buffer_map(out, &map, GST_MAP_WRITE)) {
            if (out) gst_buffer_unref(out);
            GST_ELEMENT_ERROR(dec, RESOURCE, NO_SPACE_LEFT, (nullptr), ("no memory for a picture"));
            return GST_FLOW_ERROR;
        }
        display_rgb_picture(map.data, DEC_STRIDE, dec->pictures + b * MOVIE_PICTURE_BYTES, colours);
        gst_buffer_unmap(out, &map);
        GST_BUFFER_PTS(out) = at;
        GST_BUFFER_DURATION(out) = CDMOVIE_PICTURE_TIME;
        if (index != GST_BUFFER_OFFSET_NONE) GST_BUFFER_OFFSET(out) = 2 * index + b;
        if (dec->discont) GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_DISCONT);
        dec->discont = false;
        ret = gst_pad_push(dec->srcpad, out);
    }
    return ret;
}

static gboolean dec_sink_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    CdmovieDec *dec = dec_of(parent);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
        gst_event_unref(event);
        GstCaps *caps = gst_static_pad_template_get_caps(&dec_src_template);
        const gboolean ok = gst_pad_set_caps(dec->srcpad, caps);
        gst_caps_unref(caps);
        return ok;
    }
    case GST_EVENT_SEGMENT: {
        const GstSegment *segment;
        gst_event_parse_segment(event, &segment);
        if (segment->format == GST_FORMAT_TIME)
            gst_segment_copy_into(segment, &dec->segment);
        else
            gst_segment_init(&dec->segment, GST_FORMAT_UNDEFINED);
        dec->next_time = GST_CLOCK_TIME_NONE;
        return gst_pad_event_default(pad, parent, event);
    }
    case GST_EVENT_FLUSH_STOP:
        gst_segment_init(&dec->segment, GST_FORMAT_UNDEFINED);
        dec->discont = true;
        return gst_pad_event_default(pad, parent, event);
    default:
        return gst_pad_event_default(pad, parent, event);
    }
}

static GstStateChangeReturn dec_change_state(GstElement *element, GstStateChange transition)
{
    CdmovieDec *dec = reinterpret_cast<CdmovieDec *>(element);
    // Each stream starts afresh, handed to the streaming thread under its lock.
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        GST_PAD_STREAM_LOCK(dec->sinkpad);
        gst_segment_init(&dec->segment, GST_FORMAT_UNDEFINED);
        dec->next_time = GST_CLOCK_TIME_NONE;
        dec->discont = true;
        GST_PAD_STREAM_UNLOCK(dec->sinkpad);
    }
    return GST_ELEMENT_CLASS(cdmovie_dec_parent_class)->change_state(element, transition);
}

static void dec_finalize(GObject *object)
{
    CdmovieDec *dec = reinterpret_cast<CdmovieDec *>(object);
    g_free(dec->codes);
    g_free(dec->pictures);
    G_OBJECT_CLASS(cdmovie_dec_parent_class)->finalize(object);
}

static void cdmovie_dec_class_init(CdmovieDecClass *klass)
{
    GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = dec_finalize;
    element_class->change_state = dec_change_state;
    gst_element_class_add_static_pad_template(element_class, &dec_sink_template);
    gst_element_class_add_static_pad_template(element_class, &dec_src_template);
    gst_element_class_set_static_metadata(
        element_class, "Demo CD movie decoder", "Codec/Decoder/Video",
        "Decodes the block-coded pictures of demo CD movie records to RGB",
        "democd developers <democd@users.noreply.invalid>");
}

static void cdmovie_dec_init(CdmovieDec *dec)
{
    dec->sinkpad = gst_pad_new_from_static_template(&dec_sink_template, "sink");
    gst_pad_set_chain_function(dec->sinkpad, dec_chain);
    gst_pad_set_event_function(dec->sinkpad, dec_sink_event);
    gst_element_add_pad(GST_ELEMENT_CAST(dec), dec->sinkpad);
    dec->srcpad = gst_pad_new_from_static_template(&dec_src_template, "src");
    gst_pad_use_fixed_caps(dec->srcpad);
    gst_element_add_pad(GST_ELEMENT_CAST(dec), dec->srcpad);
    gst_segment_init(&dec->segment, GST_FORMAT_UNDEFINED);
    dec->next_time = GST_CLOCK_TIME_NONE;
    dec->discont = true;
    // Once per element, as the reader's buffers are once per movie.
    dec->codes = static_cast<uint8_t *>(g_malloc(MOVIE_CODE_COUNT));
    dec->pictures = static_cast<uint8_t *>(g_malloc(MOVIE_PICTURES_BYTES));
}
