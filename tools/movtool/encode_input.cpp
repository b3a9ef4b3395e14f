// Reading is left to libpng, libsndfile and libsamplerate; what is ours is fitting a picture
// to the movie's 320x200 and turning sound into the movie's sample format.
#include "tools/movtool/encode_input.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <png.h>
#include <samplerate.h>
#include <sndfile.h>

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

size_t encode_fit_scratch(int32_t h)
{
    return (size_t)ENCODE_WIDTH * h * 3;
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
            memcpy(rgb + ((y0 + y) * ENCODE_WIDTH + x0) * 3, source + (size_t)y * w * 3,
                   (size_t)w * 3);
        return;
    }
    // Columns first, into scratch (ow x h), then rows.
    for (int32_t x = 0; x < ow; x++) {
        double lo, hi;
        span(x, w, ow, &lo, &hi);
        int32_t first = (int32_t)lo, last = (int32_t)std::ceil(hi);
        if (last > w) last = w;
        for (int32_t y = 0; y < h; y++) {
            double acc[3] = {0, 0, 0};
            for (int32_t sx = first; sx < last; sx++) {
                double wgt = std::fmin(hi, sx + 1.0) - std::fmax(lo, (double)sx);
                const uint8_t *s = source + ((size_t)y * w + sx) * 3;
                for (int32_t a = 0; a < 3; a++)
                    acc[a] += wgt * s[a];
            }
            for (int32_t a = 0; a < 3; a++)
                scratch[((size_t)y * ow + x) * 3 + a] = (float)(acc[a] / (hi - lo));
        }
    }
    for (int32_t y = 0; y < oh; y++) {
        double lo, hi;
        span(y, h, oh, &lo, &hi);
        int32_t first = (int32_t)lo, last = (int32_t)std::ceil(hi);
        if (last > h) last = h;
        for (int32_t x = 0; x < ow; x++) {
            double acc[3] = {0, 0, 0};
            for (int32_t sy = first; sy < last; sy++) {
                double wgt = std::fmin(hi, sy + 1.0) - std::fmax(lo, (double)sy);
                const float *s = scratch + ((size_t)sy * ow + x) * 3;
                for (int32_t a = 0; a < 3; a++)
                    acc[a] += wgt * s[a];
            }
            uint8_t *d = rgb + ((size_t)(y0 + y) * ENCODE_WIDTH + x0 + x) * 3;
            for (int32_t a = 0; a < 3; a++) {
                double v = acc[a] / (hi - lo) + 0.5;
                d[a] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
}

bool encode_load_picture(PictureLoader *loader, const char *path, uint8_t *rgb, char *error,
                         size_t error_size)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        snprintf(error, error_size, "%s: cannot open: %s", path, strerror(errno));
        return false;
    }
    uint8_t signature[8];
    size_t got = fread(signature, 1, 8, f);
    fclose(f);
    if (got != 8 || png_sig_cmp(signature, 0, 8)) {
        snprintf(error, error_size, "%s: not a PNG picture", path);
        return false;
    }
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        snprintf(error, error_size, "%s: unreadable PNG: %s", path, image.message);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    size_t bytes = PNG_IMAGE_SIZE(image);
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384 ||
        !grow((void **)&loader->pixels, &loader->pixel_capacity, bytes)) {
        png_image_free(&image);
        snprintf(error, error_size, "%s: picture of %ux%u is too large (at most 16384x16384)", path,
                 image.width, image.height);
        return false;
    }
    png_color black = {0, 0, 0};
    if (!png_image_finish_read(&image, &black, loader->pixels, 0, nullptr)) {
        snprintf(error, error_size, "%s: damaged PNG: %s", path, image.message);
        png_image_free(&image);
        return false;
    }
    int32_t w = (int32_t)image.width, h = (int32_t)image.height;
    size_t floats = encode_fit_scratch(h);
    if (!grow((void **)&loader->scratch, &loader->scratch_capacity, floats * sizeof(float))) {
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    encode_fit_picture(loader->pixels, w, h, rgb, loader->scratch);
    return true;
}

bool encode_load_sound(const char *path, SoundTrack *track, char *error, size_t error_size)
{
    memset(track, 0, sizeof *track);
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE *file = sf_open(path, SFM_READ, &info);
    if (!file) {
        FILE *probe = fopen(path, "rb");
        if (!probe)
            snprintf(error, error_size, "%s: cannot open: %s", path, strerror(errno));
        else
            snprintf(error, error_size, "%s: not a sound file that can be read: %s", path,
                     sf_strerror(nullptr));
        if (probe) fclose(probe);
        return false;
    }
    if (info.channels < 1 || info.channels > 64 || info.samplerate < 1000 ||
        info.samplerate > 768000 || info.frames < 0 || info.frames > (int64_t)1 << 32) {
        snprintf(error, error_size, "%s: unsupported sound (%d channels at %d Hz)", path,
                 info.channels, info.samplerate);
        sf_close(file);
        return false;
    }
    track->source_rate = info.samplerate;
    track->source_channels = info.channels;
    int64_t frames = info.frames;
    float *mono = (float *)malloc(sizeof(float) * (size_t)(frames > 0 ? frames : 1));
    float *chunk = (float *)malloc(sizeof(float) * 4096 * (size_t)info.channels);
    if (!mono || !chunk) {
        free(mono);
        free(chunk);
        sf_close(file);
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    int64_t have = 0;
    while (have < frames) {
        sf_count_t want = frames - have < 4096 ? frames - have : 4096;
        sf_count_t n = sf_readf_float(file, chunk, want);
        if (n <= 0) break;
        for (sf_count_t i = 0; i < n; i++) {
            float s = 0;
            for (int32_t c = 0; c < info.channels; c++)
                s += chunk[i * info.channels + c];
            mono[have + i] = s / (float)info.channels;
        }
        have += n;
    }
    free(chunk);
    bool damaged = sf_error(file) != SF_ERR_NO_ERROR;
    sf_close(file);
    if (damaged || have < frames) {
        free(mono);
        snprintf(error, error_size, "%s: the sound data is damaged or cut short", path);
        return false;
    }
    float *out = mono;
    int64_t out_count = have;
    if (info.samplerate != ENCODE_SOUND_RATE && have > 0) {
        double ratio = (double)ENCODE_SOUND_RATE / info.samplerate;
        int64_t capacity = (int64_t)std::ceil(have * ratio) + 16;
        out = (float *)malloc(sizeof(float) * (size_t)capacity);
        if (!out) {
            free(mono);
            snprintf(error, error_size, "%s: out of memory", path);
            return false;
        }
        SRC_DATA data;
        memset(&data, 0, sizeof data);
        data.data_in = mono;
        data.input_frames = (long)have;
        data.data_out = out;
        data.output_frames = (long)capacity;
        data.src_ratio = ratio;
        int rc = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
        free(mono);
        if (rc) {
            free(out);
            snprintf(error, error_size, "%s: resampling failed: %s", path, src_strerror(rc));
            return false;
        }
        out_count = data.output_frames_gen;
    }
    track->samples = (uint8_t *)malloc((size_t)(out_count > 0 ? out_count : 1));
    if (!track->samples) {
        free(out);
        snprintf(error, error_size, "%s: out of memory", path);
        return false;
    }
    for (int64_t i = 0; i < out_count; i++) {
        // libsndfile reads 8-bit samples as (v - 128) / 128, so this brings them back
        // unchanged; silence is 0x80 and full scale clips to 0..255.
        float v = std::floor(out[i] * 128.0f + 128.5f);
        if (!std::isfinite(v)) v = 128;
        track->samples[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    track->count = out_count;
    free(out);
    return true;
}

void encode_free_sound(SoundTrack *track)
{
    free(track->samples);
    track->samples = nullptr;
    track->count = 0;
}
