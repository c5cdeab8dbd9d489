// Image textures under fixed texture names; names are never generated.
#pragma once
#include <GL/glew.h>
#include <SDL/SDL.h>

enum TextureName : GLuint {
    backdropTexture = 2,
    toonRampTexture = 10,
    creditsTexture = 40,
    pineTexture = 100, // 100, 101, 102: the three pine pictures
    feedbackTexture = 200,
};

// Creates or replaces the 2D texture under name from a surface, leaves it bound: 24 bits as RGB,
// 32 as RGBA, any other depth converted to 32-bit RGBA first.
void uploadSurfaceTexture(GLuint name, SDL_Surface *surface);
// IMG_Load of a content path; a missing or undecodable image stops start-up with status 1.
SDL_Surface *loadImageSurface(const char *path);
// The four forest pictures into names 100, 101, 102 and 2, in that order.
void loadForestImages();
// The credits image into name 40; the surface stays allocated.
void loadCreditsImage();
