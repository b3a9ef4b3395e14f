// filmo.exe: the player takes the command line's arguments as one string, as Windows hands it
// to the program, and splits it at blanks itself.
#include "platform/win32/win32.h"

#include "platform/standard_files.h"
#include "platform/window.h"
#include "player/player.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR arguments, int /*show*/)
{
    if (!standard_files_open_missing()) process_end(0);
    // Every way out ends the same way: at once, without unloading the sound and display
    // drivers under the threads that may still use them.
    process_end(player_main(arguments ? arguments : ""));
}
