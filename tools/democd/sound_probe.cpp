// Whether the trailer player will find a sound device: opens the default device as the player
// does (8-bit mono, 22050 samples a second, SDL's drivers as SDL_AUDIODRIVER picks them) and
// closes it again at once. SDL's file and silent drivers are taken as they are, unopened: the
// file one would create its file. Exit status 0: there is one; 1: there is none (SDL's reason
// on stdout); 2: bad arguments.
#include "platform/standard_files.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    if (!standard_files_open_missing()) return 1;
    if (argc > 1) {
        bool help = !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h");
        fputs("usage: democd_sound_probe\nExit status 0 when filmo can open a sound device, 1 "
              "when it cannot.\n",
              help ? stdout : stderr);
        return help ? 0 : 2;
    }
    const char *driver = getenv("SDL_AUDIODRIVER");
    if (driver && (!strncmp(driver, "disk", 4) || !strncmp(driver, "dummy", 5))) return 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        printf("%s\n", SDL_GetError());
        return 1;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = 22050;
    want.format = AUDIO_U8;
    want.channels = 1;
    want.samples = 256;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        printf("%s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_CloseAudioDevice(id);
    SDL_Quit();
    return 0;
}
