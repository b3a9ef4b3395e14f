// Reading is left to libpng, libsndfile and libsamplerate; what is ours is fitting a picture
// to the movie's 320x200 and turning sound into the movie's sample format.
#include "tools/movtool/encode_input.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <png.h>
#include <samplerate.h>
#include <sndfile.h>
#include <utility>

#include "platform/readfile.h"

struct PictureLoader {
    uint8_t *pixels; // the PNG as read, RGB
    size_t pixel_capacity;
    float *scratch;
    size_t scratch_capacity;
};

PictureLoader *encode_loader_alloc()
{
    return new (std::nothrow) PictureLoader{};
}

void encode_loader_free(PictureLoader *loader)
{
    if (!loader) return;
    free(loader->pixels);
    free(loader->scratch);
    delete loader;
}

// Only a regular file, opened without blocking on a FIFO or device.
static FILE *open_input(const char *path, char *error, size_t error_size)
{
    FILE *f = readfile_open(path);
    if (!f)
        snprintf(error, error_size, "%s: cannot open: %s", path,
                 errno == EISDIR   ? "is a directory"
                 : errno == EINVAL ? "not a regular file"
                                   : strerror(errno));
    return f;
}

static bool grow(void **buffer, size_t *capacity, size_t bytes)
{
    if (bytes <= *capacity) return true;
    void *p = realloc(*buffer, bytes);
    if (!p) return false;
    *buffer = p;
    *capacity = bytes;
    return true;
}

// Source pixels [lo, hi) in units of source pixels that output pixel i covers along one axis.
static void span(int32_t i, int32_t in, int32_t out, double *lo, double *hi)
{
    *lo = (double)i * in / out;
    *hi = (double)(i + 1) * in / out;
}

// One pass of area averaging along one axis. Output sample i of line j is the mean of input
// samples [lo, hi) of line j, each weighted by how much of it the span covers; input sample k of
// line j is the RGB triple at in + j * line_step + k * sample_step. store(i, j, mean) keeps it.
template <typename In, typename Store>
static void average_pass(const In *in, size_t sample_step, size_t line_step, int32_t in_count,
                         int32_t out_count, int32_t lines, Store store)
{
    for (int32_t i = 0; i < out_count; i++) {
        double lo, hi;
        span(i, in_count, out_count, &lo, &hi);
        int32_t first = (int32_t)lo, last = (int32_t)std::ceil(hi);
        if (last > in_count) last = in_count;
        for (int32_t j = 0; j < lines; j++) {
            double acc[3] = {0, 0, 0};
            for (int32_t k = first; k < last; k++) {
                double wgt = std::fmin(hi, k + 1.0) - std::fmax(lo, (double)k);
                const In *s = in + (size_t)j * line_step + (size_t)k * sample_step;
                for (int32_t a = 0; a < 3; a++)
                    acc[a] += wgt * s[a];
            }
            double mean[3];
            for (int32_t a = 0; a < 3; a++)
                mean[a] = acc[a] / (hi - lo);
            store(i, j, mean);
        }
    }
}

size_t encode_fit_scratch(int32_t h)
{
    return (size_t)ENCODE_WIDTH * (size_t)h * 3;
}

void encode_fit_picture(const uint8_t *source, int32_t w, int32_t h, uint8_t *rgb, float *scratch)
{
    memset(rgb, 0, (size_t)ENCODE_WIDTH * ENCODE_HEIGHT * 3);
    // Largest size of the same shape that fits, at least one pixel each way.
    int32_t ow = ENCODE_WIDTH, oh = ENCODE_HEIGHT;
    if ((int64_t)w * ENCODE_HEIGHT > (int64_t)h * ENCODE_WIDTH)
        oh = (int32_t)(((int64_t)h * ENCODE_WIDTH + w / 2) / w);
    else
        ow = (int32_t)(((int64_t)w * ENCODE_HEIGHT + h / 2) / h);
    if (ow < 1) ow = 1;
    if (oh < 1) oh = 1;
    int32_t x0 = (ENCODE_WIDTH - ow) / 2, y0 = (ENCODE_HEIGHT - oh) / 2;
    if (ow == w && oh == h) {
        for (int32_t y = 0; y < h; y++)
            memcpy(rgb + ((y0 + y) * ENCODE_WIDTH + x0) * 3, source + (ptrdiff_t)y * w * 3,
                   (size_t)w * 3);
        return;
    }
    // Columns first, into scratch (ow x h), then rows.
    average_pass(source, 3, (size_t)w * 3, w, ow, h, [&](int32_t x, int32_t y, const double *m) {
        for (int32_t a = 0; a < 3; a++)
            scratch[((ptrdiff_t)y * ow + x) * 3 + a] = (float)m[a];
    });
    average_pass(scratch, (size_t)ow * 3, 3, h, oh, ow, [&](int32_t y, int32_t x, const double *m) {
        uint8_t *d = rgb + ((ptrdiff_t)(y0 + y) * ENCODE_WIDTH + x0 + x) * 3;
        for (int32_t a = 0; a < 3; a++) {
            double v = m[a] + 0.5;
            d[a] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    });
}

bool encode_load_picture(PictureLoader *loader, const char *path, uint8_t *rgb, char *error,
                         size_t error_size)
{
    FILE *f = open_input(path, error, error_size);
    if (!f) return false;
    uint8_t signature[8];
    size_t got = fread(signature, 1, 8, f);
    if (got != 8 || png_sig_cmp(signature, 0, 8) || fseek(f, 0, SEEK_SET) != 0) {
        fclose(f);
        snprintf(error, error_size, "%s: not a PNG picture", path);
        return false;
    }
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    // The image reads from f until png_image_free, which closes nothing: f is closed here.
    bool begun = png_image_begin_read_from_stdio(&image, f) != 0;
    if (!begun) {
        fclose(f);
        snprintf(error, error_size, "%s: unreadable PNG: %s", path, image.message);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    size_t bytes = PNG_IMAGE_SIZE(image);
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384 ||
        !grow((void **)&loader->pixels, &loader->pixel_capacity, bytes)) {
        png_image_free(&image);
        fclose(f);
        snprintf(error, error_size, "%s: picture of %ux%u is too large (at most 16384x16384)", path,
                 image.width, image.height);
        return false;
    }
    png_color black = {0, 0, 0};
    bool read = png_image_finish_read(&image, &black, loader->pixels, 0, nullptr) != 0;
    if (!read) snprintf(error, error_size, "%s: damaged PNG: %s", path, image.message);
    png_image_free(&image);
    fclose(f);
    if (!read) return false;
    int32_t w = (int32_t)image.width, h = (int32_t)image.height;
    size_t floats = encode_fit_scratch(h);
    if (!grow((void **)&loader->scratch, &loader->scratch_capacity, floats * sizeof(float))) {
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    encode_fit_picture(loader->pixels, w, h, rgb, loader->scratch);
    return true;
}

// Growable float buffers that free themselves on every way out.
struct FloatBuffer {
    float *data = nullptr;
    FloatBuffer() = default;
    FloatBuffer(const FloatBuffer &) = delete;
    FloatBuffer &operator=(const FloatBuffer &) = delete;
    ~FloatBuffer() { free(data); }
    bool alloc(int64_t count)
    {
        free(data);
        data = (float *)malloc(sizeof(float) * (size_t)(count > 0 ? count : 1));
        return data != nullptr;
    }
};

// The open sound file's frames, channels averaged into mono. false when the data is damaged,
// cut short or does not fit in memory.
static bool sound_mix_down(SNDFILE *file, const SF_INFO &info, FloatBuffer *mono, int64_t *count,
                           const char *path, char *error, size_t error_size)
{
    FloatBuffer chunk;
    if (!mono->alloc(info.frames) || !chunk.alloc(4096 * (int64_t)info.channels)) {
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    int64_t have = 0;
    while (have < info.frames) {
        sf_count_t want = info.frames - have < 4096 ? info.frames - have : 4096;
        sf_count_t n = sf_readf_float(file, chunk.data, want);
        if (n <= 0) break;
        for (sf_count_t i = 0; i < n; i++) {
            float s = 0;
            for (int32_t c = 0; c < info.channels; c++)
                s += chunk.data[i * info.channels + c];
            mono->data[have + i] = s / (float)info.channels;
        }
        have += n;
    }
    if (sf_error(file) != SF_ERR_NO_ERROR || have < info.frames) {
        snprintf(error, error_size, "%s: the sound data is damaged or cut short", path);
        return false;
    }
    *count = have;
    return true;
}

// Opens, checks and reads the sound file into mono floats at its own rate.
static bool sound_read(const char *path, SoundTrack *track, FloatBuffer *mono, int64_t *count,
                       char *error, size_t error_size)
{
    FILE *input = open_input(path, error, error_size);
    if (!input) return false;
    SF_INFO info;
    memset(&info, 0, sizeof info);
    // libsndfile reads through the descriptor, which stays ours to close.
    SNDFILE *file = sf_open_fd(fileno(input), SFM_READ, &info, SF_FALSE);
    bool ok = file != nullptr;
    if (!ok)
        snprintf(error, error_size, "%s: not a sound file that can be read: %s", path,
                 sf_strerror(nullptr));
    if (ok && (info.channels < 1 || info.channels > 64 || info.samplerate < 1000 ||
               info.samplerate > 768000 || info.frames < 0 || info.frames > (int64_t)1 << 32)) {
        snprintf(error, error_size, "%s: unsupported sound (%d channels at %d Hz)", path,
                 info.channels, info.samplerate);
        ok = false;
    }
    if (ok) {
        track->source_rate = info.samplerate;
        track->source_channels = info.channels;
        ok = sound_mix_down(file, info, mono, count, path, error, error_size);
    }
    if (file) sf_close(file);
    fclose(input);
    return ok;
}

// Brings count samples at rate to the movie's rate; samples and count are replaced.
static bool sound_resample(FloatBuffer *samples, int64_t *count, int32_t rate, const char *path,
                           char *error, size_t error_size)
{
    if (rate == ENCODE_SOUND_RATE || *count == 0) return true;
    double ratio = (double)ENCODE_SOUND_RATE / rate;
    int64_t capacity = (int64_t)std::ceil((double)*count * ratio) + 16;
    FloatBuffer out;
    if (!out.alloc(capacity)) {
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    SRC_DATA data;
    memset(&data, 0, sizeof data);
    data.data_in = samples->data;
    data.input_frames = (long)*count;
    data.data_out = out.data;
    data.output_frames = (long)capacity;
    data.src_ratio = ratio;
    int rc = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
    if (rc) {
        snprintf(error, error_size, "%s: resampling failed: %s", path, src_strerror(rc));
        return false;
    }
    std::swap(samples->data, out.data);
    *count = data.output_frames_gen;
    return true;
}

// The movie's unsigned 8-bit samples. libsndfile reads 8-bit samples as (v - 128) / 128, so
// this brings them back unchanged; silence is 0x80 and full scale clips to 0..255.
static void sound_to_bytes(const float *samples, int64_t count, uint8_t *bytes)
{
    for (int64_t i = 0; i < count; i++) {
        float v = std::floor(samples[i] * 128.0f + 128.5f);
        if (!std::isfinite(v)) v = 128;
        bytes[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

bool encode_load_sound(const char *path, SoundTrack *track, char *error, size_t error_size)
{
    memset(track, 0, sizeof *track);
    FloatBuffer samples;
    int64_t count = 0;
    if (!sound_read(path, track, &samples, &count, error, error_size) ||
        !sound_resample(&samples, &count, track->source_rate, path, error, error_size))
        return false;
    track->samples = (uint8_t *)malloc((size_t)(count > 0 ? count : 1));
    if (!track->samples) {
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    sound_to_bytes(samples.data, count, track->samples);
    track->count = count;
    return true;
}

void encode_free_sound(SoundTrack *track)
{
    free(track->samples);
    track->samples = nullptr;
    track->count = 0;
}
