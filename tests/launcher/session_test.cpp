// Whole menu sessions: the real launcher on the headless windows, real files and registry file.
#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "launcher/texts.h"
#include "platform/headless/launcher_headless.h"
#include "platform/posix/paths.h"
#include "tests/launcher/menu_fixture.h"

namespace
{

class MenuSession : public SandboxMenu
{
  protected:
    void SetUp() override
    {
        make_sandbox("\"E:\\RUNNER.EXE\"");
        fs::create_directories(demo);
        write_file(box.cd / "Readme.txt", "Line one\r\nZweite Zeile: \xE4\xF6\xFC\xDF\r\n");
        write_file(box.cd / "setup.exe", "MZ");
        write_file(box.cd / "directx" / "dxsetup.exe", "MZ");
        write_file(box.cd / "Trailer" / "filmo.exe", "\x7f"
                                                     "ELF");
        write_file(box.cd / "Trailer" / "trailer.mov", "movie");
    }

    void install(const char *game, bool with_uninstall = true)
    {
        std::vector<std::pair<std::string, std::string>> values = {{"Path", "C:\\DEMO"}};
        if (with_uninstall)
            values.push_back({"Uninstall", "C:\\DEMO\\UNINST.EXE -fC:\\DEMO\\LOG.TXT"});
        write_registry(box, values);
        if (game) write_file(demo / game, "MZ");
        write_file(demo / "UNINST.EXE", "MZ");
    }

    static const HeadlessWindow *button(int32_t id)
    {
        return headless_window(ui_get_dlg_item(launcher.menu_window, id));
    }
    static bool enabled(int32_t id) { return button(id)->enabled; }
    static std::string text(int32_t id) { return button(id)->text; }
    int32_t run() { return launcher_main(SW_SHOWNORMAL); }
    // A click on the button, when the run that follows gets to it.
    static void queue_click(int32_t id)
    {
        headless_call([id] { headless_click(launcher.menu_window, id); });
    }
};

TEST_F(MenuSession, LayoutCentresTheWindowAndPlacesTheButtons)
{
    UiRect window = {}, b = {};
    headless_call([&] { ui_get_window_rect(launcher.menu_window, &window); });
    EXPECT_EQ(run(), 0);
    // 480 x 478 client area plus a 3-pixel frame and a 19-pixel caption: 486 x 503.
    EXPECT_EQ(window.left, (1024 - 486) >> 1);
    EXPECT_EQ(window.top, (768 - 503) >> 1);
    EXPECT_EQ(window.right - window.left, 486);
    EXPECT_EQ(window.bottom - window.top, 503);
    const int32_t ids[6] = {ID_PLAY, ID_INSTALL, ID_SETUP, ID_UNINSTALL, ID_README, ID_EXIT};
    for (int i = 0; i < 6; i++) {
        b = button(ids[i])->rect;
        EXPECT_EQ(b.left, 2 + 160 * (i % 3)) << ids[i];
        EXPECT_EQ(b.top, i < 3 ? 4 : 42) << ids[i];
        EXPECT_EQ(b.right - b.left, 158) << ids[i];
        EXPECT_EQ(b.bottom - b.top, 36) << ids[i];
    }
    b = button(ID_TRAILER)->rect;
    EXPECT_EQ(b.left, 2);
    EXPECT_EQ(b.top, 442);
    EXPECT_EQ(b.right - b.left, 478);
    EXPECT_EQ(b.bottom - b.top, 36);
}

TEST_F(MenuSession, SmallDesktopPutsTheCaptionAboveTheScreen)
{
    headless_launcher_reset(640, 480);
    headless_set_command_line("E:\\RUNNER.EXE");
    run();
    UiRect window = headless_window(launcher.menu_window)->rect;
    EXPECT_EQ(window.left, 77);
    EXPECT_EQ(window.top, -12); // (480 - 503) halved by an arithmetic shift
}

TEST_F(MenuSession, StartUpShowsEnglishTextsAndProbesTheCd)
{
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(headless_input_ran_out());
    const HeadlessWindow *menu = headless_window(launcher.menu_window);
    EXPECT_TRUE(menu->visible);
    EXPECT_EQ(menu->text, "Zenthor DEMO");
    EXPECT_EQ(headless_window(launcher.owner_window)->text, "Zenthor DEMO");
    EXPECT_EQ(text(ID_PLAY), "Play DEMO");
    EXPECT_EQ(text(ID_INSTALL), "Install");
    EXPECT_EQ(text(ID_SETUP), "DirectX Install");
    EXPECT_EQ(text(ID_UNINSTALL), "Uninstall DEMO");
    EXPECT_EQ(text(ID_README), "Readme");
    EXPECT_EQ(text(ID_EXIT), "Exit");
    EXPECT_EQ(text(ID_TRAILER), "Zenthor - Trailer");
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_TRUE(enabled(ID_INSTALL));
    EXPECT_TRUE(enabled(ID_SETUP));
    EXPECT_TRUE(enabled(ID_README));
    EXPECT_TRUE(enabled(ID_TRAILER));
    EXPECT_TRUE(enabled(ID_EXIT));
    EXPECT_EQ(headless_focus(), launcher.menu_window);
    EXPECT_EQ(headless_timer_count(), 1);
    EXPECT_EQ(headless_icon_images(ICON_PROGRAM), 2);
    EXPECT_TRUE(headless_message_boxes().empty());
    EXPECT_EQ(launcher.cd_drive, 'E');
    EXPECT_STREQ(launcher.program_folder, "E:\\");
    EXPECT_STREQ(launcher.setup_path, "E:\\setup.exe");
    EXPECT_STREQ(launcher.directx_setup_path, "E:\\directx\\dxsetup.exe");
}

TEST_F(MenuSession, WindowsThatCannotBeMadeEndTheProgram)
{
    headless_fail_next_window();
    headless_tick();
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(headless_message_boxes().empty());
    EXPECT_FALSE(headless_input_ran_out()); // ended before its message loop

    restart("E:\\RUNNER.EXE");
    headless_fail_next_dialog();
    headless_tick();
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(headless_message_boxes().size(), 1u);
    EXPECT_EQ(headless_message_boxes()[0].text, "Error initializing mainwindow");
    EXPECT_EQ(headless_message_boxes()[0].caption, "Error");
    EXPECT_EQ(headless_message_boxes()[0].owner, 0u);
    EXPECT_EQ(headless_message_boxes()[0].type, MB_OK);
    EXPECT_FALSE(headless_input_ran_out());
}

TEST_F(MenuSession, MissingCdProgramsDisableTheirButtons)
{
    fs::remove_all(box.cd / "directx");
    fs::remove_all(box.cd / "Trailer");
    fs::remove(box.cd / "Readme.txt");
    fs::remove(box.cd / "setup.exe");
    run();
    EXPECT_FALSE(enabled(ID_INSTALL));
    EXPECT_FALSE(enabled(ID_SETUP));
    EXPECT_FALSE(enabled(ID_TRAILER));
    EXPECT_FALSE(enabled(ID_README));
    EXPECT_STREQ(launcher.directx_setup_path, "");
}

TEST_F(MenuSession, MissingPictureIsReportedAndKeepsInstallDisabled)
{
    fs::remove(box.cd / "loading.bmp");
    run();
    ASSERT_EQ(headless_message_boxes().size(), 1u);
    const HeadlessMessageBox &shown = headless_message_boxes()[0];
    EXPECT_EQ(shown.text, "Error loading background picture");
    EXPECT_EQ(shown.caption, "Error");
    EXPECT_EQ(shown.type, MB_OK);
    EXPECT_EQ(shown.owner, launcher.menu_window);
    EXPECT_FALSE(enabled(ID_INSTALL));
    // The menu still paints, only without a picture.
    EXPECT_GE(headless_window(launcher.menu_window)->paint_count, 1);
}

TEST_F(MenuSession, PictureIsPaintedBelowTheButtonsThroughItsPalette)
{
    run();
    const HeadlessWindow *menu = headless_window(launcher.menu_window);
    ASSERT_EQ(menu->client_width, 480);
    ASSERT_EQ(menu->client_height, 478);
    auto colour = [](int index) {
        return static_cast<uint32_t>(index) << 16 | static_cast<uint32_t>(255 - index) << 8 |
               static_cast<uint32_t>(index / 2);
    };
    for (int y : {0, 1, 179, 359})
        for (int x : {0, 1, 240, 479})
            EXPECT_EQ(menu->canvas[(80 + y) * 480 + x], colour((x + 3 * y) % 256)) << x << "," << y;
    // Above and below the picture the dialog's own background stays.
    EXPECT_EQ(menu->canvas[79 * 480], 0xC0C0C0u);
    EXPECT_EQ(menu->canvas[440 * 480], 0xC0C0C0u);
    // Buttons are coloured by the window procedure.
    EXPECT_TRUE(button(ID_PLAY)->coloured);
    EXPECT_EQ(button(ID_PLAY)->bk_colour, 0xC4C4C4u);
    EXPECT_EQ(button(ID_PLAY)->brush, ui_stock_black_brush());
}

TEST_F(MenuSession, GermanTextsComeFromTheInstallRecord)
{
    write_registry(box, {{"Language", "1"}});
    run();
    EXPECT_EQ(launcher.language, 0);
    EXPECT_EQ(text(ID_PLAY), "Starte DEMO");
    EXPECT_EQ(text(ID_INSTALL), "Installiere");
    EXPECT_EQ(text(ID_SETUP), "Installiere DirectX");
    EXPECT_EQ(text(ID_UNINSTALL), "L\xF6sche DEMO");
    EXPECT_EQ(text(ID_README), "Hinweise");
    EXPECT_EQ(text(ID_EXIT), "Ende");
    EXPECT_EQ(text(ID_TRAILER), "Zenthor - Trailer");
}

TEST_F(MenuSession, LanguageWithoutTextsFallsBackToEnglish)
{
    write_registry(box, {{"Language", "3"}});
    run();
    EXPECT_EQ(launcher.language, 1);
    EXPECT_EQ(text(ID_PLAY), "Play DEMO");
}

// The five rows of the install state.
TEST_F(MenuSession, NoInstallRecordKeepsTheSetupButtonAsAtStartUp)
{
    headless_tick();
    run();
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_TRUE(enabled(ID_SETUP));
    EXPECT_STREQ(launcher.install_folder, "");
}

TEST_F(MenuSession, DirectxVariantEnablesPlay)
{
    install("ztDemo.exe");
    headless_tick();
    run();
    EXPECT_TRUE(enabled(ID_PLAY));
    EXPECT_TRUE(enabled(ID_UNINSTALL));
    EXPECT_TRUE(enabled(ID_SETUP));
    EXPECT_EQ(text(ID_SETUP), "DirectX Install");
    EXPECT_STREQ(launcher.install_folder, "C:\\DEMO\\");
}

TEST_F(MenuSession, DirectxVariantWithoutCdSetupDisablesTheSetupButton)
{
    fs::remove_all(box.cd / "directx");
    install("ztDemo.exe", false);
    headless_tick();
    run();
    EXPECT_TRUE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_FALSE(enabled(ID_SETUP));
}

TEST_F(MenuSession, SoundVariantNeedsItsDriverFile)
{
    install("xxxxxxx.xxx");
    bool play_before = true;
    headless_tick();
    headless_call([&] {
        play_before = enabled(ID_PLAY);
        EXPECT_EQ(text(ID_SETUP), "Sound config");
        EXPECT_TRUE(enabled(ID_SETUP));
        write_file(demo / "DRIVERS" / "DIG.INI", "");
    });
    headless_tick();
    run();
    EXPECT_FALSE(play_before);
    EXPECT_TRUE(enabled(ID_PLAY));
    EXPECT_TRUE(enabled(ID_UNINSTALL));
}

TEST_F(MenuSession, InstallFolderWithoutGameDisablesSetupAndKeepsItsText)
{
    install(nullptr);
    headless_tick();
    run();
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_SETUP));
    EXPECT_TRUE(enabled(ID_UNINSTALL));
    EXPECT_EQ(text(ID_SETUP), "DirectX Install");
}

TEST_F(MenuSession, InstallRecordWrittenWhileTheMenuRunsShowsAtTheNextTick)
{
    // A record without its Path yet, then the whole record, each for ten seconds of polls: the
    // menu keeps seeing what the registry holds.
    write_registry(box, {{"Uninstall", "C:\\DEMO\\UNINST.EXE"}});
    for (int32_t i = 0; i < 20; i++)
        headless_tick();
    headless_call([&] {
        EXPECT_FALSE(enabled(ID_PLAY));
        EXPECT_FALSE(enabled(ID_UNINSTALL));
        install("ztDemo.exe");
    });
    for (int32_t i = 0; i < 20; i++)
        headless_tick();
    headless_call([&] {
        EXPECT_TRUE(enabled(ID_PLAY));
        EXPECT_TRUE(enabled(ID_UNINSTALL));
        fs::remove(box.registry);
    });
    headless_tick();
    run();
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_STREQ(launcher.install_folder, ""); // no folder left for the sound set-up to enter
}

TEST_F(MenuSession, UninstallValueRemovedWhilePathStaysGreysUninstallAtTheNextTick)
{
    install("ztDemo.exe");
    headless_tick();
    headless_call([&] {
        EXPECT_TRUE(enabled(ID_UNINSTALL));
        write_registry(box, {{"Path", "C:\\DEMO"}});
    });
    headless_tick();
    run();
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_TRUE(enabled(ID_PLAY));
}

TEST_F(MenuSession, EmptyDriverFolderBeforeTheSoundSetupGetsNoDriverFile)
{
    // The folder exists, so a driver file could be made in it: only the sound set-up may.
    install("xxxxxxx.xxx");
    fs::create_directories(demo / "drivers");
    headless_tick();
    headless_tick();
    run();
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_TRUE(fs::is_empty(demo / "drivers"));
}

TEST_F(MenuSession, SoundSetupRunsThroughTheInterpreterAndTheDriverFileFollows)
{
    fs::remove_all(box.cd / "directx");
    install("xxxxxxx.xxx");
    bool hidden_while_running = false;
    headless_on_start([&](const HeadlessStart &) {
        hidden_while_running = !headless_window(launcher.menu_window)->visible;
    });
    headless_tick();
    queue_click(ID_SETUP);
    headless_call([&] {
        ASSERT_EQ(headless_starts().size(), 1u);
        const HeadlessStart &start = headless_starts()[0];
        EXPECT_TRUE(started_as(start, PROCESS_RUN_AND_WAIT, "cmd.exe", "cmd.exe /c setsound.exe",
                               "C:\\DEMO"));
        EXPECT_TRUE(headless_window(launcher.menu_window)->visible);
        EXPECT_TRUE(launcher.sound_setup_has_run);
        EXPECT_FALSE(fs::exists(demo / "drivers" / "dig.ini"));
    });
    // The driver folder exists but the set-up wrote no dig.ini: the next tick creates it empty
    // and keeps Play disabled, the one after enables Play.
    headless_call([&] { fs::create_directories(demo / "drivers"); });
    headless_tick();
    headless_call([&] {
        EXPECT_TRUE(fs::exists(demo / "drivers" / "dig.ini"));
        EXPECT_EQ(fs::file_size(demo / "drivers" / "dig.ini"), 0u);
        EXPECT_FALSE(enabled(ID_PLAY));
    });
    headless_tick();
    run();
    EXPECT_TRUE(hidden_while_running);
    EXPECT_TRUE(enabled(ID_PLAY));
}

TEST_F(MenuSession, SoundSetupUsesComspecWhenItExists)
{
    fs::remove_all(box.cd / "directx");
    install("xxxxxxx.xxx");
    write_file(box.cd / "COMMAND.COM", "MZ");
    setenv("COMSPEC", "E:\\command.com", 1);
    headless_tick();
    queue_click(ID_SETUP);
    run();
    unsetenv("COMSPEC");
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_EQ(headless_starts()[0].program, "E:\\command.com");
    EXPECT_EQ(headless_starts()[0].command_line, "E:\\command.com /c setsound.exe");
}

TEST_F(MenuSession, SoundVariantWithCdDirectxSetupStartsTheDirectxSetup)
{
    install("xxxxxxx.xxx");
    headless_tick();
    headless_call([&] {
        EXPECT_EQ(text(ID_SETUP), "Sound config");
        headless_click(launcher.menu_window, ID_SETUP);
    });
    run();
    ASSERT_EQ(headless_starts().size(), 1u);
    const HeadlessStart &start = headless_starts()[0];
    EXPECT_TRUE(started_as(start, PROCESS_START_BESIDE, "E:\\directx\\dxsetup.exe",
                           "E:\\directx\\dxsetup.exe", "E:\\"));
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
}

TEST_F(MenuSession, PlayStartsTheDirectxGameInPlace)
{
    install("ztDemo.exe");
    headless_tick();
    queue_click(ID_PLAY);
    headless_tick(); // never reached: the launcher has ended
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(headless_starts().size(), 1u);
    const HeadlessStart &start = headless_starts()[0];
    EXPECT_TRUE(started_as(start, PROCESS_START_IN_PLACE, "C:\\DEMO\\ztDemo.exe",
                           "C:\\DEMO\\ztDemo.exe", "C:\\DEMO"));
    EXPECT_TRUE(start.started);
    EXPECT_TRUE(headless_ended_in_place());
    EXPECT_FALSE(headless_input_ran_out());
    // Ended in place: the windows were never destroyed.
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
}

TEST_F(MenuSession, PlayStartsTheSoundVariantGame)
{
    // Installed first as the DirectX variant, then over it as the sound variant: Play starts
    // what the folder holds now.
    install("ztDemo.exe");
    headless_tick();
    headless_call([&] {
        fs::remove(demo / "ztDemo.exe");
        write_file(demo / "xxxxxxx.xxx", "MZ");
        write_file(demo / "drivers" / "dig.ini", "");
    });
    headless_tick();
    queue_click(ID_PLAY);
    run();
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_EQ(headless_starts()[0].program, "C:\\DEMO\\xxxxxxx.xxx");
    EXPECT_EQ(headless_starts()[0].command_line, "C:\\DEMO\\xxxxxxx.xxx");
    EXPECT_EQ(headless_starts()[0].directory, "C:\\DEMO");
}

TEST_F(MenuSession, PlayWhoseGameVanishedLeavesTheMenuInTheInstallFolder)
{
    install("ztDemo.exe");
    headless_tick();
    headless_call([&] {
        fs::remove(demo / "ztDemo.exe");
        headless_click(launcher.menu_window, ID_PLAY);
    });
    run();
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_FALSE(headless_starts()[0].started);
    EXPECT_FALSE(headless_ended_in_place());
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
    EXPECT_EQ(paths_current(), "C:\\DEMO");
}

TEST_F(MenuSession, InstallStartsSetupAndClosesTheMenu)
{
    queue_click(ID_INSTALL);
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(headless_input_ran_out()); // ended by WM_QUIT
    ASSERT_EQ(headless_starts().size(), 1u);
    const HeadlessStart &start = headless_starts()[0];
    EXPECT_TRUE(started_as(start, PROCESS_START_BESIDE, "E:\\setup.exe", "E:\\setup.exe", "E:\\"));
    EXPECT_TRUE(start.started);
    EXPECT_FALSE(ui_is_window(launcher.menu_window));
}

TEST_F(MenuSession, InstallClosesTheMenuEvenWhenTheStartFails)
{
    headless_call([&] {
        fs::remove(box.cd / "setup.exe");
        headless_click(launcher.menu_window, ID_INSTALL);
    });
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(headless_starts().size(), 1u);
    EXPECT_FALSE(headless_starts()[0].started);
    EXPECT_FALSE(ui_is_window(launcher.menu_window));
    EXPECT_FALSE(headless_input_ran_out());
}

TEST_F(MenuSession, TrailerStartsThePlayerWithItsMovie)
{
    queue_click(ID_TRAILER);
    run();
    ASSERT_EQ(headless_starts().size(), 1u);
    const HeadlessStart &start = headless_starts()[0];
    EXPECT_TRUE(started_as(start, PROCESS_START_BESIDE, "Trailer\\filmo.exe",
                           "Trailer\\filmo.exe Trailer\\trailer.mov", "E:\\"));
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
}

TEST_F(MenuSession, TrailerAfterTheSoundSetupFindsNoPlayer)
{
    fs::remove_all(box.cd / "directx");
    install("xxxxxxx.xxx");
    headless_tick();
    queue_click(ID_SETUP);
    queue_click(ID_TRAILER);
    run();
    ASSERT_EQ(headless_starts().size(), 2u);
    EXPECT_TRUE(enabled(ID_TRAILER));
    EXPECT_EQ(headless_starts()[1].directory, "C:\\DEMO");
    EXPECT_FALSE(headless_starts()[1].started);
}

TEST_F(MenuSession, ExitAndCloseBoxEndTheProgram)
{
    queue_click(ID_EXIT);
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(ui_is_window(launcher.menu_window));
    EXPECT_FALSE(headless_input_ran_out());

    restart("E:\\RUNNER.EXE");
    headless_call([&] { headless_close(launcher.menu_window); });
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(ui_is_window(launcher.menu_window));
    EXPECT_FALSE(headless_input_ran_out());
    EXPECT_TRUE(headless_starts().empty());
}

TEST_F(MenuSession, EnterAndEscapeDoNothing)
{
    headless_key(VK_RETURN);
    headless_key(VK_ESCAPE);
    headless_key('A');
    run();
    EXPECT_TRUE(headless_input_ran_out());
    EXPECT_TRUE(ui_is_window(launcher.menu_window));
    EXPECT_TRUE(headless_starts().empty());
    EXPECT_TRUE(headless_dialogs("ABOUT").empty());
    EXPECT_TRUE(headless_dialogs("README").empty());
}

TEST_F(MenuSession, DisabledButtonsDoNotAct)
{
    queue_click(ID_PLAY);
    queue_click(ID_UNINSTALL);
    run();
    EXPECT_TRUE(headless_starts().empty());
    EXPECT_TRUE(headless_message_boxes().empty());
}

TEST_F(MenuSession, F1OpensOneMoreAboutBoxEachTime)
{
    for (int i = 0; i < 3; i++) {
        // Each box takes the focus; the user clicks the menu again before the next F1.
        headless_call([&] { ui_set_focus(launcher.menu_window); });
        headless_key(VK_F1);
    }
    run();
    std::vector<UiWindow> abouts = headless_dialogs("ABOUT");
    ASSERT_EQ(abouts.size(), 3u);
    UiRect menu = headless_window(launcher.menu_window)->rect;
    for (UiWindow about : abouts) {
        const HeadlessWindow *w = headless_window(about);
        EXPECT_TRUE(w->visible);
        EXPECT_EQ(w->text, "About");
        EXPECT_EQ(w->owner, launcher.menu_window);
        EXPECT_EQ(headless_window(ui_get_dlg_item(about, ID_BACK))->text, "Back");
        int32_t width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
        EXPECT_EQ(w->rect.left, menu.left + (menu.right - menu.left - width) / 2);
        EXPECT_EQ(w->rect.top, menu.top + (menu.bottom - menu.top - height) / 2);
    }
}

TEST_F(MenuSession, ReadmeViewerOpensOnceAndShowsTheTextByteForByte)
{
    queue_click(ID_README);
    queue_click(ID_README);
    UiWindow viewer = 0;
    headless_call([&] {
        std::vector<UiWindow> viewers = headless_dialogs("README");
        ASSERT_EQ(viewers.size(), 1u);
        viewer = viewers[0];
        const HeadlessWindow *w = headless_window(viewer);
        EXPECT_EQ(w->text, "README.TXT");
        EXPECT_EQ(headless_window(ui_get_dlg_item(viewer, ID_README_TEXT))->text,
                  "Line one\r\nZweite Zeile: \xE4\xF6\xFC\xDF\r\n");
        EXPECT_EQ(headless_window(ui_get_dlg_item(viewer, ID_BACK))->text, "Back");
        UiRect menu = headless_window(launcher.menu_window)->rect;
        int32_t width = w->rect.right - w->rect.left;
        EXPECT_EQ(w->rect.left, menu.left + (menu.right - menu.left - width) / 2);
        ui_set_focus(launcher.menu_window);
    });
    // An About box opened and closed beside it leaves the viewer's text in place.
    headless_key(VK_F1);
    headless_call([&] { headless_click(headless_dialogs("ABOUT")[0], ID_BACK); });
    headless_call([&] {
        EXPECT_TRUE(headless_dialogs("ABOUT").empty());
        ASSERT_NE(launcher.readme_text, nullptr);
        ui_set_focus(viewer);
        const HeadlessWindow *edit = headless_window(ui_get_dlg_item(viewer, ID_README_TEXT));
        EXPECT_EQ(edit->text.size(), 30u);
        // The text went in once, when the viewer first got the focus, not at every focus.
        EXPECT_EQ(edit->text_sets, 1);
        headless_click(viewer, ID_BACK);
    });
    headless_call([&] {
        EXPECT_FALSE(ui_is_window(viewer));
        EXPECT_EQ(launcher.readme_window, 0u);
        EXPECT_EQ(launcher.readme_text, nullptr);
        headless_click(launcher.menu_window, ID_README);
    });
    headless_call([&] {
        ASSERT_EQ(headless_dialogs("README").size(), 1u);
        headless_close(headless_dialogs("README")[0]);
    });
    run();
    EXPECT_TRUE(headless_dialogs("README").empty());
    EXPECT_EQ(launcher.readme_window, 0u);
    EXPECT_EQ(launcher.readme_text, nullptr);
}

TEST_F(MenuSession, DialogControlsSitInsideTheirBoxesWithoutOverlapping)
{
    queue_click(ID_README);
    headless_call([&] { ui_set_focus(launcher.menu_window); });
    headless_key(VK_F1);
    run();
    for (const char *name : {"README", "ABOUT"}) {
        ASSERT_EQ(headless_dialogs(name).size(), 1u) << name;
        UiWindow dialog = headless_dialogs(name)[0];
        const HeadlessWindow *d = headless_window(dialog);
        std::vector<UiRect> controls;
        for (UiWindow c = dialog + 1; headless_window(c) && headless_window(c)->parent == dialog;
             c++)
            controls.push_back(headless_window(c)->rect);
        ASSERT_EQ(controls.size(), static_cast<size_t>(d->dialog_template->control_count));
        for (size_t i = 0; i < controls.size(); i++) {
            const UiRect &r = controls[i];
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= d->client_width &&
                        r.bottom <= d->client_height && r.left < r.right && r.top < r.bottom)
                << name << " control " << i;
            for (size_t j = 0; j < i; j++) {
                const UiRect &o = controls[j];
                EXPECT_TRUE(r.right <= o.left || o.right <= r.left || r.bottom <= o.top ||
                            o.bottom <= r.top)
                    << name << " controls " << j << " and " << i;
            }
        }
        if (std::string(name) == "README") {
            // The readme's text box: as wide as the box but for equal margins, Back below it.
            EXPECT_NEAR(controls[0].left, d->client_width - controls[0].right, 1);
            EXPECT_GT(controls[1].top, controls[0].bottom);
        }
    }
}

TEST_F(MenuSession, EnterInTheReadmeViewerIsItsDefaultButtonBack)
{
    // The viewer's text box hands Enter to the default button; the About box's first control
    // is its button, which does not act on Enter.
    queue_click(ID_README);
    headless_key(VK_RETURN);
    headless_call([&] {
        EXPECT_TRUE(headless_dialogs("README").empty());
        EXPECT_EQ(launcher.readme_window, 0u);
        ui_set_focus(launcher.menu_window);
    });
    headless_key(VK_F1);
    headless_key(VK_RETURN);
    run();
    EXPECT_EQ(headless_dialogs("ABOUT").size(), 1u);
    EXPECT_EQ(launcher.readme_text, nullptr);
}

TEST_F(MenuSession, EmptyReadmeOpensAnEmptyViewer)
{
    write_file(box.cd / "Readme.txt", "");
    queue_click(ID_README);
    run();
    ASSERT_EQ(headless_dialogs("README").size(), 1u);
    EXPECT_EQ(headless_window(ui_get_dlg_item(headless_dialogs("README")[0], ID_README_TEXT))->text,
              "");
}

TEST_F(MenuSession, ReadmeRemovedAfterStartUpOpensNothing)
{
    headless_call([&] {
        fs::remove(box.cd / "Readme.txt");
        headless_click(launcher.menu_window, ID_README);
    });
    run();
    EXPECT_TRUE(headless_dialogs("README").empty());
}

TEST_F(MenuSession, ClosingTheMenuClosesItsBoxesAndReleasesTheText)
{
    queue_click(ID_README);
    headless_call([&] { ui_set_focus(launcher.menu_window); });
    headless_key(VK_F1);
    headless_call([&] { headless_close(launcher.menu_window); });
    run();
    EXPECT_TRUE(headless_dialogs("README").empty());
    EXPECT_TRUE(headless_dialogs("ABOUT").empty());
    EXPECT_EQ(launcher.readme_text, nullptr);
    EXPECT_EQ(launcher.picture.palette, 0u);
}

TEST_F(MenuSession, OverlongPathValueCountsAsNoInstallRecord)
{
    std::string path = "C:\\" + std::string(253, 'A'); // 256 characters
    write_registry(box, {{"Path", path}, {"Uninstall", "C:\\U.EXE"}});
    headless_tick();
    run();
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_UNINSTALL));
    EXPECT_STREQ(launcher.install_folder, "");
}

TEST_F(MenuSession, InstallFolderTooLongForItsGameFindsNoGame)
{
    // 255 characters fit the buffer, but not with a backslash and "ztDemo.exe" added.
    std::string path = "C:\\" + std::string(252, 'A');
    write_registry(box, {{"Path", path}});
    headless_tick();
    run();
    EXPECT_EQ(std::string(launcher.install_folder), path);
    EXPECT_FALSE(enabled(ID_PLAY));
    EXPECT_FALSE(enabled(ID_SETUP));
}

} // namespace
