// The demuxer: each frame record becomes one buffer of the video stream (the decoder makes its
// two pictures) and its 160 ms of sound one buffer of the audio stream. Records sit at fixed
// offsets, so the duration is known from the length and a seek goes straight to the record that
// holds the time asked for.
//
// From a source that can be read at random (a file) the demuxer drives its own loop; from one
// that only pushes (a network stream, appsrc) it collects records as they come and turns time
// seeks into byte seeks upstream.
//
// Damaged records go on as the player takes them: the decoder decodes what is sound and names
// the fault. A file that ends inside a record (it shrank while it played) gives that record with
// what was read, silence for the sound that was not, and then the end of the stream.
#include "tools/gst/cdmovie.h"

#include <gst/base/gstadapter.h>
#include <gst/base/gstflowcombiner.h>
#include <gst/pbutils/pbutils.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <mutex>

#define GST_CAT_DEFAULT cdmovie_debug

struct CdmovieDemux {
    GstElement element;
    GstPad *sinkpad;
    GstPad *videopad;
    GstPad *audiopad;
    GstFlowCombiner *flows;
    GstAdapter *adapter;
    // Whole records of the stream, -1 while unknown. Queries read it from any thread; the
    // streaming thread lowers it when the file turns out shorter than measured.
    std::atomic<int64_t> record_count;
    bool pull_mode;
    // Streaming state: the streaming thread's, or a pull-mode seek's while it holds the
    // stream lock with the loop stopped.
    int64_t next_record;
    bool need_segment;
    bool discont;
    guint32 segment_seqnum;
    guint64 skip_bytes; // push mode: bytes before the next record boundary
    GstSegment segment;
    // Guards what a push-mode seek (application thread) shares with the streaming thread.
    std::mutex *lock;
    bool have_pending;
    GstSegment pending_segment;
    guint32 pending_seqnum;
    guint32 last_seek_seqnum;
};

struct CdmovieDemuxClass {
    GstElementClass parent_class;
};

G_DEFINE_TYPE(CdmovieDemux, cdmovie_demux, GST_TYPE_ELEMENT)

static GstStaticPadTemplate demux_sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(CDMOVIE_CAPS));
static GstStaticPadTemplate demux_video_template = GST_STATIC_PAD_TEMPLATE(
    "video", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS(CDMOVIE_RECORD_CAPS));
static GstStaticPadTemplate demux_audio_template = GST_STATIC_PAD_TEMPLATE(
    "audio", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS(CDMOVIE_SOUND_CAPS));

static CdmovieDemux *demux_of(GstObject *parent)
{
    return reinterpret_cast<CdmovieDemux *>(parent);
}

static GstClockTime demux_duration(CdmovieDemux *d)
{
    const int64_t count = d->record_count.load();
    return count < 0 ? GST_CLOCK_TIME_NONE : static_cast<GstClockTime>(count) * CDMOVIE_RECORD_TIME;
}

// Lowers the count to `count` records, never raises it.
static void demux_shorten(CdmovieDemux *d, int64_t count)
{
    int64_t now = d->record_count.load();
    while ((now < 0 || count < now) && !d->record_count.compare_exchange_weak(now, count)) {
    }
}

static void demux_push_src_event(CdmovieDemux *d, GstEvent *event)
{
    if (d->videopad) gst_pad_push_event(d->videopad, gst_event_ref(event));
    if (d->audiopad) gst_pad_push_event(d->audiopad, gst_event_ref(event));
    gst_event_unref(event);
}

// Sets up the time segment for a stream that starts at record `first`, the default when no
// seek asked for one.
static void demux_start_segment(CdmovieDemux *d, int64_t first)
{
    gst_segment_init(&d->segment, GST_FORMAT_TIME);
    const GstClockTime start = static_cast<GstClockTime>(first) * CDMOVIE_RECORD_TIME;
    d->segment.start = d->segment.time = d->segment.position = start;
    d->segment.duration = demux_duration(d);
    d->next_record = first;
    d->need_segment = true;
    d->segment_seqnum = gst_util_seqnum_next();
}

static gboolean demux_src_query(GstPad *pad, GstObject *parent, GstQuery *query)
{
    CdmovieDemux *d = demux_of(parent);
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: {
        GstFormat format;
        gst_query_parse_duration(query, &format, nullptr);
        const GstClockTime duration = demux_duration(d);
        if (format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(duration)) return FALSE;
        gst_query_set_duration(query, GST_FORMAT_TIME, static_cast<gint64>(duration));
        return TRUE;
    }
    case GST_QUERY_SEEKING: {
        GstFormat format;
        gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
        if (format != GST_FORMAT_TIME) return FALSE;
        gboolean seekable = d->pull_mode;
        if (!seekable) {
            GstQuery *bytes = gst_query_new_seeking(GST_FORMAT_BYTES);
            if (gst_pad_peer_query(d->sinkpad, bytes))
                gst_query_parse_seeking(bytes, nullptr, &seekable, nullptr, nullptr);
            gst_query_unref(bytes);
        }
        const GstClockTime duration = demux_duration(d);
        gst_query_set_seeking(query, GST_FORMAT_TIME, seekable, 0,
                              GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<gint64>(duration)
                                                                : -1);
        return TRUE;
    }
    default:
        return gst_pad_query_default(pad, parent, query);
    }
}

static gboolean demux_src_event(GstPad *pad, GstObject *parent, GstEvent *event);

static GstPad *demux_make_pad(CdmovieDemux *d, GstStaticPadTemplate *templ, guint group,
                              const char *codec_tag, const char *codec)
{
    GstPad *pad = gst_pad_new_from_static_template(templ, templ->name_template);
    gst_pad_set_query_function(pad, demux_src_query);
    gst_pad_set_event_function(pad, demux_src_event);
    gst_pad_use_fixed_caps(pad);
    gst_pad_set_active(pad, TRUE);
    gchar *stream_id = gst_pad_create_stream_id(pad, GST_ELEMENT_CAST(d), templ->name_template);
    GstEvent *start = gst_event_new_stream_start(stream_id);
    g_free(stream_id);
    gst_event_set_group_id(start, group);
    gst_pad_push_event(pad, start);
    GstCaps *caps = gst_static_pad_template_get_caps(templ);
    gst_pad_set_caps(pad, caps);
    GstTagList *tags = gst_tag_list_new(GST_TAG_CONTAINER_FORMAT, "Demo CD movie", nullptr);
    if (codec)
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, codec_tag, codec, nullptr);
    else
        gst_pb_utils_add_codec_description_to_tag_list(tags, codec_tag, caps);
    gst_caps_unref(caps);
    gst_pad_push_event(pad, gst_event_new_tag(tags));
    gst_flow_combiner_add_pad(d->flows, pad);
    gst_element_add_pad(GST_ELEMENT_CAST(d), pad);
    return pad;
}

static void demux_add_pads(CdmovieDemux *d)
{
    if (d->videopad) return;
    const guint group = gst_util_group_id_next();
    d->videopad = demux_make_pad(d, &demux_video_template, group, GST_TAG_VIDEO_CODEC,
                                 "Demo CD block-coded pictures");
    d->audiopad = demux_make_pad(d, &demux_audio_template, group, GST_TAG_AUDIO_CODEC, nullptr);
    gst_element_no_more_pads(GST_ELEMENT_CAST(d));
}

static void demux_remove_pads(CdmovieDemux *d)
{
    for (GstPad **pad : {&d->videopad, &d->audiopad})
        if (*pad) {
            gst_flow_combiner_remove_pad(d->flows, *pad);
            gst_element_remove_pad(GST_ELEMENT_CAST(d), *pad);
            *pad = nullptr;
        }
}

static void demux_send_segment(CdmovieDemux *d)
{
    if (!d->need_segment) return;
    d->need_segment = false;
    GstEvent *event = gst_event_new_segment(&d->segment);
    gst_event_set_seqnum(event, d->segment_seqnum);
    demux_push_src_event(d, event);
}

// Hands out record `index`: `record` holds what was read of it (a whole record, or less when
// the file ended inside it). Takes the buffer.
static GstFlowReturn demux_push_record(CdmovieDemux *d, GstBuffer *record, int64_t index)
{
    const gsize size = gst_buffer_get_size(record);
    const GstClockTime start = static_cast<GstClockTime>(index) * CDMOVIE_RECORD_TIME;
    GstBuffer *sound;
    if (size >= static_cast<gsize>(MOVIE_RECORD_SIZE)) {
        sound = gst_buffer_copy_region(record, GST_BUFFER_COPY_MEMORY, MOVIE_SOUND_OFFSET,
                                       MOVIE_SOUND_SIZE);
    } else {
        // Sound the file no longer had is silence, as the player reads it.
        sound = gst_buffer_new_allocate(nullptr, MOVIE_SOUND_SIZE, nullptr);
        GstMapInfo map;
        if (!sound || !gst_buffer_map(sound, &map, GST_MAP_WRITE)) {
            if (sound) gst_buffer_unref(sound);
            gst_buffer_unref(record);
            return GST_FLOW_ERROR;
        }
        std::memset(map.data, 0x80, MOVIE_SOUND_SIZE);
        if (size > static_cast<gsize>(MOVIE_SOUND_OFFSET))
            gst_buffer_extract(record, MOVIE_SOUND_OFFSET, map.data, size - MOVIE_SOUND_OFFSET);
        gst_buffer_unmap(sound, &map);
    }
    if (size > static_cast<gsize>(MOVIE_RECORD_SIZE))
        gst_buffer_resize(record, 0, MOVIE_RECORD_SIZE);
    record = gst_buffer_make_writable(record);
    for (GstBuffer *b : {record, sound}) {
        GST_BUFFER_PTS(b) = start;
        GST_BUFFER_DTS(b) = start;
        GST_BUFFER_DURATION(b) = CDMOVIE_RECORD_TIME;
        if (d->discont) GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DISCONT);
    }
    GST_BUFFER_OFFSET(record) = static_cast<guint64>(index);
    GST_BUFFER_OFFSET_END(record) = static_cast<guint64>(index + 1);
    GST_BUFFER_OFFSET(sound) = static_cast<guint64>(index) * MOVIE_SOUND_SIZE;
    GST_BUFFER_OFFSET_END(sound) = static_cast<guint64>(index + 1) * MOVIE_SOUND_SIZE;
    d->discont = false;
    {
        std::lock_guard<std::mutex> hold(*d->lock);
        d->segment.position = start;
    }

    const GstFlowReturn ret =
        gst_flow_combiner_update_pad_flow(d->flows, d->videopad, gst_pad_push(d->videopad, record));
    const GstFlowReturn sound_ret =
        gst_flow_combiner_update_pad_flow(d->flows, d->audiopad, gst_pad_push(d->audiopad, sound));
    // The combiner folds both pads together, but gives a flush on one pad back at once.
    return ret == GST_FLOW_FLUSHING || ret < GST_FLOW_EOS ? ret : sound_ret;
}

// What ends the stream where the records (or the segment) end: EOS, or segment-done when the
// seek asked for it.
static void demux_send_end(CdmovieDemux *d)
{
    if (d->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
        const gint64 stop = GST_CLOCK_TIME_IS_VALID(d->segment.stop)
                                ? static_cast<gint64>(d->segment.stop)
                                : static_cast<gint64>(d->segment.position);
        GstMessage *msg = gst_message_new_segment_done(GST_OBJECT_CAST(d), GST_FORMAT_TIME, stop);
        gst_message_set_seqnum(msg, d->segment_seqnum);
        gst_element_post_message(GST_ELEMENT_CAST(d), msg);
        GstEvent *done = gst_event_new_segment_done(GST_FORMAT_TIME, stop);
        gst_event_set_seqnum(done, d->segment_seqnum);
        demux_push_src_event(d, done);
        return;
    }
    GstEvent *eos = gst_event_new_eos();
    gst_event_set_seqnum(eos, d->segment_seqnum);
    demux_push_src_event(d, eos);
}

// Whether record `index` lies past the stream's end or the segment's stop.
static bool demux_past_end(CdmovieDemux *d, int64_t index)
{
    const int64_t count = d->record_count.load();
    if (count >= 0 && index >= count) return true;
    const GstClockTime start = static_cast<GstClockTime>(index) * CDMOVIE_RECORD_TIME;
    return GST_CLOCK_TIME_IS_VALID(d->segment.stop) && start >= d->segment.stop;
}

static void demux_loop(GstPad *sinkpad)
{
    CdmovieDemux *d = reinterpret_cast<CdmovieDemux *>(GST_PAD_PARENT(sinkpad));
    demux_add_pads(d);
    demux_send_segment(d);
    GstFlowReturn ret = GST_FLOW_EOS;
    const int64_t index = d->next_record;
    if (!demux_past_end(d, index)) {
        GstBuffer *record = nullptr;
        ret = gst_pad_pull_range(sinkpad, static_cast<guint64>(index) * MOVIE_RECORD_SIZE,
                                 MOVIE_RECORD_SIZE, &record);
        if (ret == GST_FLOW_OK && gst_buffer_get_size(record) == 0) {
            gst_buffer_unref(record);
            ret = GST_FLOW_EOS;
        }
        if (ret == GST_FLOW_EOS) {
            // The file is shorter than it was when measured: it ends here.
            demux_shorten(d, index);
        } else if (ret == GST_FLOW_OK) {
            if (gst_buffer_get_size(record) < static_cast<gsize>(MOVIE_RECORD_SIZE)) {
                GST_WARNING_OBJECT(d, "the file ends inside record %" G_GINT64_FORMAT, index);
                demux_shorten(d, index + 1);
            }
            d->next_record = index + 1;
            ret = demux_push_record(d, record, index);
            if (ret == GST_FLOW_OK) return;
        }
    }
    GST_DEBUG_OBJECT(d, "pausing: %s", gst_flow_get_name(ret));
    gst_pad_pause_task(sinkpad);
    if (ret == GST_FLOW_EOS) {
        demux_send_end(d);
    } else if (ret == GST_FLOW_NOT_LINKED || ret < GST_FLOW_EOS) {
        GST_ELEMENT_FLOW_ERROR(d, ret);
        GstEvent *eos = gst_event_new_eos();
        gst_event_set_seqnum(eos, d->segment_seqnum);
        demux_push_src_event(d, eos);
    }
}

// The segment a time seek asks for, its first record and whether the seek makes sense here.
// Without the accurate flag the segment starts at that record's start, so that what is shown
// and the position agree.
static bool demux_seek_segment(CdmovieDemux *d, GstEvent *event, GstSegment *segment,
                               int64_t *first)
{
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    if (format != GST_FORMAT_TIME || rate <= 0.0) {
        GST_DEBUG_OBJECT(d, "only forward time seeks");
        return false;
    }
    segment->duration = demux_duration(d);
    gboolean update;
    if (!gst_segment_do_seek(segment, rate, format, flags, start_type, static_cast<guint64>(start),
                             stop_type, static_cast<guint64>(stop), &update))
        return false;
    GstClockTime at = segment->position;
    if (GST_CLOCK_TIME_IS_VALID(segment->duration) && at > segment->duration)
        at = segment->duration;
    int64_t index = static_cast<int64_t>(at / CDMOVIE_RECORD_TIME);
    if (!(flags & GST_SEEK_FLAG_ACCURATE)) {
        if ((flags & GST_SEEK_FLAG_SNAP_AFTER) && at % CDMOVIE_RECORD_TIME != 0) index++;
        const GstClockTime snapped = static_cast<GstClockTime>(index) * CDMOVIE_RECORD_TIME;
        segment->start = segment->time = segment->position = snapped;
        if (GST_CLOCK_TIME_IS_VALID(segment->stop) && segment->stop < snapped)
            segment->stop = snapped;
    }
    *first = index;
    return true;
}

static gboolean demux_seek_pull(CdmovieDemux *d, GstEvent *event)
{
    GstSeekFlags flags;
    gst_event_parse_seek(event, nullptr, nullptr, &flags, nullptr, nullptr, nullptr, nullptr);
    const guint32 seqnum = gst_event_get_seqnum(event);
    const bool flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
    if (flush) {
        // Out of any wait downstream and out of a read upstream, so the loop stops at once.
        GstEvent *start = gst_event_new_flush_start();
        gst_event_set_seqnum(start, seqnum);
        gst_pad_push_event(d->sinkpad, gst_event_ref(start));
        demux_push_src_event(d, start);
    } else {
        gst_pad_pause_task(d->sinkpad);
    }
    GST_PAD_STREAM_LOCK(d->sinkpad);
    GstSegment segment = d->segment;
    int64_t first = 0;
    const bool ok = demux_seek_segment(d, event, &segment, &first);
    if (flush) {
        GstEvent *stop = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(stop, seqnum);
        gst_pad_push_event(d->sinkpad, gst_event_ref(stop));
        demux_push_src_event(d, stop);
        gst_flow_combiner_reset(d->flows);
    }
    if (ok) {
        GST_DEBUG_OBJECT(d, "seek to record %" G_GINT64_FORMAT, first);
        d->segment = segment;
        d->next_record = first;
        d->need_segment = true;
        d->discont = true;
        d->segment_seqnum = seqnum;
        if (segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
            GstMessage *msg = gst_message_new_segment_start(GST_OBJECT_CAST(d), GST_FORMAT_TIME,
                                                            static_cast<gint64>(segment.position));
            gst_message_set_seqnum(msg, seqnum);
            gst_element_post_message(GST_ELEMENT_CAST(d), msg);
        }
    }
    gst_pad_start_task(d->sinkpad, reinterpret_cast<GstTaskFunction>(demux_loop), d->sinkpad,
                       nullptr);
    GST_PAD_STREAM_UNLOCK(d->sinkpad);
    return ok;
}

// A time seek from a source that only pushes: the same segment, reached by a byte seek to the
// record's offset upstream; the segment is sent when the bytes from there arrive.
static gboolean demux_seek_push(CdmovieDemux *d, GstEvent *event)
{
    gdouble rate;
    GstSeekFlags flags;
    gst_event_parse_seek(event, &rate, nullptr, &flags, nullptr, nullptr, nullptr, nullptr);
    GstSegment segment;
    {
        std::lock_guard<std::mutex> hold(*d->lock);
        segment = d->segment;
    }
    int64_t first = 0;
    if (!demux_seek_segment(d, event, &segment, &first)) return FALSE;
    const guint32 seqnum = gst_event_get_seqnum(event);
    const int flag_mask = GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT;
    GstEvent *bytes =
        gst_event_new_seek(rate, GST_FORMAT_BYTES, static_cast<GstSeekFlags>(flags & flag_mask),
                           GST_SEEK_TYPE_SET, first * MOVIE_RECORD_SIZE, GST_SEEK_TYPE_NONE, -1);
    gst_event_set_seqnum(bytes, seqnum);
    {
        std::lock_guard<std::mutex> hold(*d->lock);
        d->pending_segment = segment;
        d->pending_seqnum = seqnum;
        d->have_pending = true;
    }
    if (gst_pad_push_event(d->sinkpad, bytes)) return TRUE;
    std::lock_guard<std::mutex> hold(*d->lock);
    d->have_pending = false;
    return FALSE;
}

static gboolean demux_src_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    CdmovieDemux *d = demux_of(parent);
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK) return gst_pad_event_default(pad, parent, event);
    // Every sink of a pipeline passes the application's seek upstream: act on it once.
    const guint32 seqnum = gst_event_get_seqnum(event);
    {
        std::lock_guard<std::mutex> hold(*d->lock);
        if (seqnum == d->last_seek_seqnum) {
            gst_event_unref(event);
            return TRUE;
        }
        d->last_seek_seqnum = seqnum;
    }
    const gboolean ok = d->pull_mode ? demux_seek_pull(d, event) : demux_seek_push(d, event);
    gst_event_unref(event);
    return ok;
}

// Push mode: whole records out of the bytes as they come.
static GstFlowReturn demux_chain(GstPad *, GstObject *parent, GstBuffer *buffer)
{
    CdmovieDemux *d = demux_of(parent);
    if (!d->videopad) {
        gint64 length = -1;
        if (gst_pad_peer_query_duration(d->sinkpad, GST_FORMAT_BYTES, &length) && length >= 0)
            d->record_count.store(length / MOVIE_RECORD_SIZE);
        d->segment.duration = demux_duration(d);
        demux_add_pads(d);
    }
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT)) d->discont = true;
    gst_adapter_push(d->adapter, buffer);
    for (;;) {
        gsize available = gst_adapter_available(d->adapter);
        if (d->skip_bytes > 0) {
            const gsize drop = available < d->skip_bytes ? available : d->skip_bytes;
            gst_adapter_flush(d->adapter, drop);
            d->skip_bytes -= drop;
            available -= drop;
        }
        if (available < static_cast<gsize>(MOVIE_RECORD_SIZE)) return GST_FLOW_OK;
        demux_send_segment(d);
        const int64_t index = d->next_record;
        if (demux_past_end(d, index)) {
            gst_adapter_clear(d->adapter);
            return GST_FLOW_EOS;
        }
        GstBuffer *record = gst_adapter_take_buffer(d->adapter, MOVIE_RECORD_SIZE);
        d->next_record = index + 1;
        const GstFlowReturn ret = demux_push_record(d, record, index);
        if (ret != GST_FLOW_OK) return ret;
    }
}

static gboolean demux_sink_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    CdmovieDemux *d = demux_of(parent);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS:
        // The caps only say "a movie"; the streams' caps are the demuxer's own.
        gst_event_unref(event);
        return TRUE;
    case GST_EVENT_SEGMENT: {
        const GstSegment *upstream;
        gst_event_parse_segment(event, &upstream);
        guint64 offset = upstream->format == GST_FORMAT_BYTES ? upstream->start : 0;
        const int64_t first =
            static_cast<int64_t>((offset + MOVIE_RECORD_SIZE - 1) / MOVIE_RECORD_SIZE);
        gst_adapter_clear(d->adapter);
        d->skip_bytes = static_cast<guint64>(first) * MOVIE_RECORD_SIZE - offset;
        std::lock_guard<std::mutex> hold(*d->lock);
        demux_start_segment(d, first);
        if (d->have_pending) {
            d->segment = d->pending_segment;
            d->segment_seqnum = d->pending_seqnum;
            d->have_pending = false;
            d->discont = true;
        } else {
            d->segment_seqnum = gst_event_get_seqnum(event);
        }
        gst_event_unref(event);
        return TRUE;
    }
    case GST_EVENT_FLUSH_STOP:
        gst_adapter_clear(d->adapter);
        gst_flow_combiner_reset(d->flows);
        return gst_pad_event_default(pad, parent, event);
    case GST_EVENT_EOS:
        // Bytes after the last whole record are never used.
        gst_adapter_clear(d->adapter);
        demux_add_pads(d);
        demux_send_segment(d);
        if (d->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
            gst_event_unref(event);
            demux_send_end(d);
            return TRUE;
        }
        return gst_pad_event_default(pad, parent, event);
    default:
        return gst_pad_event_default(pad, parent, event);
    }
}

static gboolean demux_sink_activate(GstPad *sinkpad, GstObject *)
{
    GstQuery *query = gst_query_new_scheduling();
    bool pull = false;
    if (gst_pad_peer_query(sinkpad, query))
        pull = gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL,
                                                        GST_SCHEDULING_FLAG_SEEKABLE);
    gst_query_unref(query);
    return gst_pad_activate_mode(sinkpad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

static gboolean demux_sink_activate_mode(GstPad *sinkpad, GstObject *parent, GstPadMode mode,
                                         gboolean active)
{
    CdmovieDemux *d = demux_of(parent);
    if (mode == GST_PAD_MODE_PUSH) {
        d->pull_mode = false;
        return TRUE;
    }
    if (mode != GST_PAD_MODE_PULL) return FALSE;
    if (!active) return gst_pad_stop_task(sinkpad);
    gint64 length = -1;
    if (gst_pad_peer_query_duration(sinkpad, GST_FORMAT_BYTES, &length) && length >= 0)
        d->record_count.store(length / MOVIE_RECORD_SIZE);
    // The streaming thread takes its state over under the stream lock.
    GST_PAD_STREAM_LOCK(sinkpad);
    d->pull_mode = true;
    demux_start_segment(d, 0);
    const gboolean started = gst_pad_start_task(
        sinkpad, reinterpret_cast<GstTaskFunction>(demux_loop), sinkpad, nullptr);
    GST_PAD_STREAM_UNLOCK(sinkpad);
    return started;
}

static void demux_reset(CdmovieDemux *d)
{
    gst_adapter_clear(d->adapter);
    d->record_count.store(-1);
    d->skip_bytes = 0;
    d->discont = true;
    d->have_pending = false;
    d->last_seek_seqnum = GST_SEQNUM_INVALID;
    demux_start_segment(d, 0);
    gst_flow_combiner_reset(d->flows);
}

static GstStateChangeReturn demux_change_state(GstElement *element, GstStateChange transition)
{
    CdmovieDemux *d = reinterpret_cast<CdmovieDemux *>(element);
    // The streaming state is the streaming thread's: set it up and clear it under its lock.
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        GST_PAD_STREAM_LOCK(d->sinkpad);
        demux_reset(d);
        GST_PAD_STREAM_UNLOCK(d->sinkpad);
    }
    const GstStateChangeReturn ret =
        GST_ELEMENT_CLASS(cdmovie_demux_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        GST_PAD_STREAM_LOCK(d->sinkpad);
        demux_remove_pads(d);
        demux_reset(d);
        GST_PAD_STREAM_UNLOCK(d->sinkpad);
    }
    return ret;
}

static void demux_finalize(GObject *object)
{
    CdmovieDemux *d = reinterpret_cast<CdmovieDemux *>(object);
    g_object_unref(d->adapter);
    gst_flow_combiner_free(d->flows);
    delete d->lock;
    G_OBJECT_CLASS(cdmovie_demux_parent_class)->finalize(object);
}

static void cdmovie_demux_class_init(CdmovieDemuxClass *klass)
{
    GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = demux_finalize;
    element_class->change_state = demux_change_state;
    gst_element_class_add_static_pad_template(element_class, &demux_sink_template);
    gst_element_class_add_static_pad_template(element_class, &demux_video_template);
    gst_element_class_add_static_pad_template(element_class, &demux_audio_template);
    gst_element_class_set_static_metadata(
        element_class, "Demo CD movie demuxer", "Codec/Demuxer",
        "Splits demo CD movies into their frame records and 8-bit sound",
        "democd developers <democd@users.noreply.invalid>");
}

static void cdmovie_demux_init(CdmovieDemux *d)
{
    d->sinkpad = gst_pad_new_from_static_template(&demux_sink_template, "sink");
    gst_pad_set_activate_function(d->sinkpad, demux_sink_activate);
    gst_pad_set_activatemode_function(d->sinkpad, demux_sink_activate_mode);
    gst_pad_set_chain_function(d->sinkpad, demux_chain);
    gst_pad_set_event_function(d->sinkpad, demux_sink_event);
    gst_element_add_pad(GST_ELEMENT_CAST(d), d->sinkpad);
    d->adapter = gst_adapter_new();
    d->flows = gst_flow_combiner_new();
    d->lock = new std::mutex;
    new (&d->record_count) std::atomic<int64_t>(-1);
    demux_reset(d);
}
