#include "assets/textures.h"

#include <SDL/SDL_image.h>

#include <cstdio>

#include "assets/contentfiles.h"

namespace {

// Decoded once and kept for the life of the process, as the uploads were made from them.
SDL_Surface *forestSurfaces[4];
SDL_Surface *creditsSurface;

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
    // Other depths (palette, 16-bit) get no image: the name keeps its parameters and no texels.
    switch (surface->format->BitsPerPixel) {
    case 24:
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, surface->w, surface->h, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     surface->pixels);
        break;
    case 32:
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, surface->w, surface->h, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, surface->pixels);
        break;
    default:
        break;
    }
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
