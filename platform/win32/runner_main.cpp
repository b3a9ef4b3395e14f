// runner.exe: the CD's menu. Its command line (its own path) and current directory are what
// the CD's autorun or the user gave it.
#include "platform/win32/win32.h"

#include "launcher/launcher.h"
#include "platform/standard_files.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*arguments*/, int show)
{
    if (!standard_files_open_missing()) return 1;
    launcher_reset();
    return launcher_main(show);
}
