#include "platform/qt/launcher_qt.h"
#include "platform/standard_files.h"

int main(int argc, char **argv)
{
    // Before Qt opens its first file or socket.
    if (!standard_files_open_missing()) return 1;
    return qt_runner_main(argc, argv);
}
