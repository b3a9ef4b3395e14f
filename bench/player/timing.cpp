// The player's picture timing and CPU use over a whole movie on the headless backend at real
// time: how long after the play cursor enters the next quarter picture B appears, how long after
// picture B picture A follows, and the CPU time of all threads.
#include "platform/headless/headless.h"
#include "player/player.h"
#include "tests/support/record_gen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

static double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (double)(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (double)(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static void report(const char *what, std::vector<double> v)
{
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    printf("%-34s median %6.3f ms   p99 %6.3f ms   max %6.3f ms   (%zu pictures)\n", what,
           v[v.size() / 2], v[(v.size() * 99) / 100], v.back(), v.size());
}

int main(int argc, char **argv)
{
    int32_t records = argc > 1 ? atoi(argv[1]) : 64; // 64 records: 10.1 s
    const char *base = getenv("TMPDIR");
    std::string dir = std::string(base && *base ? base : "/tmp") + "/bench_timing_XXXXXX";
    if (!mkdtemp(&dir[0])) return 1;
    std::string movie = dir + "/movie.mov";
    if (!gen_write_file(movie.c_str(), gen_movie(GEN_SHAPES, records))) return 1;
    HeadlessConfig c = headless_defaults();
    c.quiet_boxes = 1;
    if (argc > 2) c.yield_us = atoi(argv[2]); // what a yield sleeps, to weigh CPU against timing
    headless_reset(&c);
    // Escape with the last picture of the movie: one whole run.
    headless_script_key(0x1B, 27, 1 + 2 * records - 3, 0);
    double cpu = cpu_seconds();
    uint64_t start = headless_now_us();
    player_main(movie.c_str());
    double wall = (double)(headless_now_us() - start) / 1e6;
    cpu = cpu_seconds() - cpu;

    std::vector<HeadlessPresent> p = headless_presents();
    std::vector<double> b_lag, a_after_b;
    // Present 0 is the clear; then A and B of each slot in turn.
    for (size_t k = 1; k < p.size(); k++) {
        int32_t picture = (int32_t)k - 1;
        if (picture % 2 == 1 && p[k].play_cursor >= 0) {
            int32_t slot = (picture / 2) & 3;
            int32_t boundary = ((slot + 1) & 3) * 3528;
            int32_t lag = ((p[k].play_cursor - boundary) % 14112 + 14112) % 14112;
            b_lag.push_back(lag / 22.05);
        }
        if (picture % 2 == 0 && picture > 0)
            a_after_b.push_back((double)(p[k].time_us - p[k - 1].time_us) / 1000.0);
    }
    printf("headless playback at real time: %d records, %.2f s, %zu pictures\n", records, wall,
           p.size() - 1);
    report("picture B after its quarter began", b_lag);
    report("picture A after picture B", a_after_b);
    printf("CPU, all threads: %.3f s of %.2f s = %.1f %% of one core\n", cpu, wall,
           100.0 * cpu / wall);
    remove(movie.c_str());
    rmdir(dir.c_str());
    return 0;
}
