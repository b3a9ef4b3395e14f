// The real filmo beside ffplay on the same movie, in one run:
// - SDL's off-screen video and disk audio: CPU and peak memory of each whole process, filmo's
//   picture timing against the audio device's clock (picture B after its quarter boundary,
//   picture A after picture B) and the time from its process start to its first picture;
// - a 1920x1080 Xvfb with a window manager and SDL's X11 video, as a desktop that draws in
//   software: CPU of each.
// Each figure is printed with the goal it is held to.
//
// bench_filmo [--filmo PATH] [--seconds N]: another build of filmo (to compare two builds in
// turns on a busy machine); the length of filmo's off-screen run (default 100 s: more than 600
// pictures B).
#include "tests/support/cli.h"
#include "tests/support/record_gen.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

struct Usage {
    double cpu_percent;
    long rss_kb;
    uint64_t start_us; // the monotonic clock at the fork
};

uint64_t monotonic_us()
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpu_seconds(pid_t pid)
{
    std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    FILE *f = fopen(stat.c_str(), "r");
    if (!f) return 0;
    char buffer[4096];
    size_t n = fread(buffer, 1, sizeof buffer - 1, f);
    buffer[n] = 0;
    fclose(f);
    // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
    const char *p = strrchr(buffer, ')');
    unsigned long utime = 0, stime = 0;
    if (p &&
        sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
        return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
    return 0;
}

long peak_rss_kb(pid_t pid)
{
    long kb = 0;
    std::string status = "/proc/" + std::to_string(pid) + "/status";
    if (FILE *f = fopen(status.c_str(), "r")) {
        char line[256];
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "VmHWM: %ld", &kb) == 1) break;
        fclose(f);
    }
    return kb;
}

pid_t start(const std::vector<std::string> &command, const std::vector<std::string> &env,
            int keep_fd = -1)
{
    fflush(stdout);
    return cli_start(command, env, "/dev/null", keep_fd);
}

void stop(pid_t pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// Runs command with env for seconds, then SIGTERM. CPU is counted after the first second, so
// that start-up (loading libraries, opening devices) does not weigh on a short run.
Usage run_for(const std::vector<std::string> &command, const std::vector<std::string> &env,
              double seconds)
{
    Usage u{0, 0, monotonic_us()};
    pid_t pid = start(command, env);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double cpu0 = cpu_seconds(pid);
    auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds - 1));
    double cpu1 = cpu_seconds(pid);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    u.cpu_percent = 100.0 * (cpu1 - cpu0) / wall;
    u.rss_kb = peak_rss_kb(pid);
    stop(pid);
    return u;
}

struct Spread {
    double median, p99, max;
    size_t count;
};

Spread spread(std::vector<double> v)
{
    if (v.empty()) return Spread{-1, -1, -1, 0};
    std::sort(v.begin(), v.end());
    return Spread{v[v.size() / 2], v[(v.size() * 99) / 100], v.back(), v.size()};
}

const char *verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

// A bare Xvfb at width x height on a display it chooses, with a window manager where there is
// one; its display name, empty when it could not start.
std::string start_x(int width, int height, pid_t *server, pid_t *manager)
{
    *server = *manager = -1;
    if (system("command -v Xvfb >/dev/null") != 0) return "";
    std::string display = cli_start_xvfb(width, height, "/dev/null", server);
    if (display.empty()) return "";
    // ffplay and filmo both ask a window manager for the full screen.
    if (system("command -v matchbox-window-manager >/dev/null") == 0) {
        *manager =
            start({"matchbox-window-manager", "-use_titlebar", "no"}, {"DISPLAY=" + display});
        std::string probe = "DISPLAY=" + display +
                            " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window";
        for (int i = 0; i < 100 && system(probe.c_str()) != 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return display;
}

} // namespace

int main(int argc, char **argv)
{
    std::string filmo_path = FILMO_PATH;
    double seconds = 100;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 < argc && !strcmp(argv[i], "--filmo")) {
            filmo_path = argv[i + 1];
        } else if (i + 1 < argc && !strcmp(argv[i], "--seconds") && atof(argv[i + 1]) >= 3) {
            seconds = atof(argv[i + 1]);
        } else {
            fprintf(stderr, "usage: bench_filmo [--filmo PATH] [--seconds N (3 or more)]\n");
            return 2;
        }
    }
    // A folder of its own: two runs on one machine never share the movie or the trace.
    const char *base = getenv("TMPDIR");
    std::string dir = std::string(base && *base ? base : "/tmp") + "/bench_filmo_XXXXXX";
    if (!mkdtemp(&dir[0])) return 1;
    const std::string movie = dir + "/movie.mov", trace = dir + "/trace.txt";
    if (!gen_write_file(movie.c_str(), gen_movie(GEN_SHAPES, 70))) return 1;
    const std::vector<std::string> offscreen = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk",
                                                "SDL_DISKAUDIOFILE=" + dir + "/sound.raw",
                                                "FILMO_NO_BOXES=1"};
    std::vector<std::string> env = offscreen;
    env.push_back("FILMO_TRACE=" + trace);
    printf("filmo for %.0f s and ffplay for 20 s on a 70-record movie, round and round\n", seconds);
    Usage filmo = run_for({filmo_path, movie}, env, seconds);

    std::vector<double> b_lag, a_after_b;
    double first_ms = -1;
    if (FILE *f = fopen(trace.c_str(), "r")) {
        // Pictures count from each "# play" (a movie's sound starts, then its first picture A);
        // the line before the first one is the clear.
        unsigned long long started = 0, t = 0, t_prev = 0;
        int cursor = 0, picture = -1;
        char line[256];
        while (fgets(line, sizeof line, f)) {
            if (sscanf(line, "# start %llu", &started) == 1) continue;
            if (!strncmp(line, "# play", 6)) {
                picture = 0;
                continue;
            }
            if (sscanf(line, "%llu %d", &t, &cursor) != 2 || picture < 0) continue;
            if (first_ms < 0 && started) first_ms = (double)(started + t - filmo.start_us) / 1000.0;
            if (picture % 2 == 1 && cursor >= 0) {
                int boundary = (((picture / 2) & 3) + 1) % 4 * 3528;
                b_lag.push_back(((cursor - boundary) % 14112 + 14112) % 14112 / 22.05);
            }
            if (picture > 0 && picture % 2 == 0) a_after_b.push_back((double)(t - t_prev) / 1000.0);
            t_prev = t;
            picture++;
        }
        fclose(f);
    }

    // ffplay plays an export of the same movie: H.264 and AAC in MP4, looping.
    bool have_ffplay = false;
    Usage ffplay{-1, -1, 0};
    std::string command = std::string(MOVTOOL_PATH) + " export " + movie + " " + dir + " > " + dir +
                          "/movie.y4m 2>/dev/null && ffmpeg -v error -y -i " + dir +
                          "/movie.y4m -i " + dir +
                          "/sound.wav -c:v libx264 -pix_fmt yuv420p -c:a aac " + dir + "/movie.mp4";
    const std::vector<std::string> ffplay_command = {"ffplay", "-v", "error",           "-fs",
                                                     "-loop",  "0",  dir + "/movie.mp4"};
    if (system("command -v ffplay >/dev/null && command -v ffmpeg >/dev/null") == 0 &&
        system(command.c_str()) == 0) {
        have_ffplay = true;
        ffplay = run_for(ffplay_command, offscreen, 20);
    }

    // A desktop at 1920x1080 that draws in software.
    Usage filmo_x{-1, -1, 0}, ffplay_x{-1, -1, 0};
    pid_t server, manager;
    std::string display = start_x(1920, 1080, &server, &manager);
    if (!display.empty()) {
        std::vector<std::string> x = {
            "DISPLAY=" + display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=disk",
            "SDL_DISKAUDIOFILE=" + dir + "/sound.raw", "FILMO_NO_BOXES=1"};
        filmo_x = run_for({filmo_path, movie}, x, 20);
        if (have_ffplay) ffplay_x = run_for(ffplay_command, x, 20);
    }
    stop(manager);
    stop(server);

    auto ratio = [](double a, double b) { return b > 0 ? a / b : -1; };
    printf("                                       filmo       ffplay   ratio  goal\n");
    printf("CPU, off-screen video                %6.2f %%   %7.2f %%   %5.2f  <= 2 %% of a core: "
           "%s\n",
           filmo.cpu_percent, ffplay.cpu_percent, ratio(filmo.cpu_percent, ffplay.cpu_percent),
           verdict(filmo.cpu_percent <= 2.0));
    printf("peak RSS, off-screen video           %6.1f MB  %7.1f MB  %5.2f  <= 40 MB: %s\n",
           (double)filmo.rss_kb / 1024.0, (double)ffplay.rss_kb / 1024.0,
           ratio((double)filmo.rss_kb, (double)ffplay.rss_kb), verdict(filmo.rss_kb <= 40 * 1024));
    if (!display.empty())
        printf("CPU, X11 1920x1080 (Xvfb)            %6.2f %%   %7.2f %%   %5.2f  <= half of "
               "ffplay's: %s\n",
               filmo_x.cpu_percent, ffplay_x.cpu_percent,
               ratio(filmo_x.cpu_percent, ffplay_x.cpu_percent),
               verdict(have_ffplay && filmo_x.cpu_percent <= ffplay_x.cpu_percent / 2));
    else
        printf("CPU, X11 1920x1080: no Xvfb, not measured\n");
    Spread b = spread(b_lag), a = spread(a_after_b);
    printf(
        "picture B after its quarter          median %.3f ms, p99 %.3f ms, max %.3f ms over %zu: "
        "p99 <= 2 ms over >= 600: %s\n",
        b.median, b.p99, b.max, b.count, verdict(b.count >= 600 && b.p99 <= 2.0));
    printf("picture A after picture B            median %.3f ms, p99 %.3f ms, max %.3f ms over "
           "%zu (80 ms)\n",
           a.median, a.p99, a.max, a.count);
    printf("first picture after process start    %.1f ms: <= 100 ms: %s\n", first_ms,
           verdict(first_ms >= 0 && first_ms <= 100));
    std::string clean = "rm -rf '" + dir + "'";
    return system(clean.c_str()) == 0 ? 0 : 1;
}
