#include "apps/runner/runner.h"
#include "platform/standard_files.h"

int main(int argc, char **argv)
{
    // Before Qt opens its first file or socket.
    if (!standard_files_open_missing()) return 1;
    return runner_main(argc, argv);
}
