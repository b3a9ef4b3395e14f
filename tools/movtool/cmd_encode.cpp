// movtool encode: PNG pictures (two a record) and an optional sound file into a movie file.
// The movie goes through the output rules (platform/output.h): a failed or interrupted run
// leaves no partial movie behind.
#include <algorithm>
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

// The name of a pattern's picture `number`: the pattern's %d, with its width (space or zero
// padded), put together here rather than given to printf, as the pattern is the user's text.
// A width beyond any file name's length is cut to that length: no such file exists either way.
std::string pattern_name(const char *pattern, long number)
{
    const char *percent = strchr(pattern, '%');
    const char *p = percent + 1;
    const char pad = *p == '0' ? '0' : ' ';
    size_t width = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        width = std::min<size_t>(width * 10 + (size_t)(*p - '0'), 4096);
    std::string digits = std::to_string(number);
    std::string name(pattern, percent);
    if (digits.size() < width) name.append(width - digits.size(), pad);
    return name + digits + (p + 1);
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
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

struct EncodeArgs {
    const char *output;
    const char *audio;
    bool quiet;
    long start; // first number of a pattern, -1: 0 or 1, whichever exists
    std::vector<const char *> inputs;
};

// Reads the command line into args: -1 to go on, else the exit status (0 after --help).
int parse_arguments(int argc, char **argv, EncodeArgs *args)
{
    *args = EncodeArgs{nullptr, nullptr, false, -1, {}};
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
            if (!(args->output = value(a))) return 2;
        } else if (!strcmp(a, "-a") || !strcmp(a, "--audio")) {
            if (!(args->audio = value(a))) return 2;
        } else if (!strcmp(a, "--start-number")) {
            const char *v = value(a);
            char *end = nullptr;
            if (!v || (args->start = strtol(v, &end, 10), *end || args->start < 0 || !*v)) {
                movtool_error("encode: --start-number needs a number of 0 or more");
                return 2;
            }
        } else if (!strcmp(a, "-q") || !strcmp(a, "--quiet")) {
            args->quiet = true;
        } else if (a[0] == '-' && a[1]) {
            movtool_error("encode: unknown option '%s' (try movtool encode --help)", a);
            return 2;
        } else {
            args->inputs.push_back(a);
        }
    }
    if (!args->output) {
        movtool_error("encode: no output file given (-o OUT.mov)");
        return 2;
    }
    return -1;
}

// The pictures in order, patterns expanded, two to a record: 0 or the exit status.
int list_pictures(const EncodeArgs &args, std::vector<std::string> *pictures)
{
    for (const char *in : args.inputs) {
        if (is_pattern(in)) {
            if (!expand_pattern(in, args.start, pictures)) {
                movtool_error("encode: no picture matches %s", in);
                return 1;
            }
        } else {
            pictures->push_back(in);
        }
    }
    if (pictures->empty()) {
        movtool_error("encode: no pictures given");
        return 2;
    }
    if (pictures->size() % 2) {
        movtool_error("encode: %zu pictures given; a record holds two, so the count must be "
                      "even (repeat the last picture to make it so)",
                      pictures->size());
        return 2;
    }
    return 0;
}

// Every input can be read and the output replaces none of them: checked before any work, not
// after minutes of encoding. 0 or the exit status.
int check_files(const EncodeArgs &args, const std::vector<std::string> &pictures)
{
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
    if (args.audio && !output_note_input_name(args.audio)) {
        movtool_error("encode: %s: cannot open: %s", args.audio, strerror(errno));
        return 1;
    }
    if (int refused = output_check(args.output)) {
        movtool_error("encode: %s", output_error());
        return refused;
    }
    return 0;
}

// The sound track read, the working memory taken and the output opened: 0 or the exit status,
// with everything given back on failure.
int run_start(EncodeRun *run, const EncodeArgs &args)
{
    char error[512];
    if (args.audio && !encode_load_sound(args.audio, &run->track, error, sizeof error)) {
        movtool_error("encode: %s", error);
        return 1;
    }
    run->encoder = encode_record_alloc();
    run->loader = encode_loader_alloc();
    run->rgb = (uint8_t *)malloc((size_t)MOVIE_PICTURES_BYTES * 3);
    run->record = (uint8_t *)malloc(MOVIE_RECORD_SIZE);
    run->sound = (uint8_t *)malloc(MOVIE_SOUND_SIZE);
    int status = 0;
    if (!run->encoder || !run->loader || !run->rgb || !run->record || !run->sound) {
        movtool_error("encode: out of memory");
        status = 1;
    } else if ((status = output_open(&run->out, args.output)) != 0) {
        movtool_error("encode: %s", output_error());
    }
    if (status) run_release(run, false);
    return status;
}

// Record r from its two pictures and its slice of the sound track, written out. 0 or 1.
int encode_one(EncodeRun *run, const std::vector<std::string> &pictures, long r, RecordStats *stats)
{
    char error[512];
    for (int p = 0; p < 2; p++)
        if (!encode_load_picture(run->loader, pictures[(size_t)(2 * r + p)].c_str(),
                                 run->rgb + (size_t)p * MOVIE_PICTURE_BYTES * 3, error,
                                 sizeof error)) {
            movtool_error("encode: %s", error);
            return 1;
        }
    memset(run->sound, 0x80, MOVIE_SOUND_SIZE);
    int64_t first = (int64_t)r * MOVIE_SOUND_SIZE;
    if (first < run->track.count) {
        int64_t n = run->track.count - first;
        memcpy(run->sound, run->track.samples + first,
               (size_t)(n < MOVIE_SOUND_SIZE ? n : MOVIE_SOUND_SIZE));
    }
    if (!encode_record(run->encoder, run->rgb, run->sound, run->record, stats, error,
                       sizeof error)) {
        movtool_error("encode: record %ld: %s", r, error);
        return 1;
    }
    if (output_write(&run->out, run->record, MOVIE_RECORD_SIZE) != 0) {
        movtool_error("encode: cannot write %s", output_error());
        return 1;
    }
    return 0;
}

// What the run has made so far, for the lines on stderr.
struct EncodeTally {
    long records;
    double started, started_cpu;
    double total_error, lowest;
    long lossless, lowest_at;
};

void report_record(EncodeTally *t, long r, const RecordStats &stats, bool quiet, bool progress)
{
    double psnr = encode_psnr(stats.squared_error, MOVIE_PICTURES_BYTES * 3.0);
    t->total_error += stats.squared_error;
    t->lossless += stats.lossless;
    if (psnr < t->lowest) {
        t->lowest = psnr;
        t->lowest_at = r;
    }
    if (progress) fputs("\r\033[K", stderr);
    if (!quiet)
        fprintf(stderr, "record %ld: %s, %d colours, %d + %d bytes of %d, PSNR %.2f dB%s\n", r,
                stats.lossless ? "lossless" : "lossy", stats.palette_size, stats.colour_count,
                stats.packed_length, MOVIE_DATA_AREA, psnr,
                stats.lossless ? "" : " (blocks simplified)");
    if (progress) {
        double elapsed = seconds_now(CLOCK_MONOTONIC) - t->started;
        fprintf(stderr, "encoding: record %ld of %ld (%.0f%%), %.1f records/s", r + 1, t->records,
                100.0 * (double)(r + 1) / (double)t->records,
                (double)(r + 1) / (elapsed > 0 ? elapsed : 1));
        fflush(stderr);
    }
}

void report_summary(const EncodeTally &t, const EncodeArgs &args, const SoundTrack &track)
{
    const long records = t.records;
    double elapsed = seconds_now(CLOCK_MONOTONIC) - t.started;
    double cpu = seconds_now(CLOCK_PROCESS_CPUTIME_ID) - t.started_cpu;
    double seconds = (double)records * MOVIE_RECORD_MS / 1000.0;
    fprintf(stderr,
            "wrote %s: %ld records (%.2f s), %ld bytes; lossless records: %ld of %ld; PSNR "
            "overall %.2f dB, lowest %.2f dB (record %ld); %.1f records/s (%.1f a second of "
            "processor time)\n",
            args.output, records, seconds, records * (long)MOVIE_RECORD_SIZE, t.lossless, records,
            encode_psnr(t.total_error, (double)records * MOVIE_PICTURES_BYTES * 3.0), t.lowest,
            t.lowest_at, (double)records / (elapsed > 0 ? elapsed : 1e-9),
            (double)records / (cpu > 0 ? cpu : 1e-9));
    if (args.audio) {
        double sound_seconds = (double)track.count / ENCODE_SOUND_RATE;
        if (sound_seconds > seconds + 0.0005)
            fprintf(stderr, "note: the sound lasts %.2f s; the last %.2f s were left out\n",
                    sound_seconds, sound_seconds - seconds);
        else if (sound_seconds + 0.0005 < seconds)
            fprintf(stderr, "note: the sound lasts %.2f s; the rest of the movie is silent\n",
                    sound_seconds);
    }
}

} // namespace

int movtool_encode(int argc, char **argv)
{
    EncodeArgs args;
    int status = parse_arguments(argc, argv, &args);
    if (status >= 0) return status;
    std::vector<std::string> pictures;
    if ((status = list_pictures(args, &pictures)) != 0 ||
        (status = check_files(args, pictures)) != 0)
        return status;
    if ((long)(pictures.size() / 2) > 0x7fffffffL / MOVIE_RECORD_SIZE) {
        movtool_error("encode: %zu records are more than a movie file can hold",
                      pictures.size() / 2);
        return 2;
    }
    EncodeRun run{};
    if ((status = run_start(&run, args)) != 0) return status;

    const bool progress = isatty(2) && !args.quiet;
    EncodeTally tally{(long)(pictures.size() / 2),
                      seconds_now(CLOCK_MONOTONIC),
                      seconds_now(CLOCK_PROCESS_CPUTIME_ID),
                      0,
                      1e9,
                      0,
                      0};
    for (long r = 0; r < tally.records && !status; r++) {
        RecordStats stats;
        status = encode_one(&run, pictures, r, &stats);
        if (!status) report_record(&tally, r, stats, args.quiet, progress);
    }
    if (progress) fputs("\r\033[K", stderr);
    if (!status && output_commit(&run.out) != 0) {
        movtool_error("encode: cannot write %s", output_error());
        status = 1;
    }
    if (!status) report_summary(tally, args, run.track);
    run_release(&run, status == 0);
    return status;
}
