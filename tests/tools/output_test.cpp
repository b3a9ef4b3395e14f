// The output helper on its own: what gets replaced, what is written through, what is refused,
// and what a signal in the middle leaves behind.
#include "platform/output.h"
#include "tests/tools/fixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

void put(const std::string &path, const std::string &text, mode_t mode = 0644)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fputs(text.c_str(), f);
    fclose(f);
    chmod(path.c_str(), mode);
}

std::string text(const std::string &path)
{
    Bytes b = file_read(path);
    return std::string(b.begin(), b.end());
}

int32_t write_whole(const std::string &name, const std::string &bytes)
{
    OutputFile out;
    int32_t status = output_open(&out, name.c_str());
    if (status == 0) status = output_write(&out, bytes.data(), bytes.size());
    if (status == 0) status = output_commit(&out);
    output_abandon(&out);
    return status;
}

mode_t mode_of(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(Output, AFileIsReplacedOnlyWhenCompleteAndKeepsItsPermissions)
{
    std::string dir = test_folder("out_replace");
    put(dir + "/movie.raw", "old", 0640);
    OutputFile out;
    ASSERT_EQ(output_open(&out, (dir + "/movie.raw").c_str()), 0) << output_error();
    ASSERT_EQ(output_write(&out, "new bytes", 9), 0);
    // Until the commit the target is the old file, and the new bytes are in one hidden file.
    EXPECT_EQ(text(dir + "/movie.raw"), "old");
    EXPECT_EQ(folder_list(dir).size(), 2u);
    ASSERT_EQ(output_commit(&out), 0) << output_error();
    EXPECT_EQ(text(dir + "/movie.raw"), "new bytes");
    EXPECT_EQ(mode_of(dir + "/movie.raw") & 07777, 0640u);
    EXPECT_EQ(folder_list(dir), std::vector<std::string>{"movie.raw"});

    // Given up: the old file stays, nothing else is left.
    ASSERT_EQ(output_open(&out, (dir + "/movie.raw").c_str()), 0);
    ASSERT_EQ(output_write(&out, "lost", 4), 0);
    output_abandon(&out);
    EXPECT_EQ(text(dir + "/movie.raw"), "new bytes");
    EXPECT_EQ(folder_list(dir), std::vector<std::string>{"movie.raw"});

    // A new file gets the permissions the umask allows.
    mode_t mask = umask(027);
    EXPECT_EQ(write_whole(dir + "/fresh.raw", "x"), 0);
    umask(mask);
    EXPECT_EQ(mode_of(dir + "/fresh.raw") & 07777, 0640u);
}

TEST(Output, LinksAreFollowedToTheFileThatIsWritten)
{
    std::string dir = test_folder("out_links");
    mkdir((dir + "/elsewhere").c_str(), 0755);
    put(dir + "/elsewhere/real.raw", "old", 0600);
    // A chain: absolute, then relative to the folder of the link.
    ASSERT_EQ(symlink((dir + "/hop").c_str(), (dir + "/out.raw").c_str()), 0);
    ASSERT_EQ(symlink("elsewhere/real.raw", (dir + "/hop").c_str()), 0);
    ASSERT_EQ(write_whole(dir + "/out.raw", "new"), 0) << output_error();
    EXPECT_TRUE(S_ISLNK(mode_of(dir + "/out.raw")));
    EXPECT_TRUE(S_ISLNK(mode_of(dir + "/hop")));
    EXPECT_EQ(text(dir + "/elsewhere/real.raw"), "new");
    EXPECT_EQ(mode_of(dir + "/elsewhere/real.raw") & 07777, 0600u);
    EXPECT_EQ(folder_list(dir + "/elsewhere"), std::vector<std::string>{"real.raw"});

    // A link to nothing is never written through, as cp does not (it would make a file
    // wherever the link points): at its end, through a chain, into a missing folder. A loop is
    // an error too. Nothing changes, and the check says so before any output is opened.
    ASSERT_EQ(symlink("elsewhere/later.raw", (dir + "/dangling").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/dangling").c_str(), (dir + "/chain").c_str()), 0);
    ASSERT_EQ(symlink("elsewhere/missing/x.raw", (dir + "/into_missing").c_str()), 0);
    ASSERT_EQ(symlink("loop2", (dir + "/loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", (dir + "/loop2").c_str()), 0);
    auto before = tree_snapshot(dir);
    for (const char *name : {"/dangling", "/chain", "/into_missing", "/loop1"}) {
        EXPECT_EQ(output_check((dir + name).c_str()), OUTPUT_FAILED) << name;
        EXPECT_EQ(write_whole(dir + name, "x"), OUTPUT_FAILED) << name;
        if (strcmp(name, "/loop1") != 0) {
            EXPECT_NE(strstr(output_error(), "does not exist; not written through"), nullptr)
                << output_error();
        }
    }
    EXPECT_EQ(tree_snapshot(dir), before);
}

TEST(Output, WhatTakesTheTargetsPlaceWhileItIsWrittenIsNotReplaced)
{
    // Between the open and the commit, the target becomes a link to a file outside, then a
    // FIFO: neither is replaced, what it leads to is untouched, and no temporary file stays.
    std::string dir = test_folder("out_swapped");
    mkdir((dir + "/outside").c_str(), 0755);
    put(dir + "/outside/canary", "canary");
    for (const char *kind : {"link", "fifo"}) {
        SCOPED_TRACE(kind);
        put(dir + "/movie.raw", "old");
        OutputFile out;
        ASSERT_EQ(output_open(&out, (dir + "/movie.raw").c_str()), 0) << output_error();
        ASSERT_EQ(output_write(&out, "new", 3), 0);
        ASSERT_EQ(unlink((dir + "/movie.raw").c_str()), 0);
        if (!strcmp(kind, "link"))
            ASSERT_EQ(symlink("outside/canary", (dir + "/movie.raw").c_str()), 0);
        else
            ASSERT_EQ(mkfifo((dir + "/movie.raw").c_str(), 0600), 0);
        auto before = tree_snapshot(dir);
        ASSERT_EQ(before.erase("/" + std::string(strrchr(out.temporary, '/') + 1)), 1u);
        EXPECT_EQ(output_commit(&out), OUTPUT_FAILED);
        EXPECT_NE(strstr(output_error(), "no longer a regular file"), nullptr) << output_error();
        EXPECT_EQ(tree_snapshot(dir), before);
        ASSERT_EQ(unlink((dir + "/movie.raw").c_str()), 0);
    }
}

TEST(Output, InputsFoldersAndSocketsAreRefusedBeforeAnythingIsWritten)
{
    std::string dir = test_folder("out_refuse");
    put(dir + "/in.mov", "movie");
    ASSERT_EQ(link((dir + "/in.mov").c_str(), (dir + "/hard.mov").c_str()), 0);
    ASSERT_EQ(symlink("in.mov", (dir + "/soft.mov").c_str()), 0);
    mkdir((dir + "/folder").c_str(), 0755);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string socket_path = dir + "/socket";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(s, (sockaddr *)&address, sizeof address), 0);

    int fd = open((dir + "/in.mov").c_str(), O_RDONLY);
    output_forget_inputs();
    output_note_input(fd);
    auto before = tree_snapshot(dir);
    for (const char *name : {"/in.mov", "/hard.mov", "/soft.mov"}) {
        EXPECT_EQ(output_check((dir + name).c_str()), OUTPUT_IS_AN_INPUT) << name;
        EXPECT_EQ(write_whole(dir + name, "clobbered"), OUTPUT_IS_AN_INPUT) << name;
        EXPECT_NE(strstr(output_error(), "is also an input"), nullptr);
    }
    EXPECT_EQ(write_whole(dir + "/folder", "x"), OUTPUT_FAILED);
    EXPECT_NE(strstr(output_error(), "is a directory"), nullptr) << output_error();
    EXPECT_EQ(write_whole(dir + "/socket", "x"), OUTPUT_FAILED);
    EXPECT_EQ(tree_snapshot(dir), before);
    output_forget_inputs();
    close(fd);
    close(s);
    // Once the input is forgotten the same name is an ordinary output again.
    EXPECT_EQ(write_whole(dir + "/soft.mov", "replaced"), 0);
    EXPECT_EQ(text(dir + "/in.mov"), "replaced");
}

TEST(Output, DevicesAndFifosAreWrittenThroughAndTheirErrorsReported)
{
    std::string dir = test_folder("out_through");
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("pipe", (dir + "/to_pipe").c_str()), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(write_whole(dir + "/to_pipe", "through the pipe"), 0) << output_error();
    char got[64] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 16);
    EXPECT_STREQ(got, "through the pipe");
    close(reader);
    EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));
    EXPECT_EQ(folder_list(dir), (std::vector<std::string>{"pipe", "to_pipe"}));

    // A full device: the failure surfaces at the latest at the commit, and the device stays.
    OutputFile out;
    ASSERT_EQ(output_open(&out, "/dev/full"), 0) << output_error();
    std::string block(10000, 'x');
    int32_t status = output_write(&out, block.data(), block.size());
    if (status == 0) status = output_commit(&out);
    output_abandon(&out);
    EXPECT_EQ(status, OUTPUT_FAILED);
    EXPECT_NE(strstr(output_error(), strerror(ENOSPC)), nullptr) << output_error();
    EXPECT_TRUE(S_ISCHR(mode_of("/dev/full")));
}

// A child opens an output, writes part of it and waits; the signal must leave the target as it
// was and no temporary file, and end the child by that signal.
void expect_signal_cleans_up(int signal_number)
{
    std::string dir = test_folder("out_signal");
    put(dir + "/movie.raw", "before", 0640);
    auto before = tree_snapshot(dir);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As a program started from a terminal has them (a background job ignores SIGINT).
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            signal(s, SIG_DFL);
        OutputFile out;
        if (output_open(&out, (dir + "/movie.raw").c_str()) != 0) _exit(10);
        std::string half(100000, 'h');
        if (output_write(&out, half.data(), half.size()) != 0 || fflush(out.file) != 0) _exit(11);
        if (write(ready[1], "r", 1) != 1) _exit(12);
        for (;;)
            pause();
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    EXPECT_EQ(folder_list(dir).size(), 2u); // the target and the half-written temporary file
    kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(tree_snapshot(dir), before);
}

TEST(Output, ASignalInTheMiddleLeavesTheTargetAndNoTemporaryFile)
{
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(strsignal(s));
        expect_signal_cleans_up(s);
    }
}

} // namespace
