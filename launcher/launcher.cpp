#include "launcher/launcher.h"

#include <cstdio>
#include <cstring>

#include "launcher/commands.h"
#include "launcher/icon.h"
#include "launcher/templates.h"
#include "launcher/texts.h"
#include "launcher/uninstall.h"
#include "platform/cmdline.h"
#include "platform/files.h"
#include "platform/registry.h"

LauncherState launcher;

const char *const LAUNCHER_INSTALL_KEY = "SOFTWARE\\Quillon\\Zenthor\\Inf";

namespace
{

const char *const OWNER_CLASS = "Zenthor DEMO";
const char *const MENU_TITLE = "Zenthor DEMO";
constexpr uint32_t MENU_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU;

void set_button_text(int32_t id, TextTable table)
{
    // The first refresh runs before the menu window exists; its button updates have no target.
    if (launcher.menu_window)
        ui_set_dlg_item_text(launcher.menu_window, id, texts_get(table, launcher.language));
}

void enable_button(int32_t id, bool enable)
{
    if (launcher.menu_window) ui_enable_window(ui_get_dlg_item(launcher.menu_window, id), enable);
}

bool install_probe(const char *name)
{
    char path[LAUNCHER_PATH_SIZE];
    return launcher_compose(path, launcher.install_folder, name) && files_exists(path);
}

// A registry value into a text buffer. The value's type is not tested, so the data need not be
// terminated: the text always ends inside the buffer.
bool read_text_value(RegistryKey key, const char *name, char *buffer, uint32_t size)
{
    uint32_t length = size;
    if (registry_query_value(key, name, nullptr, reinterpret_cast<uint8_t *>(buffer), &length) !=
        REG_ERROR_SUCCESS)
        return false;
    buffer[length < size ? length : size - 1] = '\0';
    return true;
}

} // namespace

void launcher_reset()
{
    // What a session that ended without destroying its windows (a start in place) still holds.
    backdrop_release(&launcher.picture);
    delete[] launcher.readme_text;
    std::memset(&launcher, 0, sizeof launcher);
    launcher.language = -1;
}

bool launcher_compose(char *out, const char *first, const char *second)
{
    size_t a = std::strlen(first);
    size_t b = std::strlen(second);
    if (a + b >= LAUNCHER_PATH_SIZE) {
        out[0] = '\0';
        return false;
    }
    std::memmove(out, first, a);
    std::memcpy(out + a, second, b + 1);
    return true;
}

bool launcher_program_folder(const char *command_line, char *folder, size_t size)
{
    const char *text = command_line[0] == '"' ? command_line + 1 : command_line;
    size_t length = std::strlen(text);
    size_t keep = length ? 1 : 0;
    for (size_t i = length; i-- > 1;) {
        if (text[i] == ':' || text[i] == '\\') {
            keep = i + 1;
            break;
        }
    }
    if (keep >= size) {
        folder[0] = '\0';
        return false;
    }
    std::memcpy(folder, text, keep);
    folder[keep] = '\0';
    return true;
}

char launcher_drive_letter(const char *command_line)
{
    return command_line[0] == '"' ? command_line[1] : command_line[0];
}

bool launcher_install_record_read()
{
    RegistryKey key = 0;
    if (registry_open_key(LAUNCHER_INSTALL_KEY, &key) != REG_ERROR_SUCCESS) return false;
    launcher.uninstall_available = false;
    if (launcher.language < 0) {
        // Only while the index is still unset, that is in the first refresh of start-up.
        char language[20];
        if (read_text_value(key, "Language", language, sizeof language))
            launcher.language = language[0] - '1';
    }
    if (!read_text_value(key, "Path", launcher.install_folder, LAUNCHER_PATH_SIZE)) {
        registry_close_key(key);
        return false;
    }
    char value[LAUNCHER_PATH_SIZE];
    if (read_text_value(key, "Uninstall", value, LAUNCHER_PATH_SIZE)) {
        launcher.uninstall_available = true;
        uninstall_split(value, launcher.uninstall_command, launcher.uninstaller_argument,
                        LAUNCHER_PATH_SIZE, &launcher.has_uninstaller_argument);
    }
    registry_close_key(key);
    return true;
}

void launcher_state_refresh()
{
    launcher.directx_variant = false;
    if (!launcher_install_record_read()) {
        launcher.install_folder[0] = '\0';
        enable_button(ID_PLAY, false);
        enable_button(ID_UNINSTALL, false);
        return;
    }
    enable_button(ID_UNINSTALL, launcher.uninstall_available);
    size_t length = std::strlen(launcher.install_folder);
    if (length == 0 || launcher.install_folder[length - 1] != '\\') {
        // A folder of 255 characters has no room for it; every probe below then fails to
        // compose and the folder counts as holding no game program.
        if (length + 1 < LAUNCHER_PATH_SIZE) {
            launcher.install_folder[length] = '\\';
            launcher.install_folder[length + 1] = '\0';
        }
    }
    if (install_probe("ztDemo.exe")) {
        launcher.directx_variant = true;
        set_button_text(ID_SETUP, TEXT_DIRECTX_SETUP);
        enable_button(ID_SETUP, launcher.directx_setup_path[0] != '\0');
        enable_button(ID_PLAY, true);
        return;
    }
    if (install_probe("xxxxxxx.xxx")) {
        set_button_text(ID_SETUP, TEXT_SOUND_CONFIG);
        enable_button(ID_SETUP, true);
        if (install_probe("drivers\\dig.ini")) {
            enable_button(ID_PLAY, true);
            return;
        }
        char path[LAUNCHER_PATH_SIZE];
        if (launcher.sound_setup_has_run &&
            launcher_compose(path, launcher.install_folder, "drivers\\dig.ini"))
            files_create_empty(path);
        enable_button(ID_PLAY, false);
        return;
    }
    enable_button(ID_SETUP, false);
    enable_button(ID_PLAY, false);
}

void launcher_layout(UiWindow window, int32_t picture_width, int32_t picture_height)
{
    UiRect frame = {100, 100, 100 + picture_width, 218 + picture_height};
    ui_adjust_window_rect(&frame, MENU_STYLE, false);
    int32_t width = frame.right - frame.left;
    int32_t height = frame.bottom - frame.top;
    UiRect desktop = {0, 0, 0, 0};
    ui_desktop_rect(&desktop);
    int32_t left = (desktop.right - desktop.left - width) >> 1;
    int32_t top = (desktop.bottom - desktop.top - height) >> 1;
    ui_move_window(window, left, top, width, height, false);

    int32_t column = (width - 6) / 3;
    const int32_t upper[6] = {ID_PLAY, ID_INSTALL, ID_SETUP, ID_UNINSTALL, ID_README, ID_EXIT};
    for (int32_t i = 0; i < 6; i++) {
        int32_t x = (i % 3) * column + 2;
        int32_t y = i < 3 ? 4 : 42;
        ui_move_window(ui_get_dlg_item(window, upper[i]), x, y, column - 2, 36, false);
    }
    ui_move_window(ui_get_dlg_item(window, ID_TRAILER), 2, picture_height + 82, width - 8, 36,
                   false);
}

void launcher_centre_over(UiWindow window, UiWindow reference)
{
    UiRect box = {0, 0, 0, 0};
    UiRect ref = {0, 0, 0, 0};
    ui_get_window_rect(window, &box);
    ui_get_window_rect(reference, &ref);
    int32_t width = box.right - box.left;
    int32_t height = box.bottom - box.top;
    int32_t x = ref.left + (ref.right - ref.left - width) / 2;
    int32_t y = ref.top + (ref.bottom - ref.top - height) / 2;
    ui_move_window(window, x, y, width, height, false);
}

void launcher_open_about()
{
    UiWindow about =
        ui_create_dialog(&template_about, launcher.menu_window, commands_secondary_proc);
    if (!about) return;
    ui_set_dlg_item_text(about, ID_BACK, texts_get(TEXT_BACK, launcher.language));
    launcher_centre_over(about, launcher.menu_window);
    ui_show_window(about, SW_SHOWNORMAL);
}

intptr_t launcher_menu_proc(UiWindow window, uint32_t message, uintptr_t wparam,
                            intptr_t /*lparam*/)
{
    switch (message) {
    case WM_DESTROY:
        backdrop_release(&launcher.picture);
        ui_post_quit_message(0);
        return 0;
    case WM_SETFOCUS:
        ui_set_focus(window);
        return 1;
    case WM_PAINT: {
        UiDc dc = ui_begin_paint(window);
        if (!dc) return 1;
        backdrop_paint(dc, &launcher.picture, 0, 80);
        ui_end_paint(window, dc);
        return 0;
    }
    case WM_CLOSE:
        ui_destroy_window(window);
        return 1;
    case WM_KEYDOWN:
        if (wparam == VK_F1) {
            launcher_open_about();
            return 0;
        }
        return 1;
    case WM_COMMAND:
        // The whole wParam: only a click notification (high word 0) of a button acts, and
        // IDOK / IDCANCEL from Enter and Escape fall through to nothing.
        switch (wparam) {
        case ID_PLAY:
            commands_play();
            return 0;
        case ID_INSTALL:
            commands_install();
            return 0;
        case ID_SETUP:
            commands_setup();
            return 0;
        case ID_UNINSTALL:
            uninstall_run();
            return 0;
        case ID_README:
            commands_readme();
            return 0;
        case ID_EXIT:
            commands_exit();
            return 0;
        case ID_TRAILER:
            commands_trailer();
            return 1;
        default:
            return 0;
        }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        ui_set_bk_color(static_cast<UiDc>(wparam), LAUNCHER_BUTTON_COLOUR);
        return static_cast<intptr_t>(ui_stock_black_brush());
    default:
        return 0;
    }
}

intptr_t launcher_owner_proc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    switch (message) {
    case WM_DESTROY:
        ui_post_quit_message(0);
        return 0;
    case WM_CLOSE:
        ui_destroy_window(window);
        break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        ui_set_bk_color(static_cast<UiDc>(wparam), LAUNCHER_BUTTON_COLOUR);
        return static_cast<intptr_t>(ui_stock_black_brush());
    default:
        break;
    }
    return ui_default_window_proc(window, message, wparam, lparam);
}

void launcher_timer_proc(UiWindow /*window*/, uint32_t /*message*/, uintptr_t /*id*/,
                         uint32_t /*time*/)
{
    launcher_state_refresh();
}

int32_t launcher_main(int32_t show_command)
{
    // The program's resources, as the instance handle made them available to its windows.
    ui_register_icon(ICON_PROGRAM, icon_program_images, ICON_PROGRAM_IMAGES);
    UiWindowClass owner_class = {OWNER_CLASS, CS_HREDRAW | CS_VREDRAW | CS_OWNDC,
                                 launcher_owner_proc, ui_stock_black_brush()};
    ui_register_class(&owner_class);
    launcher.owner_window = ui_create_window(OWNER_CLASS, OWNER_CLASS, WS_POPUP, 0, 0, 0, 0, 0);
    if (!launcher.owner_window) return 0;
    ui_show_window(launcher.owner_window, SW_SHOWNORMAL);

    launcher_state_refresh();

    launcher.command_line = cmdline_get();
    launcher_program_folder(launcher.command_line, launcher.program_folder, LAUNCHER_PATH_SIZE);

    // A language named by the install record is honoured when it has texts; English otherwise.
    if (launcher.language != 0 && launcher.language != 1) launcher.language = 1;

    launcher.menu_window =
        ui_create_dialog(&template_runner, launcher.owner_window, launcher_menu_proc);
    if (!launcher.menu_window) {
        ui_message_box(0, "Error initializing mainwindow", "Error", MB_OK);
        return 0;
    }
    ui_set_window_text(launcher.menu_window, MENU_TITLE);

    set_button_text(ID_PLAY, TEXT_PLAY);
    set_button_text(ID_INSTALL, TEXT_INSTALL);
    set_button_text(ID_UNINSTALL, TEXT_UNINSTALL);
    set_button_text(ID_README, TEXT_README);
    set_button_text(ID_TRAILER, TEXT_TRAILER);
    set_button_text(ID_EXIT, TEXT_EXIT);
    set_button_text(ID_SETUP, TEXT_DIRECTX_SETUP);

    launcher_layout(launcher.menu_window, LAUNCHER_PICTURE_WIDTH, LAUNCHER_PICTURE_HEIGHT);

    bool picture_named =
        launcher.program_folder[0] &&
        launcher_compose(launcher.picture_path, launcher.program_folder, "loading.bmp");
    if (!picture_named ||
        !backdrop_load(launcher.picture_path, &launcher.picture, launcher.menu_window))
        ui_message_box(launcher.menu_window, "Error loading background picture", "Error", MB_OK);

    ui_set_timer(launcher.menu_window, LAUNCHER_TIMER_ID, LAUNCHER_TIMER_PERIOD,
                 launcher_timer_proc);
    ui_show_window(launcher.menu_window, show_command);

    launcher.cd_drive = launcher_drive_letter(launcher.command_line);

    enable_button(ID_INSTALL, false);
    std::snprintf(launcher.setup_path, LAUNCHER_PATH_SIZE, "%c:\\setup.exe", launcher.cd_drive);
    if (launcher.cd_drive && files_exists(launcher.setup_path) && picture_named &&
        files_exists(launcher.picture_path))
        enable_button(ID_INSTALL, true);

    std::snprintf(launcher.directx_setup_path, LAUNCHER_PATH_SIZE, "%c:\\directx\\dxsetup.exe",
                  launcher.cd_drive);
    if (launcher.cd_drive && files_exists(launcher.directx_setup_path)) {
        enable_button(ID_SETUP, true);
    } else {
        launcher.directx_setup_path[0] = '\0';
        enable_button(ID_SETUP, false);
    }

    if (!files_exists("Trailer\\filmo.exe")) enable_button(ID_TRAILER, false);

    bool readme_named =
        launcher.program_folder[0] &&
        launcher_compose(launcher.readme_path, launcher.program_folder, "Readme.txt");
    enable_button(ID_README, readme_named && files_exists(launcher.readme_path));

    ui_set_arrow_cursor();
    enable_button(ID_PLAY, false);
    enable_button(ID_UNINSTALL, false);

    UiMsg msg;
    while (ui_get_message(&msg) > 0) {
        if (!ui_is_dialog_message(launcher.menu_window, &msg)) {
            ui_translate_message(&msg);
            ui_dispatch_message(&msg);
        }
    }
    return static_cast<int32_t>(msg.wparam);
}
