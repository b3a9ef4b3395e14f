// Whole menu sessions on the headless windows over a fresh sandbox: the CD (drive E:) holds the
// background picture and the install folder is C:\DEMO; each test adds its own files on top.
#pragma once

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "platform/headless/launcher_headless.h"
#include "platform/posix/paths.h"
#include "tests/launcher/sandbox.h"

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
