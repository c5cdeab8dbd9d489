#include "media/display.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

SDL_Surface *screenSurface = nullptr;

namespace {

constexpr uint32_t baseModeFlags = SDL_HWSURFACE | SDL_OPENGL | SDL_ASYNCBLIT | SDL_HWPALETTE | SDL_FULLSCREEN;
constexpr uint32_t blitHwMask = 0x200; // blit_hw in the first flag word of SDL_VideoInfo

[[noreturn]] void failDisplay(const char *format)
{
    fprintf(stderr, format, SDL_GetError());
    fflush(stderr);
    SDL_Quit();
    exit(1);
}

uint32_t firstVideoInfoWord(const SDL_VideoInfo *info)
{
    uint32_t word;
    static_assert(sizeof(SDL_VideoInfo) >= sizeof word, "the bit fields lead the record");
    memcpy(&word, info, sizeof word);
    return word;
}

} // namespace

uint32_t chooseVideoModeFlags(uint32_t videoInfoFlags)
{
    return baseModeFlags | ((videoInfoFlags & blitHwMask) ? SDL_HWACCEL : 0);
}

void openDisplay()
{
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) < 0)
        failDisplay("Video initialization failed: %s\n");
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    if (!info)
        failDisplay("Video query failed: %s\n");
    uint32_t flags = chooseVideoModeFlags(firstVideoInfoWord(info));
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The scenes test depth; swaps wait for the retrace so frames do not tear.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);
    screenSurface = SDL_SetVideoMode(800, 600, 32, flags);
    if (!screenSurface)
        failDisplay("Video mode set failed: %s\n");
}

void readDrawnPixels(int x, int y, int width, int height, unsigned format, unsigned type, void *pixels)
{
    // Naming the back buffer while a framebuffer object is bound is an error.
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    if (framebuffer == 0)
        glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, format, type, pixels);
}
