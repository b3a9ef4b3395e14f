#include "launcher/commands.h"

#include <cstring>
#include <new>

#include "launcher/launcher.h"
#include "launcher/templates.h"
#include "launcher/texts.h"
#include "platform/files.h"
#include "platform/process.h"

namespace
{

// The install folder without its final backslash into the work path.
void work_path_from_install_folder()
{
    launcher_compose(launcher.work_path, launcher.install_folder, "");
    size_t length = std::strlen(launcher.work_path);
    if (length && launcher.work_path[length - 1] == '\\') launcher.work_path[length - 1] = '\0';
}

void release_readme_text()
{
    delete[] launcher.readme_text;
    launcher.readme_text = nullptr;
    launcher.readme_text_entered = false;
}

} // namespace

void commands_play()
{
    work_path_from_install_folder();
    files_set_current_directory(launcher.work_path);
    const char *game = launcher.directx_variant ? "\\ztDemo.exe" : "\\xxxxxxx.xxx";
    if (!launcher_compose(launcher.work_path, launcher.work_path, game)) return;
    const char *args[] = {launcher.work_path};
    process_start(PROCESS_START_IN_PLACE, launcher.work_path, args, 1);
}

void commands_install()
{
    const char *args[] = {launcher.setup_path};
    process_start(PROCESS_START_BESIDE, launcher.setup_path, args, 1);
    ui_destroy_window(launcher.menu_window);
}

void commands_setup()
{
    if (launcher.directx_setup_path[0]) {
        const char *args[] = {launcher.directx_setup_path};
        process_start(PROCESS_START_BESIDE, launcher.directx_setup_path, args, 1);
        return;
    }
    launcher_compose(launcher.work_path, launcher.install_folder, "");
    files_set_current_directory(launcher.work_path);
    ui_show_window(launcher.menu_window, SW_HIDE);
    process_run_command("setsound.exe");
    ui_show_window(launcher.menu_window, SW_SHOW);
    launcher_state_refresh();
    launcher.sound_setup_has_run = true;
}

void commands_readme()
{
    if (launcher.readme_window) return;
    FilesFile file = files_open_read(launcher.readme_path);
    if (!file) return;
    int64_t size = files_size(file);
    char *text = nullptr;
    if (size >= 0 && size <= COMMANDS_README_LIMIT)
        text = new (std::nothrow) char[static_cast<size_t>(size) + 10];
    if (!text) {
        files_close(file);
        return;
    }
    // Zeroed first: a file that shrank after its size was taken still ends in zero bytes.
    std::memset(text, 0, static_cast<size_t>(size) + 10);
    files_read(file, text, static_cast<size_t>(size));
    files_close(file);
    launcher.readme_text = text;
    launcher.readme_text_entered = false;

    launcher.readme_window =
        ui_create_dialog(&template_readme, launcher.menu_window, commands_secondary_proc);
    if (!launcher.readme_window) {
        release_readme_text();
        return;
    }
    ui_set_dlg_item_text(launcher.readme_window, ID_BACK, texts_get(TEXT_BACK, launcher.language));
    launcher_centre_over(launcher.readme_window, launcher.menu_window);
    ui_show_window(launcher.readme_window, SW_SHOWNORMAL);
}

void commands_exit()
{
    ui_destroy_window(launcher.menu_window);
}

void commands_trailer()
{
    const char *program = "Trailer\\filmo.exe";
    launcher_compose(launcher.work_path, "Trailer\\", "trailer.mov");
    const char *args[] = {program, launcher.work_path};
    process_start(PROCESS_START_BESIDE, program, args, 2);
}

intptr_t commands_secondary_proc(UiWindow window, uint32_t message, uintptr_t wparam,
                                 intptr_t /*lparam*/)
{
    bool is_readme = window == launcher.readme_window;
    switch (message) {
    case WM_DESTROY:
        if (is_readme) release_readme_text();
        return 1;
    case WM_SETFOCUS:
        if (is_readme && launcher.readme_text && !launcher.readme_text_entered) {
            ui_set_dlg_item_text(window, ID_README_TEXT, launcher.readme_text);
            launcher.readme_text_entered = true;
        }
        return 1;
    case WM_CLOSE:
        ui_destroy_window(window);
        if (is_readme) {
            release_readme_text();
            launcher.readme_window = 0;
        }
        return 1;
    case WM_COMMAND:
        if (wparam == ID_BACK) {
            ui_destroy_window(window);
            if (is_readme) launcher.readme_window = 0;
        }
        return 1;
    default:
        return 0;
    }
}
