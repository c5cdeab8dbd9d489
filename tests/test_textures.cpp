// Surfaces uploaded under the fixed texture names, in a real GL context.
#include <GL/glew.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/textures.h"
#include "support/gltest.h"
#include "support/scratchfolder.h"

namespace {

class ImageFiles : public ScratchFolderTest {
protected:
};

// A PNG of the given format (RGB, RGBA or colour-mapped) filled with a pattern.
void writeImage(const char *path, int width, int height, png_uint_32 format)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 37 % 4);
    uint8_t colormap[4 * 3] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    image.colormap_entries = 4;
    ASSERT_NE(png_image_write_to_file(&image, path, 0, pixels.data(), 0, colormap), 0) << path;
}

struct LevelInfo {
    GLint internalFormat, width, height;
};

LevelInfo readLevel(GLuint name)
{
    glBindTexture(GL_TEXTURE_2D, name);
    LevelInfo info{0, 0, 0};
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &info.internalFormat);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &info.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &info.height);
    return info;
}

GLint boundTexture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

void expectLinearClamped(GLuint name)
{
    glBindTexture(GL_TEXTURE_2D, name);
    const GLenum parameters[4] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S,
                                  GL_TEXTURE_WRAP_T};
    const GLint expected[4] = {GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE};
    for (int i = 0; i < 4; ++i) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, parameters[i], &value);
        EXPECT_EQ(value, expected[i]) << "name " << name << ", parameter " << i;
    }
}

SDL_Surface *patternSurface(int width, int height, int bits)
{
    SDL_Surface *surface = SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, bits, 0, 0, 0, 0);
    auto *bytes = static_cast<uint8_t *>(surface->pixels);
    for (int i = 0; i < surface->pitch * height; ++i)
        bytes[i] = uint8_t(i * 7 + 1);
    return surface;
}

TEST(SurfaceUpload, TwentyFourAndThirtyTwoBitsBecomeRgbAndRgbaTopRowFirst)
{
    openTestDisplay();
    const struct {
        int bits;
        GLint internalFormat;
        GLenum format;
        int bytesPerPixel;
    } cases[] = {{24, GL_RGB, GL_RGB, 3}, {32, GL_RGBA, GL_RGBA, 4}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bits);
        SDL_Surface *surface = patternSurface(3, 2, c.bits);
        uploadSurfaceTexture(300, surface);
        EXPECT_EQ(boundTexture(), 300);
        const LevelInfo info = readLevel(300);
        EXPECT_EQ(info.internalFormat, c.internalFormat);
        EXPECT_EQ(info.width, 3);
        EXPECT_EQ(info.height, 2);
        expectLinearClamped(300);
        // Rows as the surface lays them out, bytes in memory order, under the default alignment.
        std::vector<uint8_t> texels(64, 0);
        glGetTexImage(GL_TEXTURE_2D, 0, c.format, GL_UNSIGNED_BYTE, texels.data());
        const int rowBytes = (3 * c.bytesPerPixel + 3) / 4 * 4;
        const auto *pixels = static_cast<const uint8_t *>(surface->pixels);
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(0, memcmp(&texels[y * rowBytes], pixels + y * surface->pitch, 3 * c.bytesPerPixel))
                << "row " << y;
        SDL_FreeSurface(surface);
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(SurfaceUpload, OtherDepthsLeaveTheNameBoundWithParametersAndNoImage)
{
    openTestDisplay();
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        const GLuint name = 300 + bits;
        SDL_Surface *surface = patternSurface(4, 4, bits);
        uploadSurfaceTexture(name, surface);
        EXPECT_EQ(boundTexture(), GLint(name));
        EXPECT_EQ(readLevel(name).width, 0);
        expectLinearClamped(name);
        SDL_FreeSurface(surface);
    }
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

    const struct {
        GLuint name;
        GLint internalFormat, width, height;
    } expected[] = {{100, GL_RGBA, 16, 32}, {101, GL_RGBA, 8, 8}, {102, GL_RGBA, 4, 16},
                    {2, GL_RGB, 64, 2},     {40, GL_RGBA, 32, 8}};
    for (const auto &e : expected) {
        SCOPED_TRACE(e.name);
        const LevelInfo info = readLevel(e.name);
        EXPECT_EQ(info.internalFormat, e.internalFormat);
        EXPECT_EQ(info.width, e.width);
        EXPECT_EQ(info.height, e.height);
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(ImageFiles, PalettePngDecodesToEightBitsAndGetsNoImage)
{
    openTestDisplay();
    writeImage("data/images/palette.png", 8, 8, PNG_FORMAT_RGB_COLORMAP);
    SDL_Surface *surface = loadImageSurface("data\\images\\palette.png");
    ASSERT_EQ(surface->format->BitsPerPixel, 8);
    uploadSurfaceTexture(301, surface);
    EXPECT_EQ(readLevel(301).width, 0);
    expectLinearClamped(301);
}

using ImageFilesDeathTest = ImageFiles;

TEST_F(ImageFilesDeathTest, MissingOrUndecodableImageStops)
{
    EXPECT_EXIT(
        {
            dup2(2, 1);
            loadImageSurface("data\\images\\none.png");
        },
        testing::ExitedWithCode(1), "^Error: image data.images.none.png could not be loaded: .*\n$");
    FILE *file = fopen("data/images/credits.png", "wb");
    fputs("\x89PNG\r\n\x1a\nthis is no image", file);
    fclose(file);
    EXPECT_EXIT(
        {
            dup2(2, 1);
            loadCreditsImage();
        },
        testing::ExitedWithCode(1), "Error: image data.images.credits.png could not be loaded: .*\n$");
    writeImage("data/images/pine-silhuette.png", 4, 4, PNG_FORMAT_RGBA);
    EXPECT_EXIT(
        {
            dup2(2, 1);
            loadForestImages();
        },
        testing::ExitedWithCode(1), "^Error: image data.images.pine-silhuette-2.png could not be loaded");
}

} // namespace
