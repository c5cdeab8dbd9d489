// genimages: writes the show's PNG pictures into a folder: three pine silhouettes (RGBA), the
// night-sky backdrop bg-blue.png (opaque) and the credits overlay credits.png (RGBA, lettered
// with the show's own font).
// Usage: genimages <output folder> [glyph source]
#include "images.h"

#include <cstdio>
#include <string>

#ifndef GENIMAGES_GLYPH_SOURCE
#define GENIMAGES_GLYPH_SOURCE "glyphs.txt"
#endif

namespace {

// A broad spruce with long drooping tiers.
PineSilhouette broadSpruce()
{
    PineSilhouette pine;
    pine.seed = 11;
    return pine;
}

// A slim, tall spruce with many short tiers.
PineSilhouette slimSpruce()
{
    PineSilhouette pine;
    pine.maxHalf = 0.19;
    pine.tiers = 15;
    pine.tierInset = 0.45;
    pine.envelopePower = 1.0;
    pine.fringe = 0.10;
    pine.foliageEnd = 0.92;
    pine.trunkHalf = 0.014;
    pine.lean = 0.012;
    pine.seed = 23;
    pine.colour = {0.04, 0.085, 0.11, 1.0};  // a shade lighter and bluer, so the trees part
    return pine;
}

// A ragged old pine: few wide, uneven tiers with gaps between them.
PineSilhouette raggedPine()
{
    PineSilhouette pine;
    pine.maxHalf = 0.31;
    pine.tiers = 8;
    pine.tierInset = 0.18;
    pine.branchCurve = 2.4;
    pine.envelopePower = 0.75;
    pine.fringe = 0.18;
    pine.alternate = 0.35;
    pine.foliageEnd = 0.86;
    pine.trunkHalf = 0.022;
    pine.lean = -0.02;
    pine.seed = 37;
    pine.colour = {0.035, 0.07, 0.075, 1.0};
    return pine;
}

bool write(const std::string &path, const Picture &picture, bool withAlpha)
{
    if (writePng(path, picture, withAlpha))
        return true;
    std::fprintf(stderr, "genimages: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: genimages <output folder> [glyph source]\n");
        return 2;
    }
    std::string folder = argv[1];
    GlyphFont font;
    std::string error;
    if (!readGlyphFile(argc == 3 ? argv[2] : GENIMAGES_GLYPH_SOURCE, font, error)) {
        std::fprintf(stderr, "genimages: %s\n", error.c_str());
        return 1;
    }
    bool ok = write(folder + "/pine-silhuette.png", drawPineSilhouette(broadSpruce()), true) &&
              write(folder + "/pine-silhuette-2.png", drawPineSilhouette(slimSpruce()), true) &&
              write(folder + "/pine-silhuette-3.png", drawPineSilhouette(raggedPine()), true) &&
              write(folder + "/bg-blue.png", drawNightSky(1024, 512), false) &&
              write(folder + "/credits.png", drawCreditsOverlay(font, 800, 600), true);
    return ok ? 0 : 1;
}
