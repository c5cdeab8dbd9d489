#include "images.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct CreditLine {
    const char *text;
    int scale;  // screen pixels per font pixel
    int top;    // screen row of the glyph cell's top
};

// The group first, then what the show is made with. No people are named.
const CreditLine creditLines[] = {
    {"gRUNKA pELDO", 5, 18},
    {"made with", 2, 412},
    {"SDL * OpenGL * GLEW * GLU", 3, 440},
    {"libopenmpt * Mesa * GCC", 3, 488},
    {"CMake * libpng * SDL_image", 2, 540},
};

// A character cell is 9 font pixels wide: 8 columns and a gap, as in the voxel text.
int lineWidth(const CreditLine &line)
{
    return int(std::strlen(line.text)) * 9 * line.scale - line.scale;
}

} // namespace

Picture drawCreditsOverlay(const GlyphFont &font, int width, int height)
{
    // Letter coverage and the row-wise fill colour, per screen pixel.
    std::vector<double> letters(size_t(width) * size_t(height), 0.0);
    std::vector<double> shadeRow(size_t(width) * size_t(height), 0.0);
    for (const CreditLine &line : creditLines) {
        int left = (width - lineWidth(line)) / 2;
        for (size_t i = 0; line.text[i]; ++i) {
            int code = static_cast<unsigned char>(line.text[i]);
            for (int row = 0; row < GlyphRows; ++row)
                for (int column = 0; column < 8; ++column) {
                    if (!isGlyphPixelSet(font, code, column, row))
                        continue;
                    for (int py = 0; py < line.scale; ++py)
                        for (int px = 0; px < line.scale; ++px) {
                            int x = left + (int(i) * 9 + column) * line.scale + px;
                            int y = line.top + row * line.scale + py;
                            if (x < 0 || y < 0 || x >= width || y >= height)
                                continue;
                            letters[size_t(y) * width + x] = 1.0;
                            // Warm white at the cap line to gold at the baseline.
                            shadeRow[size_t(y) * width + x] = (row + py / double(line.scale) - 3.0) / 9.0;
                        }
                }
        }
    }

    Picture picture = makePicture(width, height, {0.02, 0.03, 0.05, 0.0});
    // Dark outline grown round the letters (its radius follows the line's size), with a soft drop shadow.
    std::vector<double> ring(size_t(width) * size_t(height), 0.0);
    for (const CreditLine &line : creditLines) {
        double radius = 1.0 + line.scale * 0.7;
        int reach = int(std::ceil(radius)) + 1;
        int rowLow = std::max(0, line.top - reach), rowHigh = std::min(height - 1, line.top + 16 * line.scale + reach);
        for (int y = rowLow; y <= rowHigh; ++y)
            for (int x = 0; x < width; ++x) {
                double nearest = 1e9;
                for (int dy = -reach; dy <= reach; ++dy)
                    for (int dx = -reach; dx <= reach; ++dx) {
                        int sx = x + dx, sy = y + dy;
                        if (sx < 0 || sy < 0 || sx >= width || sy >= height || letters[size_t(sy) * width + sx] == 0.0)
                            continue;
                        nearest = std::min(nearest, std::sqrt(double(dx * dx + dy * dy)));
                    }
                double cover = std::clamp(radius + 0.5 - nearest, 0.0, 1.0);
                ring[size_t(y) * width + x] = std::max(ring[size_t(y) * width + x], cover);
            }
    }
    const int shadow = 3;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int sx = x - shadow, sy = y - shadow;
            if (sx >= 0 && sy >= 0)
                blendPixel(picture, x, y, {0.0, 0.0, 0.02, 0.55}, ring[size_t(sy) * width + sx]);
            blendPixel(picture, x, y, {0.02, 0.03, 0.05, 1.0}, ring[size_t(y) * width + x]);
            double letter = letters[size_t(y) * width + x];
            if (letter > 0.0) {
                double t = std::clamp(shadeRow[size_t(y) * width + x], 0.0, 1.0);
                Colour fill{1.0, 0.97 - 0.17 * t, 0.78 - 0.45 * t, 1.0};
                blendPixel(picture, x, y, fill, letter);
            }
        }
    return picture;
}
