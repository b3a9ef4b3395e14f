// Whole menu sessions on the headless windows over a fresh sandbox: the CD (drive E:) holds the
// background picture and the install folder is C:\DEMO; each test adds its own files on top.
#pragma once

#include <gtest/gtest.h>
#include <string>

#include "launcher/launcher.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/paths.h"
#include "tests/launcher/sandbox.h"

// Whether start is the menu starting program, with this command line, from this directory, the
// way given; on a mismatch the message shows what it was.
inline ::testing::AssertionResult started_as(const HeadlessStart &start, ProcessWay way,
                                             const std::string &program,
                                             const std::string &command_line,
                                             const std::string &directory)
{
    if (start.way == way && start.program == program && start.command_line == command_line &&
        start.directory == directory)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "started way " << start.way << " \"" << start.program << "\" as \""
           << start.command_line << "\" in \"" << start.directory << "\"; expected way " << way
           << " \"" << program << "\" as \"" << command_line << "\" in \"" << directory << "\"";
}

class SandboxMenu : public ::testing::Test
{
  protected:
    Sandbox box;
    fs::path demo;

    void make_sandbox(const char *command_line)
    {
        box = sandbox_make();
        demo = box.drive_c / "DEMO";
        write_file(box.cd / "loading.bmp", make_bmp(480, 360, 0));
        ASSERT_TRUE(paths_configure(box.cd.c_str(), 'E'));
        restart(command_line);
    }

    // A second run in the same test starts from no windows, input or starts, as a new process.
    static void restart(const char *command_line)
    {
        launcher_reset();
        headless_launcher_reset(1024, 768);
        headless_set_command_line(command_line);
    }

    void TearDown() override
    {
        launcher_reset();
        sandbox_remove(box);
    }
};
