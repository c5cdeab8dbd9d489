// The one fullscreen 800x600 OpenGL video mode.
#pragma once
#include <SDL/SDL.h>
#include <cstdint>

extern SDL_Surface *screenSurface;

// The flag word for SDL_SetVideoMode from the first flag word of SDL's video information.
uint32_t chooseVideoModeFlags(uint32_t videoInfoFlags);
// Starts SDL video and sets the mode; on failure prints one line on standard error and exits with 1.
void openDisplay();
// glReadPixels of the frame being drawn, whichever framebuffer the SDL 1.2 in use draws it into
// (the window's back buffer, or sdl12-compat's own object that it scales onto the window).
void readDrawnPixels(int x, int y, int width, int height, unsigned format, unsigned type, void *pixels);
