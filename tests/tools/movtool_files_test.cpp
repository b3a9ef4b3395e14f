// movtool's commands attacked through the names they are given: links where outputs and
// temporary files go, outputs that are inputs, inputs that are not files, full devices, FIFOs
// and signals in the middle. Each case compares a listing with hashes of the whole test folder
// before and after.
#include "movie/movie.h"
#include "tests/support/record_gen.h"
#include "tests/tools/fixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using Snapshot = std::map<std::string, std::string>;

std::string q(const std::string &s)
{
    return "'" + s + "'";
}

// Words joined by blanks: a command line.
std::string words(std::initializer_list<std::string> parts)
{
    std::string line;
    for (const std::string &p : parts) {
        if (!line.empty()) line += ' ';
        line += p;
    }
    return line;
}

// movtool with its standard output sent elsewhere and its standard error kept for the test.
CliRun movtool_redirected(const std::string &args, const std::string &redirection)
{
    return cli_run("{ " + std::string(MOVTOOL_PATH) + " " + args + " " + redirection + "; }");
}

// The entries that differ between two snapshots.
std::vector<std::string> changed(const Snapshot &before, const Snapshot &after)
{
    std::vector<std::string> names;
    for (const auto &e : after) {
        auto b = before.find(e.first);
        if (b == before.end() || b->second != e.second) names.push_back(e.first);
    }
    for (const auto &e : before)
        if (!after.count(e.first)) names.push_back(e.first + " (removed)");
    return names;
}

// A folder with a movie, and an "outside" folder of canaries that links point into.
struct Scene {
    std::string dir, movie;
};

Scene scene(const char *name, int32_t records = 3)
{
    Scene s;
    s.dir = test_folder(name);
    s.movie = s.dir + "/in.mov";
    EXPECT_TRUE(gen_write_file(s.movie.c_str(), gen_movie(GEN_SHAPES, records)));
    mkdir((s.dir + "/outside").c_str(), 0755);
    for (const char *canary : {"a", "b", "c"}) {
        FILE *f = fopen((s.dir + "/outside/" + canary).c_str(), "wb");
        fputs(canary, f);
        fclose(f);
    }
    return s;
}

void link_to(const std::string &target, const std::string &name)
{
    ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0) << name;
}

TEST(MovtoolFiles, OutputsGoThroughLinksAndNeverThroughPreparedTemporaryNames)
{
    Scene s = scene("files_links");
    // The names a careless tool would have used for its temporary file lead to canaries.
    for (const char *out : {"dump.raw", "screen.raw"})
        for (const char *suffix : {".part", ".tmp", ".partXXXXXX"}) {
            link_to(s.dir + "/outside/a", s.dir + "/" + out + suffix);
            link_to(s.dir + "/outside/b", s.dir + "/." + out + suffix);
        }
    // The outputs themselves are links to files outside, which are to be replaced.
    link_to("outside/dump.target", s.dir + "/dump.raw");
    link_to(s.dir + "/outside/screen.target", s.dir + "/screen.raw");
    for (const char *target : {"/outside/dump.target", "/outside/screen.target"}) {
        FILE *f = fopen((s.dir + target).c_str(), "wb");
        fclose(f);
    }
    chmod((s.dir + "/outside/screen.target").c_str(), 0600);
    Snapshot before = tree_snapshot(s.dir);

    CliRun dump = movtool_run("dump " + q(s.movie) + " " + q(s.dir + "/dump.raw"));
    ASSERT_EQ(dump.status, 0) << dump.out;
    CliRun screen =
        movtool_run("screen " + q(s.movie) + " 1 A 565 320x200 " + q(s.dir + "/screen.raw"));
    ASSERT_EQ(screen.status, 0) << screen.out;

    Snapshot after = tree_snapshot(s.dir);
    EXPECT_EQ(changed(before, after),
              (std::vector<std::string>{"/outside/dump.target", "/outside/screen.target"}));
    EXPECT_EQ(file_read(s.dir + "/outside/dump.target").size(),
              3u * (MOVIE_PICTURES_BYTES + MOVIE_PALETTE_BYTES + MOVIE_SOUND_SIZE));
    EXPECT_EQ(file_read(s.dir + "/outside/screen.target").size(), 320u * 200 * 2);
    struct stat st;
    ASSERT_EQ(stat((s.dir + "/outside/screen.target").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u); // permissions kept
}

TEST(MovtoolFiles, ALinkToNothingIsNeverWrittenThroughWhereverItStands)
{
    Scene s = scene("files_dangling");
    // Every output of every command a link to a name outside that does not exist: the output
    // itself, a chain ending in a missing folder, and one file inside export's folder.
    link_to(s.dir + "/outside/new.mkv", s.dir + "/out.mkv");
    link_to("outside/new.raw", s.dir + "/out.raw");
    link_to("out.raw", s.dir + "/hop.raw");
    link_to("outside/missing/x.mp4", s.dir + "/out.mp4");
    link_to("outside/new.mov", s.dir + "/out.mov");
    ASSERT_TRUE(png_write(s.dir + "/g0.png", rgb_shapes(0)));
    for (const char *kept : {"x1", "x2"})
        mkdir((s.dir + "/" + kept).c_str(), 0755);
    link_to("../outside/sound.wav", s.dir + "/x1/sound.wav");
    link_to("../outside/b.png", s.dir + "/x2/0000_B.png");
    Snapshot before = tree_snapshot(s.dir);

    const std::string m = q(s.movie);
    for (const std::string &args :
         {words({"export", m, q(s.dir + "/out.mkv")}), words({"export", m, q(s.dir + "/out.mp4")}),
          words({"dump", m, q(s.dir + "/hop.raw")}),
          words({"screen", m, "0 A 565 320x200", q(s.dir + "/out.raw")}),
          words(
              {"encode -q -o", q(s.dir + "/out.mov"), q(s.dir + "/g0.png"), q(s.dir + "/g0.png")}),
          words({"export", m, q(s.dir + "/x1"), "--no-y4m"}),
          words({"export", m, q(s.dir + "/x2"), "--no-y4m"})}) {
        CliRun run = movtool_run(args);
        EXPECT_EQ(run.status, 1) << args << "\n" << run.out;
        EXPECT_NE(run.out.find("not written through"), std::string::npos) << args << "\n"
                                                                          << run.out;
        EXPECT_EQ(changed(before, tree_snapshot(s.dir)), std::vector<std::string>{}) << args;
    }
}

TEST(MovtoolFiles, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    Scene s = scene("files_same");
    link_to("in.mov", s.dir + "/soft.mov");
    link_to("in.mov", s.dir + "/soft.mkv");
    ASSERT_EQ(link(s.movie.c_str(), (s.dir + "/hard.mov").c_str()), 0);
    Rgb picture = rgb_shapes(0);
    ASSERT_TRUE(png_write(s.dir + "/g0.png", picture));
    ASSERT_TRUE(png_write(s.dir + "/g1.png", picture));
    // export's folder: its sound file, and in another folder one of its pictures, is the movie.
    mkdir((s.dir + "/x1").c_str(), 0755);
    link_to("../in.mov", s.dir + "/x1/sound.wav");
    mkdir((s.dir + "/x2").c_str(), 0755);
    ASSERT_EQ(link(s.movie.c_str(), (s.dir + "/x2/0001_A.png").c_str()), 0);
    Snapshot before = tree_snapshot(s.dir);

    const std::string m = q(s.movie);
    const std::string appended = "--stdout-appends-to-the-movie";
    for (const std::string &args :
         {words({"dump", m, m}), words({"dump", m, q(s.dir + "/soft.mov")}),
          words({"dump", m, q(s.dir + "/hard.mov")}),
          words({"screen", m, "0 A 565 320x200", q(s.dir + "/soft.mov")}),
          words({"encode -o", q(s.dir + "/g0.png"), q(s.dir + "/g0.png"), q(s.dir + "/g1.png")}),
          words({"export", m, q(s.dir + "/x1"), "--no-y4m"}),
          words({"export", m, q(s.dir + "/x2"), "--no-y4m"}),
          words({"export", m, q(s.dir + "/soft.mkv")}),
          words({"export", m, q(s.dir + "/x3"), appended})}) {
        CliRun run =
            args.find(appended) == std::string::npos
                ? movtool_run(args)
                : movtool_redirected(args.substr(0, args.size() - appended.size()), ">> " + m);
        EXPECT_EQ(run.status, 2) << args << "\n" << run.out;
        EXPECT_NE(run.out.find("is also an input"), std::string::npos) << args << "\n" << run.out;
        EXPECT_EQ(changed(before, tree_snapshot(s.dir)), std::vector<std::string>{}) << args;
    }
}

TEST(MovtoolFiles, InputsThatAreNotRegularFilesAreRefusedWithoutWaiting)
{
    Scene s = scene("files_inputs");
    mkdir((s.dir + "/folder.mov").c_str(), 0755);
    ASSERT_EQ(mkfifo((s.dir + "/fifo.mov").c_str(), 0644), 0);
    ASSERT_TRUE(png_write(s.dir + "/g0.png", rgb_shapes(0)));
    Snapshot before = tree_snapshot(s.dir);
    const std::string out = q(s.dir + "/out");
    struct Case {
        const char *input, *reason;
    };
    for (const Case &c :
         {Case{"folder.mov", "is a directory"}, Case{"fifo.mov", "not a regular file"}}) {
        const std::string in = q(s.dir + "/" + c.input);
        // timeout: a program that waits on the FIFO fails the test instead of hanging it.
        for (const std::string &args :
             {words({"info", in}), words({"dump", in, out}),
              words({"screen", in, "0 A 565 320x200", out}), words({"export", in, out, "--no-y4m"}),
              words({"encode -o", out, q(s.dir + "/g0.png"), in}),
              words(
                  {"encode -o", out, "--audio", in, q(s.dir + "/g0.png"), q(s.dir + "/g0.png")})}) {
            CliRun run = cli_run("timeout 20 " + std::string(MOVTOOL_PATH) + " " + args);
            EXPECT_EQ(run.status, 1) << args << "\n" << run.out;
            EXPECT_NE(run.out.find(c.reason), std::string::npos) << args << "\n" << run.out;
            EXPECT_EQ(changed(before, tree_snapshot(s.dir)), std::vector<std::string>{}) << args;
        }
    }
}

TEST(MovtoolFiles, WriteErrorsAreReportedStandardOutputIncluded)
{
    Scene s = scene("files_full");
    const std::string m = q(s.movie);
    for (const std::string &args :
         {"info " + m, "dump " + m + " /dev/full", "export " + m + " " + q(s.dir + "/frames")}) {
        CliRun run = movtool_redirected(args, "> /dev/full");
        EXPECT_EQ(run.status, 1) << args << "\n" << run.out;
        EXPECT_NE(run.out.find(strerror(ENOSPC)), std::string::npos) << args << "\n" << run.out;
    }
    struct stat st;
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(MovtoolFiles, AFileThatCannotGrowKeepsTheOldOutputAndNoTemporaryFile)
{
    // A file size limit and a full device: the write fails in the middle, the old output stays,
    // and the message names the real cause, the video export's included.
    Scene s = scene("files_limit", 12);
    for (const char *old : {"/out.raw", "/out.mkv", "/out.mp4"}) {
        FILE *f = fopen((s.dir + old).c_str(), "wb");
        fputs("the previous output", f);
        fclose(f);
    }
    link_to("/dev/full", s.dir + "/full.mkv");
    link_to("/dev/full", s.dir + "/full.mp4");
    Snapshot before = tree_snapshot(s.dir);
    struct Case {
        const char *command, *output;
        int kilobytes, error;
    };
    for (const Case &c :
         {Case{"dump", "/out.raw", 512, EFBIG}, Case{"export", "/out.mkv", 4, EFBIG},
          Case{"export", "/out.mp4", 4, EFBIG}, Case{"export", "/full.mkv", 512, ENOSPC},
          Case{"export", "/full.mp4", 512, ENOSPC}}) {
        const std::string args = words({c.command, q(s.movie), q(s.dir + c.output)});
        CliRun run = cli_run("ulimit -f " + std::to_string(c.kilobytes) + " && " +
                             std::string(MOVTOOL_PATH) + " " + args);
        EXPECT_EQ(run.status, 1) << args << "\n" << run.out;
        EXPECT_NE(run.out.find(strerror(c.error)), std::string::npos) << args << "\n" << run.out;
        EXPECT_EQ(run.out.find(strerror(EIO)), std::string::npos) << args << "\n" << run.out;
        EXPECT_EQ(changed(before, tree_snapshot(s.dir)), std::vector<std::string>{}) << args;
    }
}

TEST(MovtoolFiles, AFifoAsOutputIsWrittenThroughToItsReader)
{
    Scene s = scene("files_fifo");
    const std::string fifo = s.dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(movtool_run("dump " + q(s.movie) + " " + q(s.dir + "/plain.raw")).status, 0);
    CliRun run = cli_run("cat " + q(fifo) + " > " + q(s.dir + "/copy.raw") + " & " + MOVTOOL_PATH +
                         " dump " + q(s.movie) + " " + q(fifo) + "; s=$?; wait; " + "exit $s");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(file_read(s.dir + "/copy.raw"), file_read(s.dir + "/plain.raw"));
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A video through a FIFO cannot be sought in: an MP4 goes out in fragments, and plays with
    // its pictures from the start, in time with its sound (the H.264 encoder's delay and the
    // AAC encoder's lead-in are taken out as in a file).
    const std::string video_fifo = s.dir + "/pipe.mp4";
    ASSERT_EQ(mkfifo(video_fifo.c_str(), 0600), 0);
    CliRun video =
        cli_run("cat " + q(video_fifo) + " > " + q(s.dir + "/copy.mp4") + " & " + MOVTOOL_PATH +
                " export " + q(s.movie) + " " + q(video_fifo) + "; s=$?; wait; exit $s");
    ASSERT_EQ(video.status, 0) << video.out;
    CliRun probe = cli_run("ffprobe -v error -show_entries stream=start_time,duration -of "
                           "csv=p=0 " +
                           q(s.dir + "/copy.mp4"));
    float video_start = -1, video_length = 0, sound_start = 1;
    EXPECT_EQ(sscanf(probe.out.c_str(), "%f,%f %f", &video_start, &video_length, &sound_start), 3)
        << probe.out;
    EXPECT_EQ(video_start, 0.0f) << probe.out;
    EXPECT_NEAR(video_length, 2 * 0.16, 0.01) << probe.out;
    EXPECT_LE(sound_start, 0.0f) << probe.out;
    ASSERT_EQ(lstat(video_fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Descriptors 0, 1 and 2 closed when movtool starts: the movie it makes would have been given
// one of those numbers, and its messages would have gone into it. A closed standard output is
// output nobody reads, not a failure.
TEST(MovtoolFiles, ClosedStandardDescriptorsNeitherCorruptNorFailTheOutput)
{
    std::string dir = test_folder("files_closed");
    ASSERT_TRUE(png_write(dir + "/g0.png", rgb_shapes(0)));
    ASSERT_TRUE(png_write(dir + "/g1.png", rgb_shapes(1)));
    const std::string encode =
        "encode -o " + q(dir + "/out.mov") + " " + q(dir + "/g0.png") + " " + q(dir + "/g1.png");
    ASSERT_EQ(movtool_run(encode).status, 0);
    const Bytes reference = file_read(dir + "/out.mov");
    ASSERT_EQ(reference.size(), (size_t)MOVIE_RECORD_SIZE);
    for (const char *closing : {"2>&-", ">&-", "<&-", "<&- >&- 2>&-"}) {
        ASSERT_EQ(unlink((dir + "/out.mov").c_str()), 0);
        CliRun run = movtool_redirected(encode, closing);
        EXPECT_EQ(run.status, 0) << closing << "\n" << run.out;
        EXPECT_TRUE(file_read(dir + "/out.mov") == reference) << closing;
    }
    EXPECT_EQ(movtool_redirected("info " + q(dir + "/out.mov"), ">&-").status, 0);
}

// Starts encode on many detailed pictures (minutes of work), waits until it has written its
// first record, signals it, and expects the old movie and nothing else.
void expect_encode_interrupted_cleanly(int signal_number)
{
    std::string dir = test_folder("files_signal");
    std::string log = test_folder("files_signal_log") + "/stderr";
    ASSERT_TRUE(png_write(dir + "/n0.png", rgb_noise(1)));
    ASSERT_TRUE(png_write(dir + "/n1.png", rgb_noise(2)));
    ASSERT_TRUE(gen_write_file((dir + "/out.mov").c_str(), gen_movie(GEN_FLAT, 1)));
    chmod((dir + "/out.mov").c_str(), 0604);
    Snapshot before = tree_snapshot(dir);
    std::vector<std::string> args = {MOVTOOL_PATH, "encode", "-q", "-o", dir + "/out.mov"};
    for (int32_t i = 0; i < 400; i++)
        args.push_back(dir + (i % 2 ? "/n1.png" : "/n0.png"));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::vector<char *> argv;
        argv.reserve(args.size() + 1);
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            signal(s, SIG_DFL);
        int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(log_fd, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    // The temporary file holds a whole record: the run is well inside its work.
    bool writing = false;
    while (!writing) {
        for (const std::string &name : folder_list(dir)) {
            struct stat st;
            std::string path = dir;
            path += "/" + name;
            if (name[0] == '.' && stat(path.c_str(), &st) == 0 && st.st_size >= MOVIE_RECORD_SIZE)
                writing = true;
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "encode ended before the signal";
        if (!writing) usleep(2000);
    }
    kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(changed(before, tree_snapshot(dir)), std::vector<std::string>{});
}

// A signal that comes while a command makes and registers its temporary file, the window in
// which the file exists but its removal is not arranged yet. In the video export the encoder's
// threads already run by then, and none of them may take the signal first; in a dump the one
// thread must hold it off itself. The preloaded delay keeps the window open until the signal
// is there.
TEST(MovtoolFiles, ASignalWhileTheTemporaryFileIsMadeLeavesNone)
{
    Scene s = scene("files_window", 4);
    const std::string ready = s.dir + "/../window_open";
    for (const char *command : {"export", "dump"})
        for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::string(command) + ", " + strsignal(signal_number));
            unlink(ready.c_str());
            Snapshot before = tree_snapshot(s.dir);
            const std::string out = s.dir + (strcmp(command, "dump") ? "/out.mp4" : "/out.raw");
            pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                for (int n : {SIGINT, SIGTERM, SIGHUP})
                    signal(n, SIG_DFL);
                setenv("LD_PRELOAD", SLOW_TEMPORARY, 1);
                setenv("SLOW_TEMPORARY_READY", ready.c_str(), 1);
                execl(MOVTOOL_PATH, "movtool", command, s.movie.c_str(), out.c_str(),
                      (char *)nullptr);
                _exit(127);
            }
            struct stat st;
            while (stat(ready.c_str(), &st) != 0) {
                int status = 0;
                ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended before its window";
                usleep(1000);
            }
            kill(child, signal_number);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), signal_number);
            EXPECT_EQ(changed(before, tree_snapshot(s.dir)), std::vector<std::string>{});
        }
    unlink(ready.c_str());
}

TEST(MovtoolFiles, ASignalDuringEncodeLeavesTheOldMovieAndNoTemporaryFile)
{
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(s));
        expect_encode_interrupted_cleanly(s);
    }
}

} // namespace
