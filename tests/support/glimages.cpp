#include "support/glimages.h"

#include <GL/glu.h>
#include <png.h>

#include <cmath>
#include <cstdlib>

void uploadTestImage(GLuint name, int width, int height, const std::vector<uint8_t> &rgba)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

bool isColour(Rgba p, int r, int g, int b, int tolerance)
{
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

Rgba readProjectedPixel(double x, double y, double z, int dx, int dy)
{
    GLdouble modelview[16], projection[16], wx, wy, wz;
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(x, y, z, modelview, projection, viewport, &wx, &wy, &wz);
    return readPixel(int(std::lround(wx)) + dx, int(std::lround(wy)) + dy);
}

bool readPng(const std::string &path, int *width, int *height, std::vector<uint8_t> *rgba)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = int(image.width);
    *height = int(image.height);
    return true;
}
