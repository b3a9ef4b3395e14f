// movtool export MOVIE OUT.mkv|OUT.mp4|OUT.avi: the movie as an ordinary video file, made with
// FFmpeg's libraries in the video exporter, the program movtool hands this export to.
//
// Matroska and AVI get FFV1 pictures and the movie's own 8-bit sound: nothing is lost. MP4 gets
// H.264 (4:2:0, near transparent quality) and AAC, which every player takes. Matroska and MP4
// carry each picture at its own time (picture A of record 0 for 160 ms, then 80 ms each); AVI
// can only hold a constant rate, so there the first picture is stored twice, as in the Y4M
// stream. The file goes through the output rules like every other output.
#include "platform/output.h"
#include "tools/movtool/export.h"
#include "tools/movtool/movtool.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{

constexpr int32_t VIDEO_WIDTH = 320;
constexpr int32_t VIDEO_HEIGHT = 200;
constexpr int32_t SOUND_RATE = 22050;
const AVRational PICTURE_TIME = {1, 25}; // 40 ms: a picture lasts two of them, the first four

struct VideoJob {
    const char *name;
    bool lossless;     // FFV1 + 8-bit PCM, else H.264 + AAC
    bool constant_fps; // the container needs every picture to last the same
    OutputFile out;
    AVFormatContext *format;
    AVCodecContext *video, *audio;
    AVStream *video_stream, *audio_stream;
    SwsContext *scale;
    AVFrame *frame;
    AVPacket *packet;
    int64_t pictures_written;
};

// libavformat writes through these into the output helper's file.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int video_write(void *opaque, const uint8_t *bytes, int n)
#else
int video_write(void *opaque, uint8_t *bytes, int n)
#endif
{
    OutputFile *out = (OutputFile *)opaque;
    if (output_write(out, bytes, (size_t)n) == 0) return n;
    // The cause itself (a full disk, the file size limit), for the message FFmpeg hands back.
    return AVERROR(output_error_number() ? output_error_number() : EIO);
}

int64_t video_seek(void *opaque, int64_t offset, int whence)
{
    FILE *file = ((OutputFile *)opaque)->file;
    if (whence & AVSEEK_SIZE) {
        off_t here = ftello(file);
        if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
        off_t size = ftello(file);
        return fseeko(file, here, SEEK_SET) == 0 ? size : -1;
    }
    if (fseeko(file, offset, whence & ~AVSEEK_FORCE) != 0) return -1;
    return ftello(file);
}

int video_fail(const char *what, int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    movtool_error("%s: %s", what, text);
    return 1;
}

// Sends a frame (nullptr: the end) to an encoder and every packet it gives to the muxer.
int video_encode(VideoJob *job, AVCodecContext *codec, AVStream *stream, const AVFrame *frame)
{
    int rc = avcodec_send_frame(codec, frame);
    while (rc >= 0) {
        rc = avcodec_receive_packet(codec, job->packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
        if (rc < 0) break;
        // Every picture after the first lasts 80 ms; the last one's end is the file's end.
        if (codec == job->video && job->packet->duration == 0)
            job->packet->duration = job->constant_fps ? 1 : 2;
        av_packet_rescale_ts(job->packet, codec->time_base, stream->time_base);
        job->packet->stream_index = stream->index;
        rc = av_interleaved_write_frame(job->format, job->packet);
    }
    return video_fail(job->name, rc);
}

// An encoder's context, or nullptr (with the reason said where this FFmpeg lacks the codec).
static AVCodecContext *video_alloc_encoder(VideoJob *job, const AVCodec *codec, const char *what)
{
    if (!codec) {
        movtool_error("%s: this FFmpeg has no %s encoder", job->name, what);
        return nullptr;
    }
    return avcodec_alloc_context3(codec);
}

// Opens an encoder its caller has set up; on failure says why, frees it and returns nullptr.
static AVCodecContext *video_open_encoder(VideoJob *job, AVCodecContext *c)
{
    if (job->format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(c, c->codec, nullptr);
    if (rc < 0) {
        video_fail(job->name, rc);
        avcodec_free_context(&c);
    }
    return c;
}

AVCodecContext *video_open_picture_encoder(VideoJob *job)
{
    const AVCodec *codec = nullptr;
    if (job->lossless)
        codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    else if (!(codec = avcodec_find_encoder_by_name("libx264")))
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    AVCodecContext *c = video_alloc_encoder(job, codec, job->lossless ? "FFV1" : "H.264");
    if (!c) return nullptr;
    c->width = VIDEO_WIDTH;
    c->height = VIDEO_HEIGHT;
    c->sample_aspect_ratio = {5, 6}; // 320x200 is shown at 4:3
    c->time_base = job->constant_fps ? AVRational{2, 25} : PICTURE_TIME;
    c->framerate = {25, 2};
    // FFV1 keeps the pictures' RGB as it is; H.264 gets the usual studio-range 4:2:0.
    c->pix_fmt = job->lossless ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
    if (!job->lossless) {
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_SMPTE170M;
        c->color_primaries = AVCOL_PRI_SMPTE170M;
        c->color_trc = AVCOL_TRC_SMPTE170M;
        av_opt_set(c->priv_data, "crf", "10", 0);
        av_opt_set(c->priv_data, "preset", "slow", 0);
    }
    return video_open_encoder(job, c);
}

AVCodecContext *video_open_sound_encoder(VideoJob *job)
{
    const AVCodec *codec =
        avcodec_find_encoder(job->lossless ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_AAC);
    AVCodecContext *c = video_alloc_encoder(job, codec, job->lossless ? "PCM" : "AAC");
    if (!c) return nullptr;
    c->sample_rate = SOUND_RATE;
    c->sample_fmt = job->lossless ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&c->ch_layout, 1);
    c->time_base = {1, SOUND_RATE};
    if (!job->lossless) c->bit_rate = 96000;
    return video_open_encoder(job, c);
}

AVStream *video_add_stream(VideoJob *job, AVCodecContext *codec)
{
    AVStream *stream = avformat_new_stream(job->format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec) < 0) return nullptr;
    stream->time_base = codec->time_base;
    if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        stream->sample_aspect_ratio = codec->sample_aspect_ratio;
        stream->avg_frame_rate = {25, 2};
    }
    return stream;
}

// The container with both streams, writing into the output helper's file. 0 or the status.
int video_start(VideoJob *job, const char *container)
{
    int rc = avformat_alloc_output_context2(&job->format, nullptr, container, nullptr);
    if (rc < 0) return video_fail(job->name, rc);
    job->video = video_open_picture_encoder(job);
    job->audio = job->video ? video_open_sound_encoder(job) : nullptr;
    if (!job->audio) return 1;
    job->video_stream = video_add_stream(job, job->video);
    job->audio_stream = job->video_stream ? video_add_stream(job, job->audio) : nullptr;
    job->frame = av_frame_alloc();
    job->packet = av_packet_alloc();
    job->scale = sws_getContext(
        VIDEO_WIDTH, VIDEO_HEIGHT, AV_PIX_FMT_RGB24, VIDEO_WIDTH, VIDEO_HEIGHT, job->video->pix_fmt,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
    if (!job->audio_stream || !job->frame || !job->packet || !job->scale) {
        movtool_error("%s: out of memory", job->name);
        return 1;
    }
    if (int status = output_open(&job->out, job->name)) {
        movtool_error("%s", output_error());
        return status;
    }
    const int buffer_size = 1 << 16;
    uint8_t *buffer = (uint8_t *)av_malloc(buffer_size);
    job->format->pb = buffer ? avio_alloc_context(buffer, buffer_size, 1, &job->out, nullptr,
                                                  video_write, video_seek)
                             : nullptr;
    if (!job->format->pb) {
        av_free(buffer);
        movtool_error("%s: out of memory", job->name);
        return 1;
    }
    job->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The whole sound is encoded before the first picture: the muxer holds it until the
    // pictures catch up, so that the two are interleaved in the file.
    job->format->max_interleave_delta = 0;
    // Only the temporary file of a regular target can be sought in; a FIFO, a device or
    // standard output is written from start to end, which MP4 can do in fragments. Its header
    // waits for the first fragment, so that it can still take the H.264 encoder's delay and
    // the AAC encoder's lead-in out, as in a file: written at once, it left the pictures
    // 240 ms behind the sound.
    const bool seekable = job->out.temporary[0] != 0;
    job->format->pb->seekable = seekable ? AVIO_SEEKABLE_NORMAL : 0;
    AVDictionary *options = nullptr;
    if (!seekable && !strcmp(container, "mp4"))
        av_dict_set(&options, "movflags", "frag_keyframe+delay_moov", 0);
    rc = avformat_write_header(job->format, &options);
    av_dict_free(&options);
    return rc < 0 ? video_fail(job->name, rc) : 0;
}

int video_put_sound(VideoJob *job, const std::vector<uint8_t> &sound)
{
    AVCodecContext *c = job->audio;
    const int64_t chunk = c->frame_size > 0 ? c->frame_size : EXPORT_FRAME_BYTES;
    for (int64_t at = 0; at < (int64_t)sound.size(); at += chunk) {
        int64_t n = std::min<int64_t>(chunk, (int64_t)sound.size() - at);
        AVFrame *f = job->frame;
        av_frame_unref(f);
        f->format = c->sample_fmt;
        f->nb_samples = (int)n;
        f->sample_rate = c->sample_rate;
        if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(f, 0))
            return video_fail(job->name, AVERROR(ENOMEM));
        if (c->sample_fmt == AV_SAMPLE_FMT_U8)
            memcpy(f->data[0], sound.data() + at, (size_t)n);
        else
            for (int64_t i = 0; i < n; i++)
                ((float *)f->data[0])[i] = (sound[(size_t)(at + i)] - 128) / 128.0f;
        f->pts = at;
        if (video_encode(job, c, job->audio_stream, f)) return 1;
    }
    return video_encode(job, c, job->audio_stream, nullptr);
}

// One picture at `at` (in 40 ms units from the start of the sound).
int video_put_picture(VideoJob *job, const uint8_t *rgb, int64_t at)
{
    AVFrame *f = job->frame;
    av_frame_unref(f);
    f->format = job->video->pix_fmt;
    f->width = VIDEO_WIDTH;
    f->height = VIDEO_HEIGHT;
    if (av_frame_get_buffer(f, 0) < 0) return video_fail(job->name, AVERROR(ENOMEM));
    const uint8_t *source[1] = {rgb};
    const int source_stride[1] = {VIDEO_WIDTH * 3};
    sws_scale(job->scale, source, source_stride, 0, VIDEO_HEIGHT, f->data, f->linesize);
    f->pts = job->constant_fps ? at / 2 : at;
    f->color_range = job->video->color_range;
    f->colorspace = job->video->colorspace;
    job->pictures_written++;
    return video_encode(job, job->video, job->video_stream, f);
}

int video_put_pictures(VideoJob *job, const char *movie, int32_t shown)
{
    static uint8_t rgb[MOVIE_PICTURE_BYTES * 3];
    int64_t at = 0;
    for (int32_t i = 0; i < shown; i++) {
        uint8_t *picture = nullptr, *palette = nullptr, *chunk = nullptr;
        movie_next_frame(&picture, &palette, &chunk);
        if (!picture) break;
        if (movie_reader.fault != MOVIE_FAULT_NONE)
            movtool_error("%s: record %d damaged: %s (at %d)", movie, i,
                          movie_fault_text(movie_reader.fault), movie_reader.fault_at);
        for (int32_t b = 0; b < (i == shown - 1 ? 1 : 2); b++) {
            export_rgb(picture + b * MOVIE_PICTURE_BYTES, palette, rgb);
            // The first picture stays twice as long: a second copy where the rate is fixed.
            for (int32_t copy = 0; copy < (at == 0 && job->constant_fps ? 2 : 1); copy++)
                if (video_put_picture(job, rgb, at + 2 * copy)) return 1;
            at += at == 0 ? 4 : 2;
        }
    }
    return video_encode(job, job->video, job->video_stream, nullptr);
}

void video_release(VideoJob *job)
{
    if (job->format && job->format->pb) {
        av_freep(&job->format->pb->buffer);
        avio_context_free(&job->format->pb);
    }
    avformat_free_context(job->format);
    avcodec_free_context(&job->video);
    avcodec_free_context(&job->audio);
    sws_freeContext(job->scale);
    av_frame_free(&job->frame);
    av_packet_free(&job->packet);
    output_abandon(&job->out);
}

} // namespace

int export_video(const char *movie, const char *out_name)
{
    const char *container = export_video_format(out_name);
    av_log_set_level(AV_LOG_ERROR);
    if (!movtool_open_movie(movie)) return 1;
    const int32_t records = movie_reader.record_count;
    const int32_t shown = records >= 2 ? records - 1 : 0;
    VideoJob job{};
    job.name = out_name;
    job.lossless = strcmp(container, "mp4") != 0;
    job.constant_fps = !strcmp(container, "avi");
    job.out.slot = -1;
    int status = output_check(out_name);
    if (status != 0) movtool_error("%s", output_error());
    if (status == 0 && shown == 0) {
        movtool_error("%s: %d records: the player shows nothing of it", movie, records);
        status = 1;
    }
    // Encoders start threads of their own (H.264's): made while the signals that remove the
    // temporary file are held, they leave those signals to this thread, which makes and
    // registers that file with them blocked.
    output_hold_signals();
    if (status == 0) status = video_start(&job, container);
    output_release_signals();
    // The sound first, read ahead as the folder export does; then the pictures from the start.
    if (status == 0) status = video_put_sound(&job, export_sound(shown));
    movie_close();
    FILE *file = nullptr;
    if (status == 0 && !movtool_open_input(movie, &file)) status = 1;
    if (status == 0) {
        movie_open_stream(file);
        status = video_put_pictures(&job, movie, shown);
        movie_close();
    }
    if (status == 0) {
        int rc = av_write_trailer(job.format);
        if (rc < 0) status = video_fail(out_name, rc);
    }
    if (status == 0) {
        avio_flush(job.format->pb);
        if (job.format->pb->error < 0) status = video_fail(out_name, job.format->pb->error);
    }
    if (status == 0 && output_commit(&job.out) != 0) {
        movtool_error("%s", output_error());
        status = 1;
    }
    video_release(&job);
    movie_free();
    return status;
}
