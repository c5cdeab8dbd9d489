// Surfaces uploaded under the fixed texture names, in a real GL context.
#include <GL/glew.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "assets/textures.h"
#include "support/gltest.h"
#include "support/scratchfolder.h"

namespace {

using ImageFiles = ScratchFolderTest;
using ImageFilesDeathTest = ScratchFolderTest;

void writeImage(const char *path, int width, int height, png_uint_32 format)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    image.colormap_entries = format & PNG_FORMAT_FLAG_COLORMAP ? 256 : 0;
    std::vector<uint8_t> pixels(size_t(width) * height * 4, 200), colormap(256 * 3, 7);
    ASSERT_NE(png_image_write_to_file(&image, path, 0, pixels.data(), 0, colormap.data()), 0) << path;
}

// The bound name after binding `name`, and its level 0: internal format, width, height.
std::vector<GLint> readLevel(GLuint name)
{
    glBindTexture(GL_TEXTURE_2D, name);
    std::vector<GLint> level(3, 0);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &level[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &level[1]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &level[2]);
    return level;
}

GLint boundTexture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

TEST(SurfaceUpload, TwentyFourAndThirtyTwoBitsAsTheyAreOtherDepthsConvertedToRgba)
{
    openTestDisplay();
    const struct {
        int bits;
        GLint internalFormat;
    } cases[] = {{24, GL_RGB}, {32, GL_RGBA}, {8, GL_RGBA}, {16, GL_RGBA}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bits);
        const GLuint name = 300 + c.bits;
        SDL_Surface *surface = SDL_CreateRGBSurface(SDL_SWSURFACE, 3, 2, c.bits, 0, 0, 0, 0);
        auto *pixels = static_cast<uint8_t *>(surface->pixels);
        for (int i = 0; i < surface->pitch * 2; ++i)
            pixels[i] = uint8_t(i * 7 + 1);
        // A palette of known colours, and index 1 (the first pixel) as the colour key, as SDL_image
        // gives a palette PNG with one transparent entry.
        SDL_Color palette[256];
        for (int i = 0; i < 256; ++i)
            palette[i] = SDL_Color{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
        if (c.bits == 8) {
            SDL_SetColors(surface, palette, 0, 256);
            SDL_SetColorKey(surface, SDL_SRCCOLORKEY, 1);
        }
        uploadSurfaceTexture(name, surface);
        EXPECT_EQ(boundTexture(), GLint(name));
        std::vector<GLint> parameters;
        for (GLenum parameter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) {
            parameters.push_back(0);
            glGetTexParameteriv(GL_TEXTURE_2D, parameter, &parameters.back());
        }
        EXPECT_EQ(parameters, (std::vector<GLint>{GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE}));
        EXPECT_EQ(readLevel(name), (std::vector<GLint>{c.internalFormat, 3, 2}));
        const GLenum format = c.internalFormat == GL_RGB ? GL_RGB : GL_RGBA;
        const int bytesPerPixel = format == GL_RGB ? 3 : 4;
        std::vector<uint8_t> texels(64, 0);
        glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
        const int rowBytes = (3 * bytesPerPixel + 3) / 4 * 4;
        for (int y = 0; y < 2; ++y) {
            const uint8_t *row = &texels[y * rowBytes];
            if (c.bits == 24 || c.bits == 32) {
                // Rows as the surface lays them out, top row first, under the default alignment of 4.
                EXPECT_EQ(0, memcmp(row, pixels + y * surface->pitch, 3 * bytesPerPixel)) << "row " << y;
                continue;
            }
            for (int x = 0; x < 3; ++x) {
                const uint8_t *texel = row + 4 * x;
                const int index = pixels[y * surface->pitch + x];
                if (c.bits == 8 && index == 1) {
                    EXPECT_EQ(texel[3], 0) << "keyed pixel";
                } else if (c.bits == 8) {
                    EXPECT_EQ(std::vector<int>(texel, texel + 4),
                              (std::vector<int>{palette[index].r, palette[index].g, palette[index].b, 255}));
                } else {
                    EXPECT_EQ(texel[3], 255); // 16 bits have no alpha: opaque
                }
            }
        }
        SDL_FreeSurface(surface);
    }
    EXPECT_EQ(takeGlError(), 0u);
}

// Palette and grey PNGs, which SDL_image decodes to 8-bit surfaces, arrive as RGBA (converted as
// SurfaceUpload checks).
TEST_F(ImageFiles, FiveImagesUnderTheirNamesAndCreditsLeftBound)
{
    openTestDisplay();
    writeImage("data/images/pine-silhuette.png", 16, 32, PNG_FORMAT_RGBA);
    writeImage("data/images/pine-silhuette-2.png", 8, 8, PNG_FORMAT_RGB_COLORMAP);
    writeImage("data/images/pine-silhuette-3.png", 4, 16, PNG_FORMAT_GRAY);
    writeImage("data/images/bg-blue.png", 64, 2, PNG_FORMAT_RGB);
    writeImage("data/images/credits.png", 32, 8, PNG_FORMAT_RGBA);
    loadForestImages();
    EXPECT_EQ(boundTexture(), GLint(backdropTexture));
    loadCreditsImage();
    EXPECT_EQ(boundTexture(), GLint(creditsTexture));
    const std::vector<GLint> expected[] = {{100, GL_RGBA, 16, 32}, {101, GL_RGBA, 8, 8}, {102, GL_RGBA, 4, 16},
                                           {2, GL_RGB, 64, 2},     {40, GL_RGBA, 32, 8}};
    for (const auto &e : expected)
        EXPECT_EQ(readLevel(e[0]), std::vector<GLint>(e.begin() + 1, e.end())) << "name " << e[0];
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(ImageFilesDeathTest, MissingOrUndecodableImageStops)
{
    FILE *file = fopen("data/images/credits.png", "wb");
    fputs("\x89PNG\r\n\x1a\nthis is no image", file);
    fclose(file);
    writeImage("data/images/pine-silhuette.png", 4, 4, PNG_FORMAT_RGBA);
    const struct {
        void (*load)();
        const char *message;
    } stops[] = {
        {[] { loadImageSurface("data\\images\\none.png"); },
         "^Error: image data.images.none.png could not be loaded: .*\n$"},
        {loadCreditsImage, "Error: image data.images.credits.png could not be loaded: .*\n$"},
        // The first picture loaded; the missing second one is named.
        {loadForestImages, "^Error: image data.images.pine-silhuette-2.png could not be loaded: .*\n$"},
    };
    for (const auto &stop : stops)
        EXPECT_EXIT(
            {
                dup2(2, 1);
                stop.load();
            },
            testing::ExitedWithCode(1), stop.message);
}

} // namespace
