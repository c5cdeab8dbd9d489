#include "assets/textures.h"

#include <SDL/SDL_image.h>

#include <cstdio>

#include "assets/contentfiles.h"

namespace {

// Decoded once and kept for the life of the process, as the uploads were made from them.
SDL_Surface *forestSurfaces[4];
SDL_Surface *creditsSurface;

// A copy of a surface of any other depth (palette, grey, 16-bit) as 32-bit red, green, blue and
// alpha in memory order; a colour key becomes alpha 0. Null when there is no memory for it.
SDL_Surface *convertToRgba(SDL_Surface *surface)
{
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    const Uint32 red = 0x000000FF, green = 0x0000FF00, blue = 0x00FF0000, alpha = 0xFF000000;
#else
    const Uint32 red = 0xFF000000, green = 0x00FF0000, blue = 0x0000FF00, alpha = 0x000000FF;
#endif
    SDL_Surface *layout = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 32, red, green, blue, alpha);
    if (layout == nullptr)
        return nullptr;
    SDL_Surface *converted = SDL_ConvertSurface(surface, layout->format, SDL_SWSURFACE);
    SDL_FreeSurface(layout);
    return converted;
}

} // namespace

void uploadSurfaceTexture(GLuint name, SDL_Surface *surface)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (surface == nullptr)
        return;
    const int bits = surface->format->BitsPerPixel;
    if (bits == 24) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, surface->w, surface->h, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     surface->pixels);
        return;
    }
    if (bits == 32) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, surface->w, surface->h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     surface->pixels);
        return;
    }
    // Left without an image, the texture would draw as a white box.
    SDL_Surface *rgba = convertToRgba(surface);
    if (rgba == nullptr) {
        printf("Error: a %i-bit image could not be converted to 32 bits: %s\n", bits, SDL_GetError());
        stopOnAssetFailure(1);
    }
    uploadSurfaceTexture(name, rgba);
    SDL_FreeSurface(rgba);
}

SDL_Surface *loadImageSurface(const char *path)
{
    char mapped[4096];
    mapContentPath(path, mapped, sizeof mapped);
    SDL_Surface *surface = IMG_Load(mapped);
    if (surface == nullptr) {
        printf("Error: image %s could not be loaded: %s\n", path, IMG_GetError());
        stopOnAssetFailure(1);
    }
    return surface;
}

void loadForestImages()
{
    static const char *const paths[4] = {
        "data\\images\\pine-silhuette.png",
        "data\\images\\pine-silhuette-2.png",
        "data\\images\\pine-silhuette-3.png",
        "data\\images\\bg-blue.png",
    };
    static const GLuint names[4] = {pineTexture, pineTexture + 1, pineTexture + 2, backdropTexture};
    for (int i = 0; i < 4; ++i) {
        forestSurfaces[i] = loadImageSurface(paths[i]);
        uploadSurfaceTexture(names[i], forestSurfaces[i]);
    }
}

void loadCreditsImage()
{
    creditsSurface = loadImageSurface("data\\images\\credits.png");
    uploadSurfaceTexture(creditsTexture, creditsSurface);
}
