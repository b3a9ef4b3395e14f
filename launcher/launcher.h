// The menu program: its process-wide state, start-up and message loop, the install state polled
// from the registry and the install folder, the layout, and the window procedures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/backdrop.h"
#include "platform/ui.h"

constexpr size_t LAUNCHER_PATH_SIZE = 256; // 255 characters and a terminator
constexpr int32_t LAUNCHER_TIMER_ID = 1;
constexpr uint32_t LAUNCHER_TIMER_PERIOD = 500;
constexpr int32_t LAUNCHER_PICTURE_WIDTH = 480;
constexpr int32_t LAUNCHER_PICTURE_HEIGHT = 360;
constexpr uint32_t LAUNCHER_BUTTON_COLOUR = 0xC4C4C4;
extern const char *const LAUNCHER_INSTALL_KEY;

struct LauncherState {
    UiWindow owner_window;
    UiWindow menu_window;
    const char *command_line;
    char cd_drive;
    char program_folder[LAUNCHER_PATH_SIZE];
    char picture_path[LAUNCHER_PATH_SIZE];
    char readme_path[LAUNCHER_PATH_SIZE];
    char setup_path[LAUNCHER_PATH_SIZE];
    char directx_setup_path[LAUNCHER_PATH_SIZE];
    char install_folder[LAUNCHER_PATH_SIZE];
    char uninstall_command[LAUNCHER_PATH_SIZE];
    char uninstaller_argument[LAUNCHER_PATH_SIZE];
    bool has_uninstaller_argument;
    bool uninstall_available;
    bool directx_variant;
    bool sound_setup_has_run;
    int32_t language;
    PictureRecord picture;
    UiWindow readme_window;
    char *readme_text;
    // The text is in the viewer's edit control: read-only, it keeps it, so later focus changes
    // need not lay out a long text again.
    bool readme_text_entered;
    char work_path[LAUNCHER_PATH_SIZE];
};

extern LauncherState launcher;

// Back to the state of a freshly started program (tests run several sessions in one process).
void launcher_reset();
// Start-up, then the message loop; the exit code.
int32_t launcher_main(int32_t show_command);

void launcher_state_refresh();
bool launcher_install_record_read();
void launcher_layout(UiWindow window, int32_t picture_width, int32_t picture_height);
void launcher_centre_over(UiWindow window, UiWindow reference);
void launcher_open_about();
intptr_t launcher_menu_proc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
intptr_t launcher_owner_proc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam);
void launcher_timer_proc(UiWindow window, uint32_t message, uintptr_t id, uint32_t time);

// The program folder of a command line: the text after one leading double quote, cut right
// after its last colon or backslash at index 1 or later, or its first character only. False
// (and an empty folder) when that does not fit the buffer.
bool launcher_program_folder(const char *command_line, char *folder, size_t size);
// The CD's drive letter: the first character, or the second after a leading double quote.
char launcher_drive_letter(const char *command_line);

// first followed by second into a path buffer; false and an empty buffer when it would not fit,
// so that a path cut short never names another file.
bool launcher_compose(char *out, const char *first, const char *second);
