// The show's pictures: pine silhouettes, the night-sky backdrop and the credits overlay.
#pragma once

#include "picture.h"

#include "glyphsource.h"

#include <string>

struct PineSilhouette {
    int width = 256, height = 512;
    // Shape, in image widths (the show stretches the picture 1.5 times wider than tall).
    double maxHalf = 0.27;        // half-width of the lowest branches
    double envelopePower = 0.9;   // how the branches lengthen from the tip down
    int tiers = 11;
    double tierInset = 0.35;      // where a tier starts, as a share of its reach
    double branchCurve = 1.6;
    double alternate = 0.5;       // offset of the right side's tiers
    double fringe = 0.12;
    double foliageEnd = 0.9;      // below this only the trunk shows
    double trunkHalf = 0.018;
    double lean = 0.0;
    uint32_t seed = 1;
    Colour colour{0.03, 0.075, 0.085, 1.0};
    Colour rimColour{0.065, 0.115, 0.15, 1.0};  // moonlit edge
    double rimWidth = 3.0;                     // pixels
};

Picture drawPineSilhouette(const PineSilhouette &pine);

// Deep blue night sky, lighter at the horizon (the bottom), with stars, a moon and a faint aurora.
Picture drawNightSky(int width, int height);

// Bold outlined credit lines on a transparent picture of the screen's size.
Picture drawCreditsOverlay(const GlyphFont &font, int width, int height);
