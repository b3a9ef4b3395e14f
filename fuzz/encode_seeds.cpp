// Seeds for fuzz_encode_input: small pictures and sounds of the kinds the encoder meets.
// usage: encode_seeds DIR
#include <png.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

bool write_png(const std::string &name, int w, int h, png_uint_32 format)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = format;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = static_cast<png_byte>(i * 37 + i / 7);
    return png_image_write_to_file(&image, name.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

bool write_sound(const std::string &name, int rate, int channels, int format)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(name.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    std::vector<float> samples(static_cast<size_t>(64 * channels));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<float>(std::sin(static_cast<double>(i) * 0.3));
    const bool ok = sf_writef_float(f, samples.data(), 64) == 64;
    return sf_close(f) == 0 && ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: encode_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = write_png(dir + "/rgb.png", 8, 5, PNG_FORMAT_RGB) &&
                    write_png(dir + "/rgba.png", 3, 9, PNG_FORMAT_RGBA) &&
                    write_png(dir + "/gray.png", 7, 2, PNG_FORMAT_GRAY) &&
                    write_png(dir + "/linear.png", 4, 4, PNG_FORMAT_LINEAR_RGB) &&
                    write_sound(dir + "/u8.wav", 11025, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8) &&
                    write_sound(dir + "/s16.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16) &&
                    write_sound(dir + "/float.wav", 8000, 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    if (!ok) std::fprintf(stderr, "encode_seeds: cannot write the seeds into %s\n", argv[1]);
    return ok ? 0 : 1;
}
