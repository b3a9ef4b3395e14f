// The window rules every menu backend shares (focus, destroying, clicks, timers), run the same
// on each backend: this file is built once with the headless backend and once with Qt's.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/messages.h"
#include "platform/ui.h"
#include "platform/ui_objects.h"
#include "tests/platform/ui_rules.h"

namespace
{

constexpr int32_t ID_FIRST = 10, ID_SECOND = 11, ID_LABEL = 12;

const DialogControl CONTROLS[] = {
    {DIALOG_BUTTON, ID_FIRST, "First", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 5, 5, 40, 14},
    {DIALOG_BUTTON, ID_SECOND, "Second", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 50, 5, 40,
     14},
    {DIALOG_STATIC, ID_LABEL, "Label", WS_VISIBLE, 0, 5, 25, 80, 8},
};
const DialogTemplate TEMPLATE = {"RULES", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                 10,      10,
                                 100,     40,
                                 "Rules", "MS Sans Serif",
                                 8,       CONTROLS,
                                 3};

struct Seen {
    UiWindow window;
    uint32_t message;
    uintptr_t wparam;
};
std::vector<Seen> seen;
std::vector<uintptr_t> ticks;

intptr_t recording_proc(UiWindow window, uint32_t message, uintptr_t wparam, intptr_t)
{
    seen.push_back({window, message, wparam});
    return message == WM_COMMAND ? 1 : 0;
}

void on_tick(UiWindow, uint32_t, uintptr_t id, uint32_t)
{
    ticks.push_back(id);
}

int count(UiWindow window, uint32_t message)
{
    int n = 0;
    for (const Seen &s : seen)
        n += s.window == window && s.message == message;
    return n;
}

UiWindow focus()
{
    return uiobjects_current()->focus;
}

class UiRules : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ui_rules_reset();
        seen.clear();
        ticks.clear();
    }
    static UiWindow dialog(UiWindow owner = 0)
    {
        return ui_create_dialog(&TEMPLATE, owner, recording_proc);
    }
    static intptr_t dispatch(UiWindow window, uint32_t message, uintptr_t wparam = 0)
    {
        UiMsg msg = {window, message, wparam, 0};
        return ui_dispatch_message(&msg);
    }
};

// A disabled control loses the keyboard focus and nothing else takes it (no WM_SETFOCUS
// anywhere) until its window is activated again; the same for a disabled or hidden dialog.
TEST_F(UiRules, DisablingOrHidingTheFocusLeavesNoWindowWithIt)
{
    UiWindow d = dialog();
    ASSERT_NE(d, 0u);
    EXPECT_EQ(focus(), d);
    UiWindow first = ui_get_dlg_item(d, ID_FIRST), second = ui_get_dlg_item(d, ID_SECOND);
    ui_set_focus(first);
    ASSERT_EQ(focus(), first);
    int focus_messages = count(d, WM_SETFOCUS);

    EXPECT_FALSE(ui_enable_window(second, false)); // was enabled
    EXPECT_EQ(focus(), first);
    EXPECT_FALSE(ui_enable_window(first, false));
    EXPECT_EQ(focus(), 0u);
    EXPECT_EQ(count(d, WM_SETFOCUS), focus_messages);
    EXPECT_TRUE(ui_enable_window(first, true)); // was disabled
    EXPECT_EQ(focus(), 0u);

    dispatch(d, UIOBJECTS_ACTIVATE);
    EXPECT_EQ(focus(), d);
    EXPECT_EQ(count(d, WM_SETFOCUS), focus_messages + 1);

    ui_set_focus(first);
    ui_enable_window(d, false);
    EXPECT_EQ(focus(), 0u);
    ui_enable_window(d, true);
    ui_set_focus(first);
    EXPECT_TRUE(ui_show_window(d, SW_HIDE));
    EXPECT_EQ(focus(), 0u);
}

// Destroying a window destroys what it owns first and gives the focus back to a shown owner.
TEST_F(UiRules, DestroyingReturnsTheFocusToTheOwner)
{
    UiWindow owner = dialog();
    UiWindow owned = dialog(owner);
    ASSERT_NE(owned, 0u);
    ui_set_focus(ui_get_dlg_item(owned, ID_SECOND));
    int owner_focus = count(owner, WM_SETFOCUS);
    EXPECT_TRUE(ui_destroy_window(owned));
    EXPECT_FALSE(ui_is_window(owned));
    EXPECT_EQ(ui_get_dlg_item(owned, ID_SECOND), 0u);
    EXPECT_EQ(focus(), owner);
    EXPECT_EQ(count(owner, WM_SETFOCUS), owner_focus + 1);
    EXPECT_FALSE(ui_destroy_window(owned));

    UiWindow again = dialog(owner);
    seen.clear();
    EXPECT_TRUE(ui_destroy_window(owner));
    EXPECT_FALSE(ui_is_window(again));
    std::vector<UiWindow> destroyed;
    for (const Seen &s : seen)
        if (s.message == WM_DESTROY) destroyed.push_back(s.window);
    EXPECT_EQ(destroyed, (std::vector<UiWindow>{again, owner}));
    EXPECT_EQ(focus(), 0u);
}

// A click reaches the dialog only from a shown, enabled button of a shown, enabled dialog, and
// moves the focus to it; a timer's messages do not pile up and end with the timer.
TEST_F(UiRules, ClicksAndTimers)
{
    UiWindow d = dialog();
    UiWindow first = ui_get_dlg_item(d, ID_FIRST);
    ui_enable_window(first, false);
    EXPECT_EQ(dispatch(first, UIOBJECTS_CLICK), 0);
    ui_enable_window(first, true);
    ui_enable_window(d, false);
    EXPECT_EQ(dispatch(first, UIOBJECTS_CLICK), 0);
    EXPECT_EQ(count(d, WM_COMMAND), 0);
    ui_enable_window(d, true);
    EXPECT_EQ(dispatch(first, UIOBJECTS_CLICK), 1);
    ASSERT_EQ(count(d, WM_COMMAND), 1);
    EXPECT_EQ(seen.back().wparam, static_cast<uintptr_t>(ID_FIRST));
    EXPECT_EQ(focus(), first);

    EXPECT_EQ(ui_set_timer(d, 7, 500, on_tick), 7u);
    EXPECT_EQ(ui_set_timer(d, 8, 0, on_tick), 0u);
    UiObjects *objects = uiobjects_current();
    objects->posted.clear();
    uiobjects_timer_elapsed(objects, d, 7);
    uiobjects_timer_elapsed(objects, d, 7);
    ASSERT_EQ(objects->posted.size(), 1u);
    UiMsg msg = objects->posted.front();
    objects->posted.clear();
    ui_dispatch_message(&msg);
    EXPECT_EQ(ticks, std::vector<uintptr_t>{7});
    EXPECT_TRUE(ui_kill_timer(d, 7));
    EXPECT_FALSE(ui_kill_timer(d, 7));
    ui_dispatch_message(&msg);
    EXPECT_EQ(ticks.size(), 1u);
    ui_set_timer(d, 9, 500, on_tick);
    ui_destroy_window(d);
    EXPECT_FALSE(ui_kill_timer(d, 9));
}

// Keys of a dialog that goes through the dialog manager: Tab walks the tab stops round, Enter
// is the focused button's or else the default button's, Escape cancels, Space clicks.
TEST_F(UiRules, DialogKeys)
{
    UiWindow d = dialog();
    UiWindow first = ui_get_dlg_item(d, ID_FIRST), second = ui_get_dlg_item(d, ID_SECOND);
    auto key = [&](uint32_t vk) {
        UiMsg msg = {focus() ? focus() : d, WM_KEYDOWN, vk, 0};
        EXPECT_TRUE(ui_is_dialog_message(d, &msg));
    };
    auto last_command = [&] {
        uintptr_t command = 0;
        for (const Seen &s : seen)
            if (s.window == d && s.message == WM_COMMAND) command = s.wparam;
        return command;
    };
    std::vector<UiWindow> stops;
    for (int32_t i = 0; i < 3; i++) {
        key(VK_TAB);
        stops.push_back(focus());
    }
    EXPECT_EQ(stops, (std::vector<UiWindow>{first, second, first}));
    key(VK_RETURN);
    EXPECT_EQ(last_command(), static_cast<uintptr_t>(ID_FIRST));
    ui_set_focus(d);
    key(VK_RETURN);
    EXPECT_EQ(last_command(), static_cast<uintptr_t>(ID_SECOND));
    key(VK_ESCAPE);
    EXPECT_EQ(last_command(), static_cast<uintptr_t>(IDCANCEL));
    ui_set_focus(first);
    key(VK_SPACE);
    EXPECT_EQ(last_command(), static_cast<uintptr_t>(ID_FIRST));
}

} // namespace
