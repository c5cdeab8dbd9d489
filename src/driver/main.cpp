// The process entry: the ways out watched, SDL up without its parachute, SDL_Quit and the stream
// close at exit, then the show.
#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>

#include "driver/demo.h"
#include "driver/waysout.h"

namespace {

void closeStandardStreams()
{
    fclose(stdout);
    fclose(stderr);
}

} // namespace

int main(int argc, char **argv)
{
    // Before SDL starts any thread, so that every thread inherits the blocked signals.
    startWatchingWaysOut();
    if (SDL_Init(SDL_INIT_NOPARACHUTE) < 0) {
        fprintf(stderr, "%s\n", SDL_GetError());
        return 1;
    }
    // Handlers run in reverse: SDL_Quit first, then the streams are closed.
    atexit(closeStandardStreams);
    atexit(SDL_Quit);
    const int status = runDemo(argc, argv);
    // Whatever SDL_Quit does at exit, the lines printed so far are out and the end is near.
    fflush(stdout);
    limitTimeToExit(status);
    exit(status);
}
