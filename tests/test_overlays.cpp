// The full-screen passes in a real Mesa context: the music curves as pixels over a known picture
// and the GL state each pass leaves for the next one.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "assets/textures.h"
#include "effects/overlays.h"
#include "media/music.h"
#include "support/glimages.h"
#include "support/gltest.h"

namespace {

// Everything a pass might touch set to what it must change; modelview translated by (7, 8, 9).
void scrambleGlState(GLenum entryMode)
{
    for (GLenum cap : {GL_DEPTH_TEST, GL_CULL_FACE, GL_LIGHTING, GL_TEXTURE_2D})
        glEnable(cap);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(5, 5, 5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(7, 8, 9);
    glMatrixMode(entryMode);
}

void expectLeft(bool blend, GLint src, GLint dst, bool texture2d)
{
    GLint s = 0, d = 0;
    glGetIntegerv(GL_BLEND_SRC, &s);
    glGetIntegerv(GL_BLEND_DST, &d);
    EXPECT_EQ(bool(glIsEnabled(GL_BLEND)), blend);
    EXPECT_EQ(s, src);
    EXPECT_EQ(d, dst);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(bool(glIsEnabled(GL_TEXTURE_2D)), texture2d);
}

// Unit-square projection, modelview mode selected and modelview's x translation as given.
void expectOrthoWithModelviewX(float x)
{
    GLint mode = 0;
    GLfloat m[16];
    const float ortho[16] = {2, 0, 0, 0, 0, -2, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    for (int k = 0; k < 16; ++k)
        EXPECT_FLOAT_EQ(m[k], ortho[k]) << "element " << k;
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[12], x);
}

void paintScreen(float r, float g, float b)
{
    glDisable(GL_BLEND);
    glColor4f(r, g, b, 1);
    fillScreen();
}

bool isColour(Rgba p, const int rgb[3], int tolerance)
{
    return std::abs(p.r - rgb[0]) <= tolerance && std::abs(p.g - rgb[1]) <= tolerance &&
           std::abs(p.b - rgb[2]) <= tolerance;
}

int grey(Rgba p)
{
    EXPECT_TRUE(p.r == p.g && p.g == p.b) << int(p.r) << "," << int(p.g) << "," << int(p.b);
    return p.r;
}

class Overlays : public ::testing::Test {
protected:
    void SetUp() override
    {
        openTestDisplay();
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        takeGlError();
    }
    void TearDown() override { EXPECT_EQ(takeGlError(), 0u); }
};

TEST_F(Overlays, MusicCurvesAsPixels)
{
    struct Row {
        int row;
        double fadeAlpha, flashV, beatV;
    };
    const Row rows[] = {{0, 0, 1, 1},          {8, 0.125, 0.19753, 0.02778}, {15, 0.234375, 0.08944, 0.00929},
                        {16, 0.25, 0.08163, 1}, {32, 0.5, 0.02778, 1},       {63, 0.984375, 0.0085, 0.00929},
                        {64, 1, 0.00826, 1}};
    for (const Row &c : rows) {
        musicRow = c.row;
        paintScreen(1, 1, 1);
        fadeToBlackByRow();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * (1 - c.fadeAlpha), 1.0) << "row " << c.row;
        paintScreen(0, 0, 0);
        flashByRow();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * c.flashV, 1.0) << "row " << c.row;
        paintScreen(0, 0, 0);
        flashPerBeat();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * c.beatV, 1.0) << "row " << c.row;
    }
    // Row 0 over a coloured picture: fade invisible, flash adds full white.
    paintScreen(0.2f, 0.4f, 0.6f);
    musicRow = 0;
    fadeToBlackByRow();
    flashByRow();
    EXPECT_EQ(grey(readPixel(799, 599)), 255);
    // The flash adds to the picture rather than replacing it.
    paintScreen(0.5f, 0.5f, 0.5f);
    musicRow = 8;
    flashByRow();
    EXPECT_NEAR(grey(readPixel(400, 300)), 128 + 255 * 0.19753, 1.5);
    // The beat repeats every 16 rows, also where it is not saturated.
    int beat[64];
    for (int row = 0; row < 64; ++row) {
        paintScreen(0.25f, 0.25f, 0.25f);
        musicRow = row;
        flashPerBeat();
        beat[row] = grey(readPixel(10, 10));
        EXPECT_EQ(beat[row], beat[row % 16]) << "row " << row;
    }
}

TEST_F(Overlays, FillPassesLeaveTheirStateWhateverMatrixModeWasSelected)
{
    struct Case {
        void (*draw)();
        bool blendBefore, blend;
        GLint src, dst;
        float modelviewX;
    };
    const Case cases[] = {
        {setOrthoProjection, true, true, GL_DST_COLOR, GL_ZERO, 0},
        {fillScreen, true, true, GL_DST_COLOR, GL_ZERO, 7}, // blending is the caller's
        {fadeToBlackByRow, false, true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 7},
        {flashByRow, false, true, GL_ONE, GL_ONE, 7},
        {flashPerBeat, true, false, GL_ONE, GL_ONE, 7},
        {drawSkyFill, true, false, GL_DST_COLOR, GL_ZERO, 7},
    };
    musicRow = 20;
    for (const Case &c : cases)
        for (GLenum entryMode : {GLenum(GL_MODELVIEW), GLenum(GL_PROJECTION), GLenum(GL_TEXTURE)}) {
            SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << ", entry mode " << entryMode);
            glMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glScalef(2, 3, 4);
            scrambleGlState(entryMode);
            c.blendBefore ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
            GLint depthBefore = 0, depth = 0;
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
            c.draw();
            if (c.draw != setOrthoProjection)
                expectLeft(c.blend, c.src, c.dst, false);
            expectOrthoWithModelviewX(c.modelviewX);
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, depthBefore);
            GLfloat m[16];
            glGetFloatv(GL_TEXTURE_MATRIX, m);
            EXPECT_FLOAT_EQ(m[5], 3);
        }
}

TEST_F(Overlays, SkyFillIsTheSkyColourOpaqueToTheCorners)
{
    paintScreen(1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawSkyFill();
    const int sky[3] = {99, 176, 188};
    for (Rgba p : {readPixel(0, 0), readPixel(799, 0), readPixel(0, 599), readPixel(799, 599)})
        EXPECT_TRUE(isColour(p, sky, 1));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_TRUE(colour[0] == 0.38671f && colour[1] == 0.6914f && colour[2] == 0.73828f && colour[3] == 1.0f);
}

// Over a red-top, blue-bottom picture: the backdrop shows upright and keeps the caller's blending
// (additive, over black, changes nothing); the credits blend by alpha over white and switch it off.
TEST_F(Overlays, TexturedPassesShowUprightWithTheirBlending)
{
    struct Case {
        void (*draw)();
        GLuint texture;
        uint8_t alpha;
        float under, colourBefore;
        bool blendBefore, blend;
        GLint src, dst;
        int top[3], bottom[3];
    };
    const Case cases[] = {
        {drawBackdropImage, backdropTexture, 255, 0, 1, false, false, GL_ONE, GL_ONE, {255, 0, 0}, {0, 0, 255}},
        {drawBackdropImage, backdropTexture, 255, 0, 1, true, true, GL_ONE, GL_ONE, {255, 0, 0}, {0, 0, 255}},
        {drawCreditsOverlay, creditsTexture, 128, 1, 0, true, false, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA,
         {255, 127, 127}, {127, 127, 255}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        uploadTestImage(c.texture, 2, 2,
                        {255, 0, 0, c.alpha, 255, 0, 0, c.alpha, 0, 0, 255, c.alpha, 0, 0, 255, c.alpha});
        paintScreen(c.under, c.under, c.under);
        scrambleGlState(GL_TEXTURE);
        glColor4f(c.colourBefore, c.colourBefore, c.colourBefore, c.colourBefore);
        c.blendBefore ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        setOrthoProjection();
        c.draw();
        EXPECT_TRUE(isColour(readPixel(400, 599), c.top, 1));
        EXPECT_TRUE(isColour(readPixel(400, 0), c.bottom, 1));
        expectLeft(c.blend, c.src, c.dst, true);
        GLint bound = 0, wrap = 0;
        GLfloat colour[4];
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        EXPECT_EQ(bound, GLint(c.texture));
        EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
        EXPECT_TRUE(colour[0] == 1 && colour[1] == 1 && colour[2] == 1 && colour[3] == 1);
    }
}

} // namespace
