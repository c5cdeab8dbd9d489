// The process entry: SDL up without its parachute, SDL_Quit and the stream close at exit, then the show.
#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>

#include "driver/demo.h"

namespace {

void closeStandardStreams()
{
    fclose(stdout);
    fclose(stderr);
}

} // namespace

int main(int argc, char **argv)
{
    if (SDL_Init(SDL_INIT_NOPARACHUTE) < 0) {
        fprintf(stderr, "%s\n", SDL_GetError());
        return 1;
    }
    // Handlers run in reverse: SDL_Quit first, then the streams are closed.
    atexit(closeStandardStreams);
    atexit(SDL_Quit);
    exit(runDemo(argc, argv));
}
