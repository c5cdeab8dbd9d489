// The one fullscreen 800x600 OpenGL video mode.
#pragma once
#include <SDL/SDL.h>
#include <cstdint>

extern SDL_Surface *screenSurface;

// The flag word for SDL_SetVideoMode from the first flag word of SDL's video information.
uint32_t chooseVideoModeFlags(uint32_t videoInfoFlags);
// Starts SDL video and sets the mode; on failure prints one line on standard error and exits with 1.
// The screen mode stays the desktop's own: sdl12-compat scales the picture to the screen's height,
// the classic library centres it on black.
void openDisplay();
// Whether the mode is being set: from just before SDL_SetVideoMode until what it changed on the
// desktop has been put right (read by another thread).
bool isSettingUpDisplay();
// Whether an X server has a window manager that says so (_NET_SUPPORTING_WM_CHECK), as SDL2 judges.
bool hasWindowManager(struct _XDisplay *display);
// glReadPixels of the frame being drawn, whichever framebuffer the SDL 1.2 in use draws it into
// (the window's back buffer, or sdl12-compat's own object that it scales onto the window).
void readDrawnPixels(int x, int y, int width, int height, unsigned format, unsigned type, void *pixels);
