// Uninstall on a real install folder with decoys: exactly the listed files go, in order.
#include <gtest/gtest.h>

#include <map>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "platform/headless/headless_ui.h"
#include "platform/posix/paths.h"
#include "tests/launcher/menu_fixture.h"

namespace
{

std::map<std::string, std::string> snapshot(const fs::path &root)
{
    return sandbox_listing(root);
}

class Uninstall : public SandboxMenu
{
  protected:
    void SetUp() override
    {
        make_sandbox("E:\\RUNNER.EXE");

        const char *doomed[] = {"drivers/dig.ini", "loading.bmp", "tumblodos.cfg",
                                "tumblowin.cfg",   "a.lst",       "B.LST",
                                "c.pif",           "save/1.sav",  "save/noext"};
        for (const char *name : doomed)
            write_file(demo / name, name);
        const char *decoys[] = {"ztDemo.exe",      "UNINST.EXE",   "drivers/other.ini",
                                "loading.bmp.bak", "xloading.bmp", "tumblo.cfg",
                                "frei.lvl2",       "a.lst.txt",    "lst",
                                "a.lsta",          "c.pif~",       "save/sub/deep.sav",
                                "save/sub/x.lst",  "Save2/x.sav",  "sub/y.lst",
                                "drivers/z.pif"};
        for (const char *name : decoys)
            write_file(demo / name, name);
        write_file(demo / "frei.lvl", "read-only");
        fs::permissions(demo / "frei.lvl", fs::perms::owner_read | fs::perms::group_read);
        write_file(box.outside / "target.lst", "outside");
        write_file(box.outside / "secret.sav", "outside");
        write_file(box.outside / "dir" / "kept.sav", "outside");
        fs::create_symlink(box.outside / "target.lst", demo / "link.lst");
        fs::create_symlink(box.outside / "secret.sav", demo / "save" / "out.sav");
        fs::create_directory_symlink(box.outside / "dir", demo / "save" / "dirlink");
        write_registry(box, {{"Path", "C:\\DEMO\\"},
                             {"Uninstall", "C:\\DEMO\\UNINST.EXE -fC:\\DEMO\\LOG.TXT"}});
    }

    void click_uninstall()
    {
        headless_tick();
        headless_call([] { headless_click(launcher.menu_window, ID_UNINSTALL); });
    }
};

TEST_F(Uninstall, YesDeletesExactlyTheListedFilesInOrderAndStartsTheUninstaller)
{
    std::map<std::string, std::string> before = snapshot(demo);
    std::map<std::string, std::string> outside_before = snapshot(box.outside);

    int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    std::map<int, std::string> folders;
    for (const char *folder : {"", "drivers", "save", "save/sub", "sub", "Save2"})
        folders[inotify_add_watch(watch, (demo / folder).c_str(), IN_DELETE | IN_DELETE_SELF)] =
            folder;

    headless_answer_message_box(IDYES);
    click_uninstall();
    EXPECT_EQ(launcher_main(SW_SHOWNORMAL), 0);

    std::vector<std::string> deleted;
    alignas(inotify_event) char buffer[65536];
    ssize_t got = read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
        const inotify_event *event = reinterpret_cast<const inotify_event *>(buffer + at);
        std::string folder = folders[event->wd];
        deleted.push_back((folder.empty() ? "" : folder + "/") + event->name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    close(watch);
    const std::vector<std::string> expected = {
        "drivers/dig.ini", "loading.bmp", "tumblodos.cfg", "tumblowin.cfg", "B.LST",       "a.lst",
        "link.lst",        "c.pif",       "save/1.sav",    "save/noext",    "save/out.sav"};
    EXPECT_EQ(deleted, expected);

    std::map<std::string, std::string> after = snapshot(demo);
    for (const std::string &gone : expected)
        before.erase(gone);
    EXPECT_EQ(after, before);
    EXPECT_EQ(snapshot(box.outside), outside_before);

    ASSERT_EQ(headless_message_boxes().size(), 1u);
    const HeadlessMessageBox &question = headless_message_boxes()[0];
    EXPECT_EQ(question.text, "You really want to delete\nZenthor Demo?");
    EXPECT_EQ(question.caption, "Uninstall");
    EXPECT_EQ(question.type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(question.owner, launcher.menu_window);

    ASSERT_EQ(headless_starts().size(), 1u);
    const HeadlessStart &start = headless_starts()[0];
    EXPECT_TRUE(started_as(start, PROCESS_START_IN_PLACE, "C:\\DEMO\\UNINST.EXE",
                           "C:\\DEMO\\UNINST.EXE -fC:\\DEMO\\LOG.TXT", "C:\\DEMO"));
    EXPECT_TRUE(headless_ended_in_place());
}

TEST_F(Uninstall, NoTouchesNothingAndStartsNothing)
{
    std::map<std::string, std::string> before = snapshot(box.root);
    headless_answer_message_box(IDNO);
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    EXPECT_EQ(snapshot(box.root), before);
    EXPECT_TRUE(headless_starts().empty());
    EXPECT_EQ(headless_message_boxes().size(), 1u);
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
}

TEST_F(Uninstall, GermanQuestion)
{
    write_registry(
        box, {{"Path", "C:\\DEMO\\"}, {"Uninstall", "C:\\DEMO\\UNINST.EXE"}, {"Language", "1"}});
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_message_boxes().size(), 1u);
    EXPECT_EQ(headless_message_boxes()[0].text,
              "Sind Sie sicher, da\xDF Sie die Demo\nvom Zenthor l\xF6schen wollen?");
}

TEST_F(Uninstall, ValueWithoutFlagStartsTheWholeValue)
{
    write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\DEMO\\UNINST.EXE"}});
    headless_answer_message_box(IDYES);
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_EQ(headless_starts()[0].command_line, "C:\\DEMO\\UNINST.EXE");
    EXPECT_TRUE(headless_starts()[0].started);
}

TEST_F(Uninstall, ValueBeginningWithTheFlagStartsNothing)
{
    write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "-fC:\\DEMO\\LOG.TXT"}});
    headless_answer_message_box(IDYES);
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_EQ(headless_starts()[0].program, "");
    EXPECT_FALSE(headless_starts()[0].started);
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
}

TEST_F(Uninstall, FlagInsideTheProgramPathSplitsThereAndTheStartFails)
{
    write_file(box.drive_c / "my-files" / "UNINST.EXE", "MZ");
    write_registry(box, {{"Path", "C:\\DEMO"}, {"Uninstall", "C:\\my-files\\UNINST.EXE"}});
    headless_answer_message_box(IDYES);
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_EQ(headless_starts()[0].program, "C:\\m");
    EXPECT_EQ(headless_starts()[0].command_line, "C:\\m -files\\UNINST.EXE");
    EXPECT_FALSE(headless_starts()[0].started);
}

TEST_F(Uninstall, MissingInstallFolderDeletesNothingButStartsTheUninstaller)
{
    write_file(box.cd / "UNINST.EXE", "MZ");
    write_registry(box, {{"Path", "C:\\GONE"}, {"Uninstall", "E:\\UNINST.EXE -fE:\\LOG"}});
    std::map<std::string, std::string> before = snapshot(box.root);
    headless_answer_message_box(IDYES);
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    EXPECT_EQ(snapshot(box.root), before);
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_EQ(headless_starts()[0].command_line, "E:\\UNINST.EXE -fE:\\LOG");
    EXPECT_EQ(headless_starts()[0].directory, "E:\\");
    EXPECT_TRUE(headless_starts()[0].started);
}

TEST_F(Uninstall, SaveFolderThatLinksOutsideIsNotEntered)
{
    fs::remove_all(demo / "save");
    fs::create_directory_symlink(box.outside, demo / "save");
    std::map<std::string, std::string> outside_before = snapshot(box.outside);
    headless_answer_message_box(IDYES);
    click_uninstall();
    launcher_main(SW_SHOWNORMAL);
    EXPECT_EQ(snapshot(box.outside), outside_before);
    EXPECT_TRUE(fs::is_symlink(demo / "save"));
    EXPECT_FALSE(fs::exists(demo / "a.lst"));
}

TEST_F(Uninstall, FailedUninstallerStartLeavesTheMenuWithTheNewState)
{
    fs::remove(demo / "UNINST.EXE");
    write_file(demo / "xxxxxxx.xxx", "MZ");
    fs::remove(demo / "ztDemo.exe");
    headless_answer_message_box(IDYES);
    headless_tick();
    headless_call([] {
        EXPECT_TRUE(headless_window(ui_get_dlg_item(launcher.menu_window, ID_PLAY))->enabled);
    });
    headless_call([] { headless_click(launcher.menu_window, ID_UNINSTALL); });
    headless_tick();
    launcher_main(SW_SHOWNORMAL);
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_FALSE(headless_starts()[0].started);
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
    // dig.ini went with the deletions, so the sound variant cannot play any more.
    EXPECT_FALSE(headless_window(ui_get_dlg_item(launcher.menu_window, ID_PLAY))->enabled);
    EXPECT_TRUE(headless_window(ui_get_dlg_item(launcher.menu_window, ID_UNINSTALL))->enabled);
}

// Attacks on the install folder: each leaves everything outside it as it was.
class UninstallAttack : public Uninstall
{
  protected:
    std::map<std::string, std::string> root_before;

    void run_yes()
    {
        root_before = snapshot(box.root);
        headless_answer_message_box(IDYES);
        click_uninstall();
        launcher_main(SW_SHOWNORMAL);
    }
    // Everything below the sandbox except the install folder is as it was.
    void expect_outside_unchanged()
    {
        std::map<std::string, std::string> after = snapshot(box.root);
        std::string inside = fs::relative(demo, box.root).string() + "/";
        for (auto *m : {&root_before, &after})
            for (auto it = m->begin(); it != m->end();)
                it = it->first.compare(0, inside.size(), inside) == 0 ? m->erase(it) : ++it;
        EXPECT_EQ(after, root_before);
    }
};

TEST_F(UninstallAttack, NamesWithBackslashesOrDrivesAreNotPaths)
{
    write_file(box.drive_c / "canary.txt", "canary");
    write_file(box.outside / "canary.txt", "canary");
    std::string host_outside;
    for (char c : box.outside.string())
        host_outside += c == '/' ? '\\' : c;
    const std::string odd[] = {
        "..\\..\\canary.txt", "Z:" + host_outside + "\\canary.txt", "a:b.lst", "q?.pif",
        "x\x01.lst",          "..\\..\\..\\cd\\loading.bmp"};
    for (const std::string &name : odd)
        write_file(demo / "save" / name, "odd");
    write_file(demo / ("..\\canary.lst"), "odd");
    run_yes();
    expect_outside_unchanged();
    // No Windows file system holds such names: they are not found, so they stay too.
    for (const std::string &name : odd)
        EXPECT_TRUE(fs::exists(demo / "save" / name)) << name;
    EXPECT_TRUE(fs::exists(demo / "..\\canary.lst"));
    EXPECT_FALSE(fs::exists(demo / "save" / "1.sav"));
}

TEST_F(UninstallAttack, PathThatIsNoWholeWindowsPathDeletesNothing)
{
    write_file(box.outside / "folder" / "a.lst", "outside");
    write_file(box.cd / "x.lst", "cd");
    write_file(box.cd / "DEMO" / "y.lst", "cd");
    write_file(box.cd / "save" / "z.sav", "cd");
    const std::string paths[] = {(box.outside / "folder").string() + "/", "DEMO", "\\DEMO",
                                 "Q:\\DEMO"};
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(paths_configure(box.cd.c_str(), 'E'));
        restart("E:\\RUNNER.EXE");
        write_registry(box, {{"Path", path}, {"Uninstall", "E:\\UNINST.EXE"}});
        std::map<std::string, std::string> before = snapshot(box.root);
        run_yes();
        EXPECT_EQ(snapshot(box.root), before);
        // The menu's folder for Windows names is still the one it is in.
        EXPECT_EQ(fs::current_path(), fs::canonical(box.cd));
        EXPECT_EQ(paths_current(), "E:\\");
    }
}

TEST_F(UninstallAttack, UnmappedDriveDeletesNothingEvenWhereTheHostRootWouldServe)
{
    // Without a z: in the prefix, Z: is still read as the host's root, but it is no install
    // folder: the record's folder must be on a drive the prefix maps.
    std::string host_demo;
    for (char c : demo.string())
        host_demo += c == '/' ? '\\' : c;
    write_registry(box, {{"Path", "Z:" + host_demo}, {"Uninstall", "E:\\UNINST.EXE"}});
    run_yes();
    EXPECT_TRUE(fs::exists(demo / "a.lst"));
    EXPECT_TRUE(fs::exists(demo / "save" / "1.sav"));
}

TEST_F(UninstallAttack, LinkedFoldersBelowTheInstallFolderAreNotFollowed)
{
    fs::remove_all(demo / "drivers");
    write_file(box.outside / "drv" / "dig.ini", "outside");
    fs::create_directory_symlink(box.outside / "drv", demo / "drivers");
    // A name that leads up and back down through a link is no way out either.
    fs::create_directory_symlink(box.outside, demo / "save" / "up");
    write_file(box.outside / "save" / "v.sav", "outside");
    run_yes();
    expect_outside_unchanged();
    EXPECT_TRUE(fs::is_symlink(demo / "drivers"));
    EXPECT_TRUE(fs::is_symlink(demo / "save" / "up"));
    EXPECT_FALSE(fs::exists(demo / "save" / "1.sav"));
}

TEST_F(UninstallAttack, FoldersFifosAndReadOnlyFilesWhereFilesBelongStay)
{
    fs::remove(demo / "tumblodos.cfg");
    fs::create_directories(demo / "tumblodos.cfg");
    write_file(demo / "tumblodos.cfg" / "inner.lst", "kept");
    ASSERT_EQ(mkfifo((demo / "x.pif").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((demo / "save" / "f.sav").c_str(), 0644), 0);
    fs::create_symlink("/nonexistent-target", demo / "save" / "dangling.sav");
    write_file(demo / "save" / "ro.sav", "ro");
    fs::permissions(demo / "save" / "ro.sav", fs::perms::owner_read);
    run_yes();
    expect_outside_unchanged();
    EXPECT_TRUE(fs::exists(demo / "tumblodos.cfg" / "inner.lst"));
    EXPECT_TRUE(fs::is_fifo(demo / "x.pif"));
    EXPECT_TRUE(fs::is_fifo(demo / "save" / "f.sav"));
    EXPECT_TRUE(fs::exists(demo / "save" / "ro.sav"));
    EXPECT_FALSE(fs::is_symlink(demo / "save" / "dangling.sav")); // a link itself may go
}

} // namespace
