// filmo: the trailer player. Each argument is one movie name, as the shell split them.
#include "platform/cmdline.h"
#include "platform/standard_files.h"
#include "platform/window.h"
#include "player/player.h"

#include <cstdio>
#include <cstring>

static const char filmo_help[] =
    "usage: filmo [MOVIE...]\n"
    "Plays the movie files full-screen, one after the other and then from the first again,\n"
    "until Escape is pressed. With no name it plays tv.mov from the current folder. Each\n"
    "argument is one name, blanks included; names that cannot be opened are skipped, and at\n"
    "most four are played.\n"
    "\n"
    "Environment:\n"
    "  FILMO_WINDOWED=1        a 640x480 window instead of the full screen\n"
    "  FILMO_MODE=640x480      refuse the 320x200 mode: pictures are stretched to 640x480\n"
    "  FILMO_PIXEL_FORMAT=555  a 5-5-5 screen instead of 5-6-5\n"
    "  FILMO_NO_BOXES=1        errors on stderr only, no message boxes\n"
    "  FILMO_TRACE=FILE        one line a picture: microseconds and sound play position\n"
    "  SDL_VIDEODRIVER, SDL_AUDIODRIVER  SDL's own choice of display and sound\n"
    "\n"
    "Errors are shown in a message box and on stderr. The exit status is always 0.\n";

int main(int argc, char **argv)
{
    // Before SDL opens its first file or socket; filmo ends with 0 whichever way it ends.
    if (!standard_files_open_missing()) return 0;
    if (argc > 1 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
        fputs(filmo_help, stdout);
        return 0;
    }
    CmdlineArgs args{nullptr, argc - 1, argv + 1};
    // Every way out ends the same way, the player's own end included: at once, without running
    // the libraries' exit handlers while the sound device's thread may still be about.
    process_end(player_run(&args));
}
