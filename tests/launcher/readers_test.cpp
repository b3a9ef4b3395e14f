// Whatever stands where the menu expects a file (a FIFO with no writer, a folder, a device) is
// taken as a missing file: the menu neither blocks nor reads it, and says what it says for a
// missing file.
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "platform/headless/headless_ui.h"
#include "tests/launcher/menu_fixture.h"

namespace
{

class OddFiles : public SandboxMenu
{
  protected:
    void SetUp() override
    {
        make_sandbox("E:\\RUNNER.EXE");
        write_file(box.cd / "setup.exe", "MZ");
        write_file(box.cd / "Readme.txt", "text");
        write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\DEMO\\UNINST.EXE"}});
        fs::create_directories(demo);
        // Should anything block, the alarm ends the test program instead of hanging it.
        alarm(20);
    }
    void TearDown() override
    {
        alarm(0);
        SandboxMenu::TearDown();
    }
    static bool enabled(int32_t id)
    {
        return headless_window(ui_get_dlg_item(launcher.menu_window, id))->enabled;
    }
    static void fifo(const fs::path &path)
    {
        fs::remove(path);
        ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    }
};

TEST_F(OddFiles, FifosWhereThePictureReadmeAndGameBelongAreMissingFiles)
{
    fifo(box.cd / "loading.bmp");
    fifo(box.cd / "Readme.txt");
    fifo(demo / "ztDemo.exe");
    headless_tick();
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_message_boxes().size(), 1u);
    EXPECT_EQ(headless_message_boxes()[0].text, "Error loading background picture");
    EXPECT_FALSE(enabled(ID_INSTALL)); // no picture file
    EXPECT_FALSE(enabled(ID_README));
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_TRUE(enabled(ID_UNINSTALL)); // the record itself was read
}

TEST_F(OddFiles, FolderOrDeviceWhereThePictureAndReadmeBelongAreMissingFiles)
{
    fs::remove(box.cd / "loading.bmp");
    fs::create_directory(box.cd / "loading.bmp");
    fs::remove(box.cd / "Readme.txt");
    fs::create_symlink("/dev/zero", box.cd / "Readme.txt");
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_message_boxes().size(), 1u);
    EXPECT_EQ(headless_message_boxes()[0].text, "Error loading background picture");
    EXPECT_FALSE(enabled(ID_README));
}

TEST_F(OddFiles, FifoAsTheRegistryFileIsNoInstallRecord)
{
    write_file(demo / "ztDemo.exe", "MZ");
    fifo(box.registry);
    headless_tick();
    launcher_main(SW_SHOWNORMAL);
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_STREQ(launcher.install_folder, "");
}

TEST_F(OddFiles, DriverFileIsNeverWrittenThroughALinkOrAFifo)
{
    // The sound variant makes an empty drivers\dig.ini after its set-up; a link there must not
    // create or open anything at its target, nor a FIFO block the menu.
    write_file(demo / "xxxxxxx.xxx", "MZ");
    fs::create_directories(demo / "drivers");
    fs::create_symlink(box.outside / "made-outside.ini", demo / "drivers" / "dig.ini");
    launcher.sound_setup_has_run = true;
    headless_tick();
    headless_tick();
    launcher_main(SW_SHOWNORMAL);
    EXPECT_FALSE(fs::exists(box.outside / "made-outside.ini"));
    EXPECT_TRUE(fs::is_symlink(demo / "drivers" / "dig.ini"));
}

// The driver file's folder, or the name itself, is something other than a plain folder and no
// file: a link to a folder outside, a dangling link, a FIFO (in another spelling too), a device.
// The menu neither creates anything anywhere nor blocks, and keeps Play disabled; a listing
// with hashes of the whole sandbox proves that nothing changed. A plain folder gets the file.
TEST_F(OddFiles, DriverFileIsCreatedOnlyInARealFolderAndNeverOverSomethingElse)
{
    write_file(demo / "xxxxxxx.xxx", "MZ");
    write_file(box.outside / "keep.txt", "keep");
    using Setup = std::function<void()>;
    const std::vector<std::pair<const char *, Setup>> cases = {
        {"folder link", [&] { fs::create_directory_symlink(box.outside, demo / "drivers"); }},
        {"link in another case",
         [&] { fs::create_directory_symlink(box.outside, demo / "DRIVERS"); }},
        {"dangling link",
         [&] { fs::create_directory_symlink(box.outside / "none", demo / "drivers"); }},
        {"fifo",
         [&] {
             fs::create_directories(demo / "drivers");
             ASSERT_EQ(mkfifo((demo / "drivers" / "dig.ini").c_str(), 0644), 0);
         }},
        {"fifo in another case",
         [&] {
             fs::create_directories(demo / "drivers");
             ASSERT_EQ(mkfifo((demo / "drivers" / "DIG.Ini").c_str(), 0644), 0);
         }},
        {"device",
         [&] {
             fs::create_directories(demo / "drivers");
             ASSERT_EQ(mknod((demo / "drivers" / "dig.ini").c_str(), S_IFCHR | 0644, makedev(1, 3)),
                       0);
         }},
    };
    for (const auto &[name, setup] : cases) {
        SCOPED_TRACE(name);
        std::error_code ignored;
        fs::remove_all(demo / "drivers", ignored);
        fs::remove_all(demo / "DRIVERS", ignored);
        setup();
        auto before = sandbox_listing(box.root);
        restart("E:\\RUNNER.EXE");
        launcher.sound_setup_has_run = true;
        for (int i = 0; i < 3; i++)
            headless_tick();
        launcher_main(SW_SHOWNORMAL);
        EXPECT_EQ(sandbox_listing(box.root), before);
        EXPECT_FALSE(enabled(ID_PLAY));
    }
    // A real folder: the file is made, and the next look enables Play.
    std::error_code ignored;
    fs::remove_all(demo / "drivers", ignored);
    fs::remove_all(demo / "DRIVERS", ignored);
    fs::create_directories(demo / "drivers");
    restart("E:\\RUNNER.EXE");
    launcher.sound_setup_has_run = true;
    headless_tick();
    launcher_main(SW_SHOWNORMAL);
    EXPECT_TRUE(fs::is_regular_file(demo / "drivers" / "dig.ini"));
    EXPECT_EQ(fs::file_size(demo / "drivers" / "dig.ini"), 0u);
    EXPECT_TRUE(enabled(ID_PLAY));
}

} // namespace
