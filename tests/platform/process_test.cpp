// Real process starts with a small program that records its arguments and current directory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/files.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "platform/process.h"
#include "tests/launcher/sandbox.h"

namespace
{

class Processes : public ::testing::Test
{
  protected:
    Sandbox box;
    fs::path record;

    void SetUp() override
    {
        box = sandbox_make();
        record = box.root / "record.txt";
        setenv("RECORD_FILE", record.c_str(), 1);
        unsetenv("RUNNER_WINE");
        install_recorder(box.cd / "Trailer" / "filmo.exe");
        write_file(box.cd / "Trailer" / "trailer.mov", "movie");
        write_file(box.cd / "setup.exe", "MZ\x90");
        ASSERT_TRUE(paths_configure(box.cd.c_str(), 'E'));
    }
    void TearDown() override
    {
        unsetenv("RUNNER_WINE");
        unsetenv("COMSPEC");
        sandbox_remove(box);
    }

    static void install_recorder(const fs::path &where)
    {
        fs::create_directories(where.parent_path());
        fs::copy_file(RECORD_ARGS, where, fs::copy_options::overwrite_existing);
        fs::permissions(where, fs::perms::owner_all);
    }

    // The record of the program started beside us; it runs on its own, so wait for it.
    std::string wait_for_record()
    {
        for (int i = 0; i < 1000 && !fs::exists(record); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return read_file(record);
    }
};

TEST_F(Processes, NativeProgramStartsBesideWithItsFilesAsHostPaths)
{
    const char *args[] = {"Trailer\\filmo.exe", "Trailer\\trailer.mov"};
    ASSERT_TRUE(process_start(PROCESS_START_BESIDE, args[0], args, 2));
    std::string cd = fs::canonical(box.cd).string();
    EXPECT_EQ(wait_for_record(),
              "cwd=" + cd + "\narg0=Trailer/filmo.exe\narg1=Trailer/trailer.mov\n");
}

TEST_F(Processes, WindowsProgramRunsThroughWineWithItsArgumentsUnchanged)
{
    setenv("RUNNER_WINE", RECORD_ARGS, 1);
    const char *args[] = {"E:\\SETUP.EXE", "-fC:\\DEMO\\LOG.TXT", "Trailer\\trailer.mov"};
    ASSERT_TRUE(process_start(PROCESS_START_BESIDE, args[0], args, 3));
    std::string cd = fs::canonical(box.cd).string();
    EXPECT_EQ(wait_for_record(),
              "cwd=" + cd + "\narg0=" + RECORD_ARGS + "\narg1=" + cd +
                  "/setup.exe\narg2=-fC:\\DEMO\\LOG.TXT\narg3=Trailer\\trailer.mov\n");
}

TEST_F(Processes, AnEmptyRunnerWineCountsAsUnset)
{
    // Then "wine" is looked up in PATH, where a recorder stands in for it.
    install_recorder(box.root / "bin" / "wine");
    const char *old_path = getenv("PATH");
    std::string path = old_path ? old_path : "";
    setenv("PATH", ((box.root / "bin").string() + ":" + path).c_str(), 1);
    setenv("RUNNER_WINE", "", 1);
    const char *args[] = {"E:\\SETUP.EXE"};
    bool started = process_start(PROCESS_START_BESIDE, args[0], args, 1);
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(started);
    std::string cd = fs::canonical(box.cd).string();
    EXPECT_EQ(wait_for_record(), "cwd=" + cd + "\narg0=wine\narg1=" + cd + "/setup.exe\n");
}

TEST_F(Processes, FailedStartsStartNothing)
{
    const char *missing[] = {"E:\\nothing.exe"};
    EXPECT_FALSE(process_start(PROCESS_START_BESIDE, missing[0], missing, 1));
    const char *empty[] = {""};
    EXPECT_FALSE(process_start(PROCESS_START_BESIDE, empty[0], empty, 1));
    // A Windows program with no wine to run it.
    setenv("RUNNER_WINE", (box.root / "no-wine").c_str(), 1);
    const char *windows[] = {"E:\\setup.exe"};
    EXPECT_FALSE(process_start(PROCESS_START_BESIDE, windows[0], windows, 1));
    // A file that is neither a Windows program nor executable here.
    write_file(box.cd / "plain.exe", "text");
    const char *plain[] = {"E:\\plain.exe"};
    EXPECT_FALSE(process_start(PROCESS_RUN_AND_WAIT, plain[0], plain, 1));
    const char *folder[] = {"E:\\Trailer"};
    EXPECT_FALSE(process_start(PROCESS_START_BESIDE, folder[0], folder, 1));
    // A FIFO where the program belongs is no program, and looking at it does not block.
    ASSERT_EQ(mkfifo((box.cd / "pipe.exe").c_str(), 0755), 0);
    const char *pipe[] = {"E:\\pipe.exe"};
    alarm(20);
    EXPECT_FALSE(process_start(PROCESS_START_BESIDE, pipe[0], pipe, 1));
    alarm(0);
    EXPECT_FALSE(fs::exists(record));
}

TEST_F(Processes, RunCommandWithoutComspecRunsTheProgramFromTheCurrentDirectory)
{
    fs::path demo = box.drive_c / "DEMO";
    install_recorder(demo / "SETSOUND.EXE");
    ASSERT_TRUE(files_set_current_directory("C:\\DEMO\\"));
    ASSERT_TRUE(process_run_command("setsound.exe"));
    // Waited for: the record is there at once.
    std::string d = fs::canonical(demo).string();
    EXPECT_EQ(read_file(record), "cwd=" + d + "\narg0=SETSOUND.EXE\n");
}

TEST_F(Processes, RunCommandThroughComspec)
{
    install_recorder(box.cd / "COMMAND.COM");
    setenv("COMSPEC", "E:\\COMMAND.COM", 1);
    ASSERT_TRUE(process_run_command("setsound.exe"));
    std::string cd = fs::canonical(box.cd).string();
    EXPECT_EQ(read_file(record),
              "cwd=" + cd + "\narg0=" + cd + "/COMMAND.COM\narg1=/c\narg2=setsound.exe\n");
    // A COMSPEC that names nothing falls back to running the command itself.
    fs::remove(record);
    setenv("COMSPEC", "E:\\MISSING.COM", 1);
    EXPECT_FALSE(process_run_command("setsound.exe"));
    install_recorder(box.cd / "setsound.exe");
    EXPECT_TRUE(process_run_command("setsound.exe"));
    EXPECT_EQ(read_file(record), "cwd=" + cd + "\narg0=setsound.exe\n");
}

TEST_F(Processes, StartInPlaceEndsTheProgramWithExitCodeZero)
{
    const char *args[] = {"Trailer\\filmo.exe", "Trailer\\trailer.mov"};
    EXPECT_EXIT(
        {
            process_start(PROCESS_START_IN_PLACE, args[0], args, 2);
            std::exit(7);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_NE(wait_for_record().find("arg1="), std::string::npos);
    const char *missing[] = {"E:\\UNINST.EXE"};
    EXPECT_FALSE(process_start(PROCESS_START_IN_PLACE, missing[0], missing, 1));
}

TEST_F(Processes, Environment)
{
    setenv("COMSPEC", "C:\\WINDOWS\\COMMAND.COM", 1);
    char value[64];
    ASSERT_TRUE(process_get_env("COMSPEC", value, sizeof value));
    EXPECT_STREQ(value, "C:\\WINDOWS\\COMMAND.COM");
    EXPECT_FALSE(process_get_env("COMSPEC", value, 8));
    unsetenv("COMSPEC");
    EXPECT_FALSE(process_get_env("COMSPEC", value, sizeof value));
}

// A signal during a long read (the handler's call) ends the program there, nested reads too;
// one before it is noted, and the next long read ends the program as it begins.
TEST(Ending, ASignalDuringALongReadEndsTheProgramAtOnce)
{
    EXPECT_EXIT(
        {
            posix_long_read_begin();
            posix_end_on_signal();
            _exit(3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            posix_long_read_begin();
            posix_long_read_begin();
            posix_long_read_end();
            posix_end_on_signal();
            _exit(3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            posix_end_on_signal();
            fprintf(stderr, "went on\n");
            posix_long_read_begin();
            _exit(3);
        },
        testing::ExitedWithCode(0), "went on");
}

} // namespace
