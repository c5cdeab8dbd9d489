#include "support/gldisplayretry.h"

#include <SDL/SDL.h>

#include "support/gltest.h"

void openTestDisplayRetrying()
{
    for (int attempt = 0; attempt < 20 && SDL_WasInit(SDL_INIT_VIDEO) == 0; ++attempt) {
        if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) == 0)
            break;
        SDL_Delay(100);
    }
    openTestDisplay();
}
