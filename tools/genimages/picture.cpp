#include "picture.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

Picture makePicture(int width, int height, Colour fill)
{
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(size_t(width) * size_t(height), fill);
    return picture;
}

Colour &pixelAt(Picture &picture, int x, int y)
{
    return picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
}

void blendPixel(Picture &picture, int x, int y, Colour colour, double coverage)
{
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height || coverage <= 0.0)
        return;
    Colour &under = pixelAt(picture, x, y);
    double a = std::min(1.0, colour.a * coverage);
    double outA = a + under.a * (1.0 - a);
    if (outA <= 0.0) {
        under = {colour.r, colour.g, colour.b, 0.0};
        return;
    }
    auto mix = [&](double top, double bottom) { return (top * a + bottom * under.a * (1.0 - a)) / outA; };
    under = {mix(colour.r, under.r), mix(colour.g, under.g), mix(colour.b, under.b), outA};
}

namespace {

png_byte toByte(double value)
{
    double v = std::clamp(value, 0.0, 1.0) * 255.0 + 0.5;
    return png_byte(std::min(255.0, v));
}

} // namespace

bool writePng(const std::string &path, const Picture &picture, bool withAlpha)
{
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), 8,
                 withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    int channels = withAlpha ? 4 : 3;
    std::vector<png_byte> row(size_t(picture.width) * size_t(channels));
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Colour &c = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
            png_byte *p = &row[size_t(x) * size_t(channels)];
            p[0] = toByte(c.r);
            p[1] = toByte(c.g);
            p[2] = toByte(c.b);
            if (withAlpha)
                p[3] = toByte(c.a);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}

namespace {

double hashUnit(int32_t cell, uint32_t seed)
{
    uint32_t h = uint32_t(cell) * 374761393u + seed * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xffffff) / 16777215.0;
}

} // namespace

double valueNoise(double x, uint32_t seed)
{
    double cell = std::floor(x);
    double f = x - cell;
    double t = f * f * (3.0 - 2.0 * f);
    double a = hashUnit(int32_t(cell), seed), b = hashUnit(int32_t(cell) + 1, seed);
    return a + (b - a) * t;
}

double smoothStep(double edge0, double edge1, double x)
{
    double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}
