#include "platform/qt/launcher_qt.h"

int main(int argc, char **argv)
{
    return qt_runner_main(argc, argv);
}
