// movtool export: the pictures a movie shows, in the order and at the times the player shows
// them, as PNG files and as a Y4M stream on stdout, with the sound the player plays under them
// as a WAV file.
//
// Timing, as the player presents: picture A of record 0 appears as the sound starts and stays
// 160 ms; from then on every picture stays 80 ms (B of record i, A of record i + 1, ...). The
// last picture shown is A of record n - 2, and the sound is cut as it appears. So the stream is
// 12.5 pictures a second, A of record 0 twice, and the WAV holds the sound up to the last
// picture plus 80 ms of silence under it.
#include "movie/movie.h"
#include "platform/output.h"
#include "tools/movtool/export.h"
#include "tools/movtool/movtool.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static const char export_usage[] =
    "usage: movtool export MOVIE DIR [--no-y4m] | movtool export MOVIE OUT.mkv|OUT.mp4|OUT.avi";

static const char export_y4m_header[] = "YUV4MPEG2 W320 H200 F25:2 Ip A1:1 C420jpeg\n";

// A PNG through the output rules; 0 or the exit status, with the reason on stderr.
static int export_png(const char *path, const uint8_t *rgb)
{
    OutputFile out;
    int status = output_open(&out, path);
    if (status != 0) {
        movtool_error("%s", output_error());
        return status;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) {
        ok = false;
    } else if (ok) {
        png_init_io(png, out.file);
        png_set_IHDR(png, info, 320, 200, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int32_t y = 0; y < 200; y++)
            png_write_row(png, rgb + y * 320 * 3);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    int error = errno;
    status = ok ? output_commit(&out) : OUTPUT_FAILED;
    if (status != 0) {
        if (ok)
            movtool_error("%s", output_error());
        else
            movtool_error("%s: %s", path, strerror(error ? error : EIO));
        output_abandon(&out);
    }
    return status;
}

static void put32(uint8_t *p, uint32_t v)
{
    for (int32_t i = 0; i < 4; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

static int export_wav(const char *path, const std::vector<uint8_t> &sound)
{
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm',
                          't', ' ', 16,  0,   0, 0, 1, 0, 1,   0,   0,   0,   0,   0,
                          0,   0,   0,   0,   1, 0, 8, 0, 'd', 'a', 't', 'a'};
    put32(header + 4, (uint32_t)(36 + sound.size()));
    put32(header + 24, 22050);
    put32(header + 28, 22050);
    put32(header + 40, (uint32_t)sound.size());
    std::vector<uint8_t> file(header, header + sizeof header);
    file.insert(file.end(), sound.begin(), sound.end());
    return movtool_write_file(path, file.data(), file.size());
}

// BT.601 studio range, 4:2:0 with each chroma sample the mean of its 2x2 pixels.
static int export_y4m_frame(OutputFile *out, const uint8_t *rgb)
{
    static uint8_t planes[320 * 200 * 3 / 2];
    uint8_t *y = planes, *u = planes + 64000, *v = u + 16000;
    for (int32_t i = 0; i < 64000; i++) {
        const uint8_t *p = rgb + 3 * i;
        y[i] = (uint8_t)((66 * p[0] + 129 * p[1] + 25 * p[2] + 128 + 4096) >> 8);
    }
    for (int32_t by = 0; by < 100; by++)
        for (int32_t bx = 0; bx < 160; bx++) {
            int32_t r = 0, g = 0, b = 0;
            for (int32_t d = 0; d < 4; d++) {
                const uint8_t *p = rgb + 3 * ((2 * by + d / 2) * 320 + 2 * bx + d % 2);
                r += p[0];
                g += p[1];
                b += p[2];
            }
            u[by * 160 + bx] = (uint8_t)((-38 * r - 74 * g + 112 * b + 512 + 4 * 32768) >> 10);
            v[by * 160 + bx] = (uint8_t)((112 * r - 94 * g - 18 * b + 512 + 4 * 32768) >> 10);
        }
    int status = output_write(out, "FRAME\n", 6);
    if (status == 0) status = output_write(out, planes, sizeof planes);
    return status;
}

static std::string export_png_name(const std::string &dir, int32_t record, int32_t b)
{
    char file_name[32];
    snprintf(file_name, sizeof file_name, "/%04d_%c.png", record, b ? 'B' : 'A');
    return dir + file_name;
}

// Every name export will write, looked at before the first is: none may be an input.
static int export_check_outputs(const std::string &dir, int32_t shown, bool y4m)
{
    int status = output_check((dir + "/sound.wav").c_str());
    for (int32_t i = 0; i < shown && status == 0; i++)
        for (int32_t b = 0; b < (i == shown - 1 ? 1 : 2) && status == 0; b++)
            status = output_check(export_png_name(dir, i, b).c_str());
    if (status == 0 && y4m) status = output_check("-");
    if (status != 0) movtool_error("%s", output_error());
    return status;
}

// A video file is made by a program of its own, so that FFmpeg's libraries (over a hundred,
// some 30 MB) are loaded only by the export that needs them. It sits where the build and the
// installation both put it, MOVTOOL_VIDEO_HELPER from movtool's own folder, and takes this
// process over: the signals sent to movtool and its exit status are its own.
static int export_start_video(const char *movie, const char *out_name)
{
    char self[OUTPUT_PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        movtool_error("cannot find the video exporter: %s", strerror(n < 0 ? errno : ENOENT));
        return 1;
    }
    self[n] = 0;
    const char *slash = strrchr(self, '/');
    std::string helper(self, slash ? (size_t)(slash - self) : 0);
    helper += "/" MOVTOOL_VIDEO_HELPER;
    std::string movie_arg = movie, out_arg = out_name;
    char *args[] = {helper.data(), movie_arg.data(), out_arg.data(), nullptr};
    fflush(nullptr);
    execv(helper.c_str(), args);
    movtool_error("cannot start the video exporter %s: %s", helper.c_str(), strerror(errno));
    return 1;
}

int movtool_export(int argc, char **argv)
{
    bool y4m = true;
    if (argc == 4 && !strcmp(argv[3], "--no-y4m"))
        y4m = false;
    else if (argc != 3) {
        movtool_error("%s", export_usage);
        return 2;
    }
    const char *name = argv[1];
    struct stat st;
    if (argc == 3 && export_video_format(argv[2]) &&
        !(stat(argv[2], &st) == 0 && S_ISDIR(st.st_mode)))
        return export_start_video(name, argv[2]);
    const std::string dir = argv[2];
    // A terminal gets no picture stream; progress goes only to a terminal.
    if (isatty(STDOUT_FILENO)) y4m = false;
    const bool progress = isatty(STDERR_FILENO) != 0;
    if (!movtool_open_movie(name)) return 1;
    const int32_t records = movie_reader.record_count;
    // Records 0 to n - 2 are shown; n - 1 is read only to learn that the movie goes on.
    const int32_t shown = records >= 2 ? records - 1 : 0;
    int status = export_check_outputs(dir, shown, y4m);
    if (status == 0 && mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        movtool_error("%s: %s", dir.c_str(), strerror(errno));
        status = 1;
    }
    if (status != 0) {
        movie_close();
        movie_free();
        return status;
    }
    if (shown == 0) movtool_error("%s: %d records: the player shows nothing of it", name, records);
    status = export_wav((dir + "/sound.wav").c_str(), export_sound(shown));
    // Again from the start, for the pictures.
    movie_close();
    FILE *file = nullptr;
    if (status == 0 && !movtool_open_input(name, &file)) status = 1;
    if (status != 0) {
        movie_free();
        return status;
    }
    movie_open_stream(file);

    static uint8_t rgb[MOVIE_PICTURE_BYTES * 3];
    OutputFile stream{};
    // Failures of the stream are told here, those of the PNG files where they are written.
    int stream_status = 0;
    if (y4m && (stream_status = output_open(&stream, "-")) == 0)
        stream_status = output_write(&stream, export_y4m_header, strlen(export_y4m_header));
    status = stream_status;
    for (int32_t i = 0; i < shown && status == 0; i++) {
        uint8_t *picture = nullptr, *palette = nullptr, *chunk = nullptr;
        movie_next_frame(&picture, &palette, &chunk);
        if (!picture) break;
        if (movie_reader.fault != MOVIE_FAULT_NONE && progress) fputc('\n', stderr);
        if (movie_reader.fault != MOVIE_FAULT_NONE)
            movtool_error("%s: record %d damaged: %s (at %d)", name, i,
                          movie_fault_text(movie_reader.fault), movie_reader.fault_at);
        int32_t pictures = i == shown - 1 ? 1 : 2;
        for (int32_t b = 0; b < pictures && status == 0; b++) {
            export_rgb(picture + b * MOVIE_PICTURE_BYTES, palette, rgb);
            status = export_png(export_png_name(dir, i, b).c_str(), rgb);
            for (int32_t repeat = i == 0 && b == 0 ? 2 : 1; y4m && repeat > 0 && !status; repeat--)
                status = stream_status = export_y4m_frame(&stream, rgb);
        }
        if (progress) fprintf(stderr, "\rmovtool export: record %d of %d", i + 1, shown);
    }
    if (progress && shown > 0) fputc('\n', stderr);
    if (y4m && status == 0) status = stream_status = output_commit(&stream);
    if (stream_status != 0) movtool_error("%s", output_error());
    movie_close();
    movie_free();
    return status;
}
