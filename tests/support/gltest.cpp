#include "support/gltest.h"

#include <GL/glew.h>

#include <SDL/SDL.h>
#include <unistd.h>

#include <cstdio>

#include "media/display.h"

void openTestDisplay()
{
    static bool opened = false;
    if (opened)
        return;
    // A fresh Xvfb here now and then refuses a connection (EAGAIN, reset by peer); try again
    // before the show's own start-up, which would stop at the first refusal.
    for (int attempt = 0; attempt < 20 && SDL_InitSubSystem(SDL_INIT_VIDEO) < 0; ++attempt)
        usleep(100000);
    openDisplay();
    glewInit();
    glViewport(0, 0, 800, 600);
    opened = true;
}

Rgba readPixel(int x, int y)
{
    uint8_t p[4] = {0, 0, 0, 0};
    readDrawnPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return Rgba{p[0], p[1], p[2], p[3]};
}

std::vector<uint8_t> readFrameTopDown()
{
    std::vector<uint8_t> bottomUp(800 * 600 * 4), topDown(800 * 600 * 4);
    readDrawnPixels(0, 0, 800, 600, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    for (int y = 0; y < 600; ++y)
        std::copy(bottomUp.begin() + (599 - y) * 3200, bottomUp.begin() + (600 - y) * 3200,
                  topDown.begin() + y * 3200);
    return topDown;
}

unsigned takeGlError()
{
    unsigned first = glGetError();
    while (glGetError() != GL_NO_ERROR) {
    }
    return first;
}
