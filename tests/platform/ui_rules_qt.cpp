#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/qt/launcher_qt.h"
#include "tests/platform/ui_rules.h"
#include "tests/support/test_folder.h"

void ui_rules_reset()
{
    qt_ui_init();
    qt_ui_reset();
}

int main(int argc, char **argv)
{
    test_folder_enter();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    int status = RUN_ALL_TESTS();
    test_folder_leave();
    return status;
}
