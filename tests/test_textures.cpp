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
    std::vector<uint8_t> pixels(size_t(width) * height * 4, 200);
    ASSERT_NE(png_image_write_to_file(&image, path, 0, pixels.data(), 0, nullptr), 0) << path;
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

TEST(SurfaceUpload, TwentyFourAndThirtyTwoBitsBecomeRgbAndRgbaOtherDepthsNoImage)
{
    openTestDisplay();
    const struct {
        int bits;
        GLint internalFormat;
        GLenum format;
        int bytesPerPixel;
    } cases[] = {{24, GL_RGB, GL_RGB, 3}, {32, GL_RGBA, GL_RGBA, 4}, {8, 0, 0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bits);
        const GLuint name = 300 + c.bits;
        SDL_Surface *surface = SDL_CreateRGBSurface(SDL_SWSURFACE, 3, 2, c.bits, 0, 0, 0, 0);
        auto *pixels = static_cast<uint8_t *>(surface->pixels);
        for (int i = 0; i < surface->pitch * 2; ++i)
            pixels[i] = uint8_t(i * 7 + 1);
        uploadSurfaceTexture(name, surface);
        EXPECT_EQ(boundTexture(), GLint(name));
        // Every depth gets linear filtering and edge clamping, even without an image.
        const GLenum parameters[4] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S,
                                      GL_TEXTURE_WRAP_T};
        const GLint expected[4] = {GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE};
        for (int i = 0; i < 4; ++i) {
            GLint value = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, parameters[i], &value);
            EXPECT_EQ(value, expected[i]) << "parameter " << i;
        }
        if (c.internalFormat == 0) {
            EXPECT_EQ(readLevel(name)[1], 0);
        } else {
            EXPECT_EQ(readLevel(name), (std::vector<GLint>{c.internalFormat, 3, 2}));
            // Rows as the surface lays them out, top row first, under the default alignment of 4.
            std::vector<uint8_t> texels(64, 0);
            glGetTexImage(GL_TEXTURE_2D, 0, c.format, GL_UNSIGNED_BYTE, texels.data());
            const int rowBytes = (3 * c.bytesPerPixel + 3) / 4 * 4;
            for (int y = 0; y < 2; ++y)
                EXPECT_EQ(0, memcmp(&texels[y * rowBytes], pixels + y * surface->pitch, 3 * c.bytesPerPixel))
                    << "row " << y;
        }
        SDL_FreeSurface(surface);
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(ImageFiles, FiveImagesUnderTheirNamesAndCreditsLeftBound)
{
    openTestDisplay();
    writeImage("data/images/pine-silhuette.png", 16, 32, PNG_FORMAT_RGBA);
    writeImage("data/images/pine-silhuette-2.png", 8, 8, PNG_FORMAT_RGBA);
    writeImage("data/images/pine-silhuette-3.png", 4, 16, PNG_FORMAT_RGBA);
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
