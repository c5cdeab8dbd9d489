// tilesheet: lays pictures out in a grid, each scaled down by a whole factor, for judging content
// by eye (renders along a camera track, the pine silhouettes side by side over a light ground).
// Usage: tilesheet <out.png> <columns> <shrink> <picture.png>...
#include "picture.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool readPng(const std::string &path, Picture &picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return false;
    picture = makePicture(int(image.width), int(image.height), {0, 0, 0, 0});
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = {bytes[4 * i] / 255.0, bytes[4 * i + 1] / 255.0, bytes[4 * i + 2] / 255.0,
                             bytes[4 * i + 3] / 255.0};
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: tilesheet <out.png> <columns> <shrink> <picture.png>...\n");
        return 2;
    }
    int columns = std::atoi(argv[2]), shrink = std::atoi(argv[3]);
    if (columns < 1 || shrink < 1) {
        std::fprintf(stderr, "tilesheet: columns and shrink must be at least 1\n");
        return 2;
    }
    std::vector<Picture> pictures;
    int cellW = 0, cellH = 0;
    for (int i = 4; i < argc; ++i) {
        Picture picture;
        if (!readPng(argv[i], picture)) {
            std::fprintf(stderr, "tilesheet: cannot read %s\n", argv[i]);
            return 1;
        }
        cellW = std::max(cellW, picture.width / shrink);
        cellH = std::max(cellH, picture.height / shrink);
        pictures.push_back(picture);
    }
    int rows = (int(pictures.size()) + columns - 1) / columns;
    const int gap = 4;
    Picture sheet = makePicture(columns * (cellW + gap) + gap, rows * (cellH + gap) + gap, {0.78, 0.84, 0.88, 1});
    for (size_t n = 0; n < pictures.size(); ++n) {
        const Picture &p = pictures[n];
        int left = gap + int(n % columns) * (cellW + gap), top = gap + int(n / columns) * (cellH + gap);
        for (int y = 0; y < p.height / shrink; ++y)
            for (int x = 0; x < p.width / shrink; ++x) {
                Colour sum{0, 0, 0, 0};
                for (int j = 0; j < shrink; ++j)
                    for (int i = 0; i < shrink; ++i) {
                        const Colour &c = p.pixels[size_t(y * shrink + j) * p.width + size_t(x * shrink + i)];
                        sum = {sum.r + c.r * c.a, sum.g + c.g * c.a, sum.b + c.b * c.a, sum.a + c.a};
                    }
                double n2 = double(shrink * shrink);
                Colour mean = sum.a > 0 ? Colour{sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / n2}
                                        : Colour{0, 0, 0, 0};
                blendPixel(sheet, left + x, top + y, mean, 1.0);
            }
    }
    if (!writePng(argv[1], sheet, false)) {
        std::fprintf(stderr, "tilesheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
