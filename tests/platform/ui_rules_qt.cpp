#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/qt/launcher_qt.h"
#include "tests/platform/ui_rules.h"

void ui_rules_reset()
{
    qt_ui_init();
    qt_ui_reset();
}

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    return RUN_ALL_TESTS();
}
