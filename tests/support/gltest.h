// A real Mesa context for GL tests: the show's own display, opened once per test process.
#pragma once
#include <cstdint>
#include <vector>

struct Rgba {
    uint8_t r, g, b, a;
};

// Opens the show's 800x600 window (needs DISPLAY), loads GLEW and sets the viewport.
void openTestDisplay();
// Reads one pixel of the back buffer, (0, 0) being the bottom-left corner as in OpenGL.
Rgba readPixel(int x, int y);
// Reads the whole 800x600 back buffer, top row first, 4 bytes a pixel.
std::vector<uint8_t> readFrameTopDown();
// The current GL error, cleared; 0 when none.
unsigned takeGlError();
