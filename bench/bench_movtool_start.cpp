// movtool info beside cat on the same movie: the median wall time of each over many runs, taken
// in turns so that whatever else the machine does weighs on both alike, and each one's peak
// memory. Goal: info within 3 times cat. A short movie shows the start-up, a 30-second one the
// start-up and the decoding of every record.
//
// bench_movtool_start [--movtool PATH] [--runs N]   (default: this build's movtool, 200 runs)
#include "tests/support/record_gen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

struct Run {
    double ms;
    long rss_kb;
};

// One run of argv with its output thrown away.
Run run_once(const std::vector<std::string> &argv)
{
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {
    };
    wait4(pid, &status, 0, &usage);
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed\n", argv[0].c_str());
        exit(1);
    }
    return {took.count(), usage.ru_maxrss};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    std::string movtool = MOVTOOL_PATH;
    int runs = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--movtool")) movtool = argv[i + 1];
        if (!strcmp(argv[i], "--runs")) runs = atoi(argv[i + 1]);
    }
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/bench_movtool_XXXXXX";
    if (!mkdtemp(&pattern[0])) return 1;
    printf("%-34s %10s %10s %9s %9s %6s\n", "movie", "info ms", "cat ms", "info KB", "cat KB",
           "ratio");
    for (int records : {1, 188}) {
        std::string movie = pattern + "/" + std::to_string(records) + ".mov";
        if (!gen_write_file(movie.c_str(), gen_movie(GEN_TEXTURE, records))) return 1;
        std::vector<double> info_ms, cat_ms;
        long info_kb = 0, cat_kb = 0;
        for (int i = 0; i < runs; i++) {
            Run a = run_once({movtool, "info", movie});
            Run b = run_once({"cat", movie});
            info_ms.push_back(a.ms);
            cat_ms.push_back(b.ms);
            info_kb = std::max(info_kb, a.rss_kb);
            cat_kb = std::max(cat_kb, b.rss_kb);
        }
        double ratio = median(info_ms) / median(cat_ms);
        printf("%-34s %10.2f %10.2f %9ld %9ld %5.1fx  (goal: 3x)\n",
               (std::to_string(records) + " records (" + std::to_string(records * 160) + " ms)")
                   .c_str(),
               median(info_ms), median(cat_ms), info_kb, cat_kb, ratio);
        unlink(movie.c_str());
    }
    rmdir(pattern.c_str());
    return 0;
}
