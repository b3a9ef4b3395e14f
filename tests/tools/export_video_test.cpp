// movtool export to video, read back by FFmpeg's own programs: the README's pipeline in a fresh
// folder, and the one-command video files compared picture by picture with movtool dump.
#include "movie/movie.h"
#include "tests/support/record_gen.h"
#include "tests/tools/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sndfile.h>

namespace
{

std::string q(const std::string &s)
{
    return "'" + s + "'";
}

// The pictures the player shows, in order (A of record 0, B of 0, A of 1, ...), as RGB, from
// what movtool dump says the decoder hands out.
std::vector<Bytes> shown_pictures(const std::string &dump, int32_t count)
{
    Bytes raw = file_read(dump);
    const size_t per = MOVIE_PICTURES_BYTES + MOVIE_PALETTE_BYTES + MOVIE_SOUND_SIZE;
    std::vector<Bytes> pictures;
    for (int32_t k = 0; k < count && (size_t)(k / 2 + 1) * per <= raw.size(); k++) {
        const uint8_t *record = &raw[(size_t)(k / 2) * per];
        const uint8_t *indices = record + (k % 2) * MOVIE_PICTURE_BYTES;
        const uint8_t *palette = record + MOVIE_PICTURES_BYTES;
        Bytes rgb((size_t)MOVIE_PICTURE_BYTES * 3, 0);
        for (int32_t i = 0; i < MOVIE_PICTURE_BYTES; i++)
            if (indices[i] >= 1 && indices[i] <= 248)
                for (int32_t c = 0; c < 3; c++) {
                    int32_t v = palette[3 * (indices[i] - 1) + c] & 63;
                    rgb[(size_t)i * 3 + c] = (uint8_t)(v << 2 | v >> 4);
                }
        pictures.push_back(rgb);
    }
    return pictures;
}

// The first `count` pictures of a video file as RGB, each as stored (no frame-rate conversion).
std::vector<Bytes> decoded_pictures(const std::string &video, const std::string &dir, int32_t count)
{
    std::string raw = dir + "/decoded.rgb";
    CliRun run = cli_run("ffmpeg -nostdin -v error -y -i " + q(video) +
                         " -f rawvideo -pix_fmt rgb24 -fps_mode passthrough -frames:v " +
                         std::to_string(count) + " " + q(raw));
    EXPECT_EQ(run.status, 0) << run.out;
    Bytes bytes = file_read(raw);
    std::vector<Bytes> pictures;
    const size_t size = (size_t)MOVIE_PICTURE_BYTES * 3;
    for (size_t at = 0; at + size <= bytes.size(); at += size)
        pictures.emplace_back(bytes.begin() + (long)at, bytes.begin() + (long)(at + size));
    return pictures;
}

double psnr(const Bytes &a, const Bytes &b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++)
        sum += (a[i] - b[i]) * (double)(a[i] - b[i]);
    return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * (double)a.size() / sum);
}

// ffprobe's answer for one entry, e.g. "stream=codec_name" of stream "v:0".
std::string probe(const std::string &file, const std::string &stream, const std::string &entry)
{
    std::string select = stream.empty() ? "" : " -select_streams " + stream;
    CliRun run = cli_run("ffprobe -v error -count_frames" + select + " -show_entries " + entry +
                         " -of default=noprint_wrappers=1:nokey=1 " + q(file));
    while (!run.out.empty() && (run.out.back() == '\n' || run.out.back() == '\r'))
        run.out.pop_back();
    return run.out;
}

// A film-like picture: a soft sky over soft hills, a blurred sun that moves. Films are what
// H.264's 4:2:0 pictures are made for; hard-edged colour blocks lose detail to it.
Rgb soft_picture(int32_t frame)
{
    Rgb p = rgb_make(320, 200);
    for (int32_t y = 0; y < 200; y++)
        for (int32_t x = 0; x < 320; x++) {
            double hill = 120 + 25 * std::sin(x / 40.0 + frame * 0.1);
            double sun = std::exp(-(std::pow(x - 80 - 6.0 * frame, 2) + std::pow(y - 60, 2)) / 900);
            double r = 90 + 0.3 * y + 150 * sun, g = 120 + 0.4 * y + 120 * sun, b = 200 - 0.2 * y;
            if (y > hill) {
                double depth = (y - hill) / 80;
                r = 60 + 40 * depth;
                g = 130 - 30 * depth;
                b = 50 + 10 * depth;
            }
            rgb_set(&p, x, y, (uint8_t)std::min(255.0, r), (uint8_t)std::min(255.0, g),
                    (uint8_t)std::min(255.0, b));
        }
    return p;
}

TEST(ExportVideo, TheReadmePipelineWorksTheFirstTimeInAFreshFolder)
{
    std::string dir = test_folder("video_readme");
    ASSERT_TRUE(gen_write_file((dir + "/trailer.mov").c_str(), gen_movie(GEN_SHAPES, 6)));
    // As the README writes it, with the tool's own path; ffmpeg must find the sound complete.
    std::string tool = MOVTOOL_PATH;
    std::string tool_folder = tool.substr(0, tool.rfind('/'));
    CliRun run = cli_run("cd " + q(dir) + " && PATH=" + q(tool_folder) +
                         ":$PATH && movtool export trailer.mov frames | ffmpeg -i - -i "
                         "frames/sound.wav -c:v libx264 -pix_fmt yuv420p -c:a aac trailer.mp4");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(probe(dir + "/trailer.mp4", "", "stream=codec_type"), "video\naudio");
    // Five records shown: 0.8 s of sound, nine pictures with the first one twice.
    EXPECT_NEAR(std::atof(probe(dir + "/trailer.mp4", "a:0", "stream=duration").c_str()), 0.8,
                0.05);
    EXPECT_EQ(probe(dir + "/trailer.mp4", "v:0", "stream=nb_read_frames"), "10");
}

TEST(ExportVideo, OnlyTheVideoExportLoadsFFmpeg)
{
    // The loader names every library it loads: movtool's other commands start without FFmpeg's
    // hundred-odd libraries; the video export's own program loads them.
    std::string dir = test_folder("video_libraries");
    const std::string movie = q(dir + "/in.mov");
    ASSERT_TRUE(gen_write_file((dir + "/in.mov").c_str(), gen_movie(GEN_SHAPES, 3)));
    for (const std::string &args :
         {"info " + movie, "dump " + movie + " " + q(dir + "/d.raw"),
          "screen " + movie + " 0 A 565 320x200 " + q(dir + "/s.raw"),
          "export " + movie + " " + q(dir + "/frames") + " --no-y4m", std::string("--help")}) {
        CliRun run = cli_run("LD_DEBUG=libs " + std::string(MOVTOOL_PATH) + " " + args);
        EXPECT_EQ(run.status, 0) << args << "\n" << run.out;
        EXPECT_NE(run.out.find("libc.so"), std::string::npos) << "the loader said nothing";
        EXPECT_EQ(run.out.find("libavcodec"), std::string::npos) << args;
    }
    CliRun video = cli_run("LD_DEBUG=libs " + std::string(MOVTOOL_PATH) + " export " + movie + " " +
                           q(dir + "/out.mkv"));
    EXPECT_EQ(video.status, 0) << video.out;
    EXPECT_NE(video.out.find("libavcodec"), std::string::npos);
}

struct VideoCase {
    const char *ending, *video, *audio, *pixel_format;
    int32_t extra_pictures; // the first picture stored twice where the rate is fixed
    bool lossless;
};

TEST(ExportVideo, OneCommandMakesAVideoWithEveryPictureAtItsTimeAndTheWholeSound)
{
    std::string dir = test_folder("video_one");
    const int32_t records = 3, shown = records - 1, pictures = 2 * shown - 1;
    const std::string movie = dir + "/in.mov";
    std::string names;
    for (int32_t i = 0; i < 2 * records; i++) {
        std::string name = dir + "/" + std::to_string(i) + ".png";
        ASSERT_TRUE(png_write(name, soft_picture(i)));
        names += " " + q(name);
    }
    std::vector<float> tone((size_t)records * MOVIE_SOUND_SIZE);
    for (size_t i = 0; i < tone.size(); i++) {
        int32_t pitch = 1 + (int32_t)i / 4000; // a step up every 4000 samples
        tone[i] = 0.5f * (float)std::sin((double)i * 0.05 * pitch);
    }
    ASSERT_TRUE(wav_write(dir + "/tone.wav", tone, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    CliRun encode =
        movtool_run("encode -q -o " + q(movie) + " --audio " + q(dir + "/tone.wav") + names);
    ASSERT_EQ(encode.status, 0) << encode.out;
    ASSERT_EQ(movtool_run("dump " + q(movie) + " " + q(dir + "/dump.raw")).status, 0);
    std::vector<Bytes> want = shown_pictures(dir + "/dump.raw", pictures);
    ASSERT_EQ(want.size(), (size_t)pictures);
    for (const VideoCase &c : {VideoCase{"mkv", "ffv1", "pcm_u8", "bgr0", 0, true},
                               VideoCase{"avi", "ffv1", "pcm_u8", "bgr0", 1, true},
                               VideoCase{"mp4", "h264", "aac", "yuv420p", 0, false}}) {
        SCOPED_TRACE(c.ending);
        const std::string video = dir + "/out." + c.ending;
        CliRun run = movtool_run("export " + q(movie) + " " + q(video));
        ASSERT_EQ(run.status, 0) << run.out;
        // 320x200 pictures are shown at 4:3: pixels 5:6.
        EXPECT_EQ(probe(video, "v:0", "stream=codec_name,width,height,sample_aspect_ratio,pix_fmt"),
                  std::string(c.video) + "\n320\n200\n5:6\n" + c.pixel_format);
        EXPECT_EQ(probe(video, "a:0", "stream=codec_name,sample_rate,channels"),
                  std::string(c.audio) + "\n22050\n1");
        EXPECT_EQ(probe(video, "v:0", "stream=nb_read_frames"),
                  std::to_string(pictures + c.extra_pictures));
        EXPECT_NEAR(std::atof(probe(video, "", "format=duration").c_str()), shown * 0.16, 0.03);
        std::vector<Bytes> got = decoded_pictures(video, dir, pictures + c.extra_pictures);
        ASSERT_EQ(got.size(), (size_t)(pictures + c.extra_pictures));
        if (c.extra_pictures) got.erase(got.begin());
        for (size_t k = 0; k < want.size(); k++)
            if (c.lossless)
                EXPECT_TRUE(got[k] == want[k]) << "picture " << k;
            else {
                EXPECT_GT(psnr(got[k], want[k]), 40.0) << "picture " << k;
                printf("H.264 picture %zu: PSNR %.1f dB\n", k, psnr(got[k], want[k]));
            }
    }
    // The lossless sound is the movie's, byte for byte, as the folder export writes it.
    ASSERT_EQ(movtool_run("export " + q(movie) + " " + q(dir + "/frames") + " --no-y4m").status, 0);
    CliRun sound = cli_run("ffmpeg -nostdin -v error -y -i " + q(dir + "/out.mkv") +
                           " -map 0:a -f u8 " + q(dir + "/sound.u8"));
    ASSERT_EQ(sound.status, 0) << sound.out;
    Bytes wav = file_read(dir + "/frames/sound.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_TRUE(file_read(dir + "/sound.u8") == Bytes(wav.begin() + 44, wav.end()));

    // The MP4's sound is lossy, but as loud as the movie's (its RMS within half a decibel), with
    // no offset, and as long.
    CliRun aac = cli_run("ffmpeg -nostdin -v error -y -i " + q(dir + "/out.mp4") +
                         " -map 0:a -f f32le -ac 1 -ar 22050 " + q(dir + "/sound.f32"));
    ASSERT_EQ(aac.status, 0) << aac.out;
    Bytes f32 = file_read(dir + "/sound.f32");
    std::vector<float> heard(f32.size() / 4);
    memcpy(heard.data(), f32.data(), heard.size() * 4);
    std::vector<float> stored;
    for (size_t i = 44; i < wav.size(); i++)
        stored.push_back((wav[i] - 128) / 128.0f);
    auto mean = [](const std::vector<float> &x) {
        double sum = 0;
        for (float v : x)
            sum += v;
        return sum / (double)x.size();
    };
    auto rms = [&](const std::vector<float> &x) {
        double m = mean(x), sum = 0;
        for (float v : x)
            sum += (v - m) * (v - m);
        return std::sqrt(sum / (double)x.size());
    };
    ASSERT_GT(rms(stored), 0.1);
    EXPECT_NEAR(20 * std::log10(rms(heard) / rms(stored)), 0.0, 0.5);
    EXPECT_NEAR(mean(heard), mean(stored), 0.01);
    EXPECT_NEAR((double)heard.size(), (double)stored.size(), 0.02 * 22050);
}

} // namespace
