#include "support/glimages.h"

#include <png.h>

void uploadTestImage(GLuint name, int width, int height, const std::vector<uint8_t> &rgba)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

void uploadSolidImage(GLuint name, int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (size_t k = 0; k < rgba.size(); k += 4) {
        rgba[k] = r;
        rgba[k + 1] = g;
        rgba[k + 2] = b;
        rgba[k + 3] = a;
    }
    uploadTestImage(name, width, height, rgba);
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
