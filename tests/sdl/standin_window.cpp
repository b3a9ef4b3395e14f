// Another program's window for the full-screen tests: a plain red window at the place and size
// given (x y width height), drawn until the program is told to end.
#include <SDL.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: standin_window X Y WIDTH HEIGHT\n");
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "standin_window: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window *w = SDL_CreateWindow("stand-in", atoi(argv[1]), atoi(argv[2]), atoi(argv[3]),
                                     atoi(argv[4]), SDL_WINDOW_BORDERLESS);
    SDL_Renderer *r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    if (!r) {
        fprintf(stderr, "standin_window: %s\n", SDL_GetError());
        return 1;
    }
    // Drawn again on every event, so that it shows whenever it is uncovered.
    SDL_Event e;
    do {
        SDL_SetRenderDrawColor(r, 255, 0, 0, 255);
        SDL_RenderClear(r);
        SDL_RenderPresent(r);
        if (!SDL_WaitEvent(&e)) break;
    } while (e.type != SDL_QUIT);
    SDL_Quit();
    return 0;
}
