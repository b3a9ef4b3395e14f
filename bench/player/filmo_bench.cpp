// The real filmo on SDL's offscreen video and disk audio drivers: picture timing against the
// audio device's clock, CPU and memory of the whole process over 10 s of playback, and the time
// from process start to the first picture; ffplay on an export of the same movie beside it.
//
// bench_filmo [--filmo PATH] [--video DRIVER]: another build of filmo (to compare two builds in
// turns on a busy machine), another SDL video driver (x11 under Xvfb is what a desktop user gets;
// offscreen renders through a software GL that a desktop would not use).
#include "tests/support/record_gen.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct Usage {
    double cpu_s;
    long rss_kb;
};

static Usage usage_of(pid_t pid)
{
    Usage u{0, 0};
    std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    if (FILE *f = fopen(stat.c_str(), "r")) {
        char buffer[4096];
        size_t n = fread(buffer, 1, sizeof buffer - 1, f);
        buffer[n] = 0;
        fclose(f);
        // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
        const char *p = strrchr(buffer, ')');
        unsigned long utime = 0, stime = 0;
        if (p && sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                        &stime) == 2)
            u.cpu_s = (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
    }
    std::string status = "/proc/" + std::to_string(pid) + "/status";
    if (FILE *f = fopen(status.c_str(), "r")) {
        char line[256];
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "VmHWM: %ld", &u.rss_kb) == 1) break;
        fclose(f);
    }
    return u;
}

// Runs command with env for seconds, then SIGTERM; its usage just before.
static Usage run_for(const std::vector<std::string> &command, const std::vector<std::string> &env,
                     double seconds)
{
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string &e : env)
            putenv(strdup(e.c_str()));
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char *> args;
        args.reserve(command.size() + 1);
        for (const std::string &a : command)
            args.push_back(strdup(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    Usage u = usage_of(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return u;
}

static void report(const char *what, std::vector<double> v)
{
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    printf("  %-32s median %6.3f ms  p99 %7.3f ms  max %7.3f ms  (%zu)\n", what, v[v.size() / 2],
           v[(v.size() * 99) / 100], v.back(), v.size());
}

int main(int argc, char **argv)
{
    std::string filmo_path = FILMO_PATH, video = "offscreen";
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 < argc && !strcmp(argv[i], "--filmo")) {
            filmo_path = argv[i + 1];
        } else if (i + 1 < argc && !strcmp(argv[i], "--video")) {
            video = argv[i + 1];
        } else {
            fprintf(stderr, "usage: bench_filmo [--filmo PATH] [--video DRIVER]\n");
            return 2;
        }
    }
    const std::string dir = "/tmp/bench_filmo";
    std::string command = "rm -rf " + dir + " && mkdir -p " + dir;
    if (system(command.c_str()) != 0) return 1;
    const std::string movie = dir + "/movie.mov", trace = dir + "/trace.txt";
    if (!gen_write_file(movie.c_str(), gen_movie(GEN_SHAPES, 70))) return 1;
    const std::vector<std::string> sdl_env = {"SDL_VIDEODRIVER=" + video, "SDL_AUDIODRIVER=disk",
                                              "SDL_DISKAUDIOFILE=/dev/null", "FILMO_NO_BOXES=1"};
    std::vector<std::string> env = sdl_env;
    env.push_back("FILMO_TRACE=" + trace);
    Usage filmo = run_for({filmo_path, movie}, env, 10.5);

    std::vector<double> b_lag, a_after_b;
    double first_ms = -1;
    if (FILE *f = fopen(trace.c_str(), "r")) {
        unsigned long long t = 0, t_prev = 0;
        int cursor = 0, k = 0;
        while (fscanf(f, "%llu %d", &t, &cursor) == 2) {
            int picture = k - 1; // line 0 is the clear
            if (picture == 0) first_ms = t / 1000.0;
            if (picture >= 0 && picture % 2 == 1 && cursor >= 0) {
                int boundary = (((picture / 2) & 3) + 1) % 4 * 3528;
                b_lag.push_back(((cursor - boundary) % 14112 + 14112) % 14112 / 22.05);
            }
            if (picture > 0 && picture % 2 == 0) a_after_b.push_back((double)(t - t_prev) / 1000.0);
            t_prev = t;
            k++;
        }
        fclose(f);
    }
    printf("filmo, SDL %s video and disk audio, 10 s of a 70-record movie:\n", video.c_str());
    report("picture B after its quarter", b_lag);
    report("picture A after picture B", a_after_b);
    printf("  first picture %.1f ms after start; CPU %.1f %% of one core; peak RSS %ld kB\n",
           first_ms, 100.0 * filmo.cpu_s / 10.5, filmo.rss_kb);

    command = std::string(MOVTOOL_PATH) + " export " + movie + " " + dir + " > " + dir +
              "/movie.y4m 2>/dev/null && ffmpeg -v error -y -i " + dir + "/movie.y4m -i " + dir +
              "/sound.wav -c:v libx264 -pix_fmt yuv420p -c:a aac " + dir + "/movie.mp4";
    if (system("command -v ffplay >/dev/null") == 0 && system(command.c_str()) == 0) {
        Usage ffplay = run_for({"ffplay", "-v", "error", "-fs", "-autoexit", dir + "/movie.mp4"},
                               sdl_env, 10.5);
        printf("ffplay -fs on an export of the same movie, same drivers:\n");
        printf("  CPU %.1f %% of one core; peak RSS %ld kB\n", 100.0 * ffplay.cpu_s / 10.5,
               ffplay.rss_kb);
    }
    return 0;
}
