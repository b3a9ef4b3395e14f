// The headless backend of the menu's platform services, for tests: windows and controls that
// can be read back, scripted input (clicks, keys, close boxes, timer ticks, calls back into the
// test) consumed by the message loop, scripted message-box answers, a desktop of a chosen size,
// painting into memory, and a record of every process start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/ui.h"
#include "platform/ui_objects.h"

// The common part (texts, styles, rectangles, state) and what only the headless windows have.
struct HeadlessWindow : UiObjectWindow {
    std::string class_name; // windows made from a class only
    uint32_t exstyle;
    int32_t client_width, client_height;
    std::vector<uint32_t> canvas; // client area, 0x00RRGGBB, rows top to bottom
    int32_t paint_count;
    int32_t text_sets; // texts set after it was made
};

struct HeadlessMessageBox {
    UiWindow owner;
    std::string text;
    std::string caption;
    uint32_t type;
    int32_t answer;
};

struct HeadlessStart {
    ProcessWay way;
    std::string program;
    std::string command_line; // the argument list joined with single blanks
    std::string directory;    // the current directory at the start, as a Windows path
    bool started;
};

// Everything back to nothing: no windows, classes, timers, boxes, input or starts.
void headless_launcher_reset(int32_t desktop_width, int32_t desktop_height);
void headless_set_command_line(const char *command_line);
// The frame that ui_adjust_window_rect adds for a caption style (default 3 and 19).
void headless_set_frame(int32_t border, int32_t caption);

// Input, consumed in order by ui_get_message; input queued from inside a call runs right after
// that call. When it runs out the loop ends as by WM_QUIT 0.
void headless_click(UiWindow dialog, int32_t id);
void headless_key(uint32_t virtual_key);
void headless_close(UiWindow window);
void headless_tick();
void headless_call(std::function<void()> call);
void headless_answer_message_box(int32_t answer);
// Runs inside the next message box (as the timer could while a box is open), before it answers.
void headless_during_message_box(std::function<void()> call);
// Called for every successful start (after it is recorded): lets a test play the program.
void headless_on_start(std::function<void(const HeadlessStart &)> call);

// The next ui_create_window / ui_create_dialog fails, as when the system is out of resources.
void headless_fail_next_window();
void headless_fail_next_dialog();

const HeadlessWindow *headless_window(UiWindow window);
// Live top-level dialogs made from a template, oldest first.
std::vector<UiWindow> headless_dialogs(const char *template_name);
UiWindow headless_focus();
bool headless_input_ran_out();
const std::vector<HeadlessMessageBox> &headless_message_boxes();
const std::vector<HeadlessStart> &headless_starts();
// True once a start in place succeeded: the program has ended with exit code 0.
bool headless_ended_in_place();
int32_t headless_timer_count();
// Images registered for an icon resource.
int32_t headless_icon_images(int32_t id);
