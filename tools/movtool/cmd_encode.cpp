// movtool encode: PNG pictures (two a record) and an optional sound file into a movie file.
// The movie goes through the output rules (platform/output.h): a failed or interrupted run
// leaves no partial movie behind.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "movie/movie.h"
#include "platform/output.h"
#include "platform/readfile.h"
#include "tools/movtool/encode_input.h"
#include "tools/movtool/encode_record.h"
#include "tools/movtool/movtool.h"

namespace
{

void encode_usage(FILE *out)
{
    fprintf(out,
            "usage: movtool encode -o OUT.mov [--audio SOUND.wav] [--quiet] PICTURES...\n"
            "\n"
            "Makes a movie from PNG pictures, two to a record of 160 ms (12.5 pictures a\n"
            "second), in the order given. A PICTURES argument that holds a number pattern\n"
            "such as frames/%%04d.png stands for frames/0000.png (or 0001), 0001, ... up to the\n"
            "first number that is missing; --start-number N starts it at N.\n"
            "\n"
            "Pictures of any size are scaled to fit 320x200 keeping their shape, by area\n"
            "averaging, and centred on black; transparency is laid over black. Each record\n"
            "gets its own palette of up to 248 colours. Records whose pictures do not fit\n"
            "exactly lose detail where it shows least.\n"
            "\n"
            "The sound (WAV or another format libsndfile reads, any rate, sample format and\n"
            "channel count) is mixed to mono and resampled to 8-bit 22050 Hz; where it is\n"
            "shorter than the pictures the movie is silent, where it is longer it is cut.\n"
            "\n"
            "Options:\n"
            "  -o, --output FILE    the movie to write (replaced only on success)\n"
            "  -a, --audio FILE     the sound track\n"
            "  --start-number N     first number of a picture pattern\n"
            "  -q, --quiet          no line per record, only the summary\n"
            "  -h, --help           this text\n"
            "\n"
            "Exit status: 0 done, 1 an input could not be read or the movie not written,\n"
            "2 bad arguments.\n");
}

bool is_pattern(const char *s)
{
    const char *p = strchr(s, '%');
    if (!p) return false;
    p++;
    while (*p >= '0' && *p <= '9')
        p++;
    return *p == 'd' && !strchr(p, '%');
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string pattern_name(const char *pattern, long number)
{
    char name[4096];
    snprintf(name, sizeof name, pattern, (int)number);
    return name;
}

// Adds the pattern's files; false when not even the first one exists.
bool expand_pattern(const char *pattern, long start, std::vector<std::string> *out)
{
    long n = start;
    if (n < 0) {
        n = 0;
        if (!file_exists(pattern_name(pattern, 0))) n = 1;
    }
    size_t before = out->size();
    while (n < 100000000 && file_exists(pattern_name(pattern, n)))
        out->push_back(pattern_name(pattern, n++));
    return out->size() > before;
}

struct EncodeRun {
    OutputFile out;
    RecordEncoder *encoder;
    PictureLoader *loader;
    SoundTrack track;
    uint8_t *rgb;
    uint8_t *record;
    uint8_t *sound;
};

void run_release(EncodeRun *run, bool keep)
{
    if (!keep) output_abandon(&run->out);
    encode_record_free(run->encoder);
    encode_loader_free(run->loader);
    encode_free_sound(&run->track);
    free(run->rgb);
    free(run->record);
    free(run->sound);
}

double seconds_now(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

} // namespace

int movtool_encode(int argc, char **argv)
{
    const char *output = nullptr;
    const char *audio = nullptr;
    bool quiet = false;
    long start = -1;
    std::vector<const char *> inputs;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        auto value = [&](const char *name) -> const char * {
            if (i + 1 >= argc) {
                movtool_error("encode: %s needs a value", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (!strcmp(a, "-h") || !strcmp(a, "--help")) {
            encode_usage(stdout);
            return 0;
        } else if (!strcmp(a, "-o") || !strcmp(a, "--output")) {
            if (!(output = value(a))) return 2;
        } else if (!strcmp(a, "-a") || !strcmp(a, "--audio")) {
            if (!(audio = value(a))) return 2;
        } else if (!strcmp(a, "--start-number")) {
            const char *v = value(a);
            char *end = nullptr;
            if (!v || (start = strtol(v, &end, 10), *end || start < 0 || !*v)) {
                movtool_error("encode: --start-number needs a number of 0 or more");
                return 2;
            }
        } else if (!strcmp(a, "-q") || !strcmp(a, "--quiet")) {
            quiet = true;
        } else if (a[0] == '-' && a[1]) {
            movtool_error("encode: unknown option '%s' (try movtool encode --help)", a);
            return 2;
        } else {
            inputs.push_back(a);
        }
    }
    if (!output) {
        movtool_error("encode: no output file given (-o OUT.mov)");
        return 2;
    }
    std::vector<std::string> pictures;
    for (const char *in : inputs) {
        if (is_pattern(in)) {
            if (!expand_pattern(in, start, &pictures)) {
                movtool_error("encode: no picture matches %s", in);
                return 1;
            }
        } else {
            pictures.push_back(in);
        }
    }
    if (pictures.empty()) {
        movtool_error("encode: no pictures given");
        return 2;
    }
    if (pictures.size() % 2) {
        movtool_error("encode: %zu pictures given; a record holds two, so the count must be "
                      "even (repeat the last picture to make it so)",
                      pictures.size());
        return 2;
    }
    // A missing picture is reported before any work, not after minutes of encoding.
    for (const std::string &picture : pictures) {
        FILE *file = readfile_open(picture.c_str());
        if (!file) {
            movtool_error("encode: %s: cannot open: %s", picture.c_str(),
                          movtool_open_reason(errno));
            return 1;
        }
        output_note_input(fileno(file));
        fclose(file);
    }
    if (audio && !output_note_input_name(audio)) {
        movtool_error("encode: %s: cannot open: %s", audio, strerror(errno));
        return 1;
    }
    // Nor is an output that would replace one of them.
    if (int refused = output_check(output)) {
        movtool_error("encode: %s", output_error());
        return refused;
    }
    long records = (long)(pictures.size() / 2);
    if (records > 0x7fffffffL / MOVIE_RECORD_SIZE) {
        movtool_error("encode: %ld records are more than a movie file can hold", records);
        return 2;
    }

    EncodeRun run{};
    char error[512];
    if (audio && !encode_load_sound(audio, &run.track, error, sizeof error)) {
        movtool_error("encode: %s", error);
        return 1;
    }
    run.encoder = encode_record_alloc();
    run.loader = encode_loader_alloc();
    run.rgb = (uint8_t *)malloc((size_t)MOVIE_PICTURES_BYTES * 3);
    run.record = (uint8_t *)malloc(MOVIE_RECORD_SIZE);
    run.sound = (uint8_t *)malloc(MOVIE_SOUND_SIZE);
    if (!run.encoder || !run.loader || !run.rgb || !run.record || !run.sound) {
        movtool_error("encode: out of memory");
        run_release(&run, false);
        return 1;
    }
    if (int failed = output_open(&run.out, output)) {
        movtool_error("encode: %s", output_error());
        run_release(&run, false);
        return failed;
    }

    bool progress = isatty(2) && !quiet;
    double started = seconds_now(CLOCK_MONOTONIC);
    double started_cpu = seconds_now(CLOCK_PROCESS_CPUTIME_ID);
    double total_error = 0, lowest = 1e9;
    long lossless = 0, lowest_at = 0;
    int status = 0;
    for (long r = 0; r < records && !status; r++) {
        for (int p = 0; p < 2 && !status; p++)
            if (!encode_load_picture(run.loader, pictures[(size_t)(2 * r + p)].c_str(),
                                     run.rgb + (size_t)p * MOVIE_PICTURE_BYTES * 3, error,
                                     sizeof error)) {
                movtool_error("encode: %s", error);
                status = 1;
            }
        if (status) break;
        memset(run.sound, 0x80, MOVIE_SOUND_SIZE);
        int64_t first = (int64_t)r * MOVIE_SOUND_SIZE;
        if (first < run.track.count) {
            int64_t n = run.track.count - first;
            memcpy(run.sound, run.track.samples + first,
                   (size_t)(n < MOVIE_SOUND_SIZE ? n : MOVIE_SOUND_SIZE));
        }
        RecordStats stats;
        if (!encode_record(run.encoder, run.rgb, run.sound, run.record, &stats, error,
                           sizeof error)) {
            movtool_error("encode: record %ld: %s", r, error);
            status = 1;
            break;
        }
        if (output_write(&run.out, run.record, MOVIE_RECORD_SIZE) != 0) {
            movtool_error("encode: cannot write %s", output_error());
            status = 1;
            break;
        }
        double psnr = encode_psnr(stats.squared_error, MOVIE_PICTURES_BYTES * 3.0);
        total_error += stats.squared_error;
        lossless += stats.lossless;
        if (psnr < lowest) {
            lowest = psnr;
            lowest_at = r;
        }
        if (progress) fputs("\r\033[K", stderr);
        if (!quiet)
            fprintf(stderr, "record %ld: %s, %d colours, %d + %d bytes of %d, PSNR %.2f dB%s\n", r,
                    stats.lossless ? "lossless" : "lossy", stats.palette_size, stats.colour_count,
                    stats.packed_length, MOVIE_DATA_AREA, psnr,
                    stats.lossless ? "" : " (blocks simplified)");
        if (progress) {
            double elapsed = seconds_now(CLOCK_MONOTONIC) - started;
            fprintf(stderr, "encoding: record %ld of %ld (%.0f%%), %.1f records/s", r + 1, records,
                    100.0 * (r + 1) / records, (r + 1) / (elapsed > 0 ? elapsed : 1));
            fflush(stderr);
        }
    }
    if (progress) fputs("\r\033[K", stderr);
    if (!status && output_commit(&run.out) != 0) {
        movtool_error("encode: cannot write %s", output_error());
        status = 1;
    }
    if (status) {
        run_release(&run, false);
        return status;
    }
    double elapsed = seconds_now(CLOCK_MONOTONIC) - started;
    double cpu = seconds_now(CLOCK_PROCESS_CPUTIME_ID) - started_cpu;
    double seconds = records * MOVIE_RECORD_MS / 1000.0;
    fprintf(stderr,
            "wrote %s: %ld records (%.2f s), %ld bytes; lossless records: %ld of %ld; PSNR "
            "overall %.2f dB, lowest %.2f dB (record %ld); %.1f records/s (%.1f a second of "
            "processor time)\n",
            output, records, seconds, records * (long)MOVIE_RECORD_SIZE, lossless, records,
            encode_psnr(total_error, (double)records * MOVIE_PICTURES_BYTES * 3.0), lowest,
            lowest_at, records / (elapsed > 0 ? elapsed : 1e-9), records / (cpu > 0 ? cpu : 1e-9));
    if (audio) {
        double sound_seconds = (double)run.track.count / ENCODE_SOUND_RATE;
        if (sound_seconds > seconds + 0.0005)
            fprintf(stderr, "note: the sound lasts %.2f s; the last %.2f s were left out\n",
                    sound_seconds, sound_seconds - seconds);
        else if (sound_seconds + 0.0005 < seconds)
            fprintf(stderr, "note: the sound lasts %.2f s; the rest of the movie is silent\n",
                    sound_seconds);
    }
    run_release(&run, true);
    return 0;
}
