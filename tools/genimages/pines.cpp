#include "images.h"

#include <cmath>

namespace {

// Half-width of the silhouette (in image widths) on one side at height t (0 top, 1 foot).
double pineHalfWidth(const PineSilhouette &pine, double t, int side, double pixel)
{
    double trunk = pine.trunkHalf * (1.0 + 0.6 * smoothStep(0.93, 1.0, t));
    if (t > pine.foliageEnd)
        return trunk;
    // Tiers get longer towards the foot; the two sides are offset so the branches alternate.
    double reach = t / pine.foliageEnd;
    double shift = side > 0 ? pine.alternate : 0.0;
    double position = std::pow(reach, 0.8) * pine.tiers + shift;
    int tier = int(std::floor(position));
    double u = position - tier;
    uint32_t tierSeed = pine.seed * 977u + uint32_t(tier * 2 + (side > 0));
    double length = 0.82 + 0.3 * valueNoise(tier * 1.7 + (side > 0) * 11.0, pine.seed);
    double envelope = pine.maxHalf * std::pow(reach, pine.envelopePower);
    // Each tier starts narrow near the trunk and reaches out to a drooping tip at its lower end.
    double branch = envelope * length * (pine.tierInset + (1.0 - pine.tierInset) * std::pow(u, pine.branchCurve));
    // Needle fringe along the edge.
    double fringe = pine.fringe * envelope * (valueNoise(t * 180.0, tierSeed) - 0.5);
    double width = branch + fringe;
    double tip = 1.4 * pixel * (1.0 - smoothStep(0.0, 0.02, t));
    width = std::fmax(width, tip);
    return std::fmax(width, t > pine.foliageEnd - 0.12 ? trunk : 0.0);
}

// Share of the pixel's sub-samples inside the silhouette, the picture shifted by dx pixels.
double pineCoverage(const PineSilhouette &pine, int x, int y, double dx)
{
    const int samples = 4;
    double pixel = 1.0 / pine.width;
    int inside = 0;
    for (int j = 0; j < samples; ++j) {
        // The top row reaches t = 0 and the bottom row t = 1, so the tree fills the height.
        double t = (y + (j + 0.5) / samples) / pine.height;
        t = std::fmin(1.0, std::fmax(0.0, (t - 0.5 / pine.height) * pine.height / (pine.height - 1.0)));
        double centre = 0.5 + pine.lean * (1.0 - t) * (1.0 - t);
        for (int i = 0; i < samples; ++i) {
            double u = (x + dx + (i + 0.5) / samples) / pine.width - centre;
            if (std::fabs(u) < pineHalfWidth(pine, t, u < 0 ? -1 : 1, pixel))
                ++inside;
        }
    }
    return double(inside) / (samples * samples);
}

} // namespace

Picture drawPineSilhouette(const PineSilhouette &pine)
{
    Picture picture = makePicture(pine.width, pine.height, {pine.colour.r, pine.colour.g, pine.colour.b, 0.0});
    for (int y = 0; y < pine.height; ++y) {
        for (int x = 0; x < pine.width; ++x) {
            double cover = pineCoverage(pine, x, y, 0.0);
            if (cover == 0.0)
                continue;
            // Moonlight catches the edges that face the moon (to the right): a faint cold rim.
            double rim = 1.0 - pineCoverage(pine, x, y, pine.rimWidth);
            double shade = 1.0 - 0.35 * double(y) / pine.height;  // a touch darker towards the foot
            const Colour &c = pine.colour, &m = pine.rimColour;
            pixelAt(picture, x, y) = {(c.r + (m.r - c.r) * rim) * shade, (c.g + (m.g - c.g) * rim) * shade,
                                      (c.b + (m.b - c.b) * rim) * shade, cover};
        }
    }
    return picture;
}
