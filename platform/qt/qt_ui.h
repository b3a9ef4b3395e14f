// The Qt backend of the menu's windows: set-up, and what the program's entry and the tests need.
#pragma once

#include "platform/ui.h"

class QWidget;

// After the QApplication exists: the classic widget style and the keyboard routing.
void qt_ui_init();
// No windows, timers or messages left from an earlier run (tests run several in one process).
void qt_ui_reset();
// Closes the menu as its close box would.
void qt_ui_request_close();
// Ends the menu for SIGINT and SIGTERM, whatever is open: message boxes close as dismissed (a
// question answered No), no new one opens, and the menu closes as by its close box.
void qt_ui_request_end();
// The widget behind a window or control; null for windows without one.
QWidget *qt_ui_widget(UiWindow window);
// The first dialog made: the menu window.
UiWindow qt_ui_main_dialog();
