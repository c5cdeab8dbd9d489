// A floating-point picture and its PNG output, plus the few drawing helpers the generators share.
#pragma once
#include "../common/random.h"

#include <cstdint>
#include <string>
#include <vector>

struct Colour {
    double r, g, b, a;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Colour> pixels;  // row 0 is the top row; straight (not premultiplied) alpha
};

Picture makePicture(int width, int height, Colour fill);
Colour &pixelAt(Picture &picture, int x, int y);

// Paints colour over the pixel with the given coverage (0..1), "over" compositing.
void blendPixel(Picture &picture, int x, int y, Colour colour, double coverage);

// Writes 8-bit RGBA (withAlpha) or RGB; deterministic: no time or text chunks.
bool writePng(const std::string &path, const Picture &picture, bool withAlpha);


// Smooth value noise in one dimension: repeatable wiggles for edges and streaks.
double valueNoise(double x, uint32_t seed);
double smoothStep(double edge0, double edge1, double x);
