// The full-screen passes, read back from a real Mesa context: the music curves as pixels and the
// GL state each pass leaves for the next one.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>

#include "assets/textures.h"
#include "effects/overlays.h"
#include "media/music.h"
#include "support/glimages.h"
#include "support/gldisplayretry.h"
#include "support/gltest.h"

namespace {

struct GlState {
    bool blend, depthTest, cullFace, lighting, texture2d;
    GLint blendSrc, blendDst, matrixMode, boundTexture;
    GLfloat color[4];
};

GlState readGlState()
{
    GlState s{};
    s.blend = glIsEnabled(GL_BLEND);
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    s.cullFace = glIsEnabled(GL_CULL_FACE);
    s.lighting = glIsEnabled(GL_LIGHTING);
    s.texture2d = glIsEnabled(GL_TEXTURE_2D);
    glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &s.blendDst);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.boundTexture);
    glGetFloatv(GL_CURRENT_COLOR, s.color);
    return s;
}

// Everything a pass might touch, set to what it must change.
void scrambleGlState()
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(5, 5, 5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(7, 8, 9);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
}

void readMatrix(GLenum which, GLfloat m[16])
{
    glGetFloatv(which, m);
}

void expectIdentity(GLenum which)
{
    GLfloat m[16];
    readMatrix(which, m);
    for (int k = 0; k < 16; ++k)
        EXPECT_FLOAT_EQ(m[k], (k % 5 == 0) ? 1.0f : 0.0f) << "element " << k;
}

// x 0..1 left to right, y 0..1 top to bottom, z inside near 1 / far -1.
void expectUnitSquareProjection()
{
    GLfloat m[16];
    readMatrix(GL_PROJECTION_MATRIX, m);
    const float expected[16] = {2, 0, 0, 0, 0, -2, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
    for (int k = 0; k < 16; ++k)
        EXPECT_FLOAT_EQ(m[k], expected[k]) << "element " << k;
}

void paintScreen(float r, float g, float b)
{
    glDisable(GL_BLEND);
    glColor4f(r, g, b, 1);
    fillScreen();
}

int grey(Rgba p)
{
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.g, p.b);
    return p.r;
}

class Overlays : public ::testing::Test {
protected:
    void SetUp() override
    {
        openTestDisplayRetrying();
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        takeGlError();
    }
    void TearDown() override { EXPECT_EQ(takeGlError(), 0u); }
};

struct CurveRow {
    int row;
    double fadeAlpha, flashV, beatV;
};

const CurveRow curveRows[] = {
    {0, 0, 1, 1},
    {8, 0.125, 0.19753, 0.02778},
    {15, 0.234375, 0.08944, 0.00929},
    {16, 0.25, 0.08163, 1},
    {32, 0.5, 0.02778, 1},
    {63, 0.984375, 0.0085, 0.00929},
    {64, 1, 0.00826, 1},
};

TEST_F(Overlays, FadeDarkensWhiteByRowFraction)
{
    for (const CurveRow &c : curveRows) {
        paintScreen(1, 1, 1);
        musicRow = c.row;
        fadeToBlackByRow();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * (1 - c.fadeAlpha), 1.0) << "row " << c.row;
    }
    paintScreen(1, 1, 1);
    musicRow = 32;
    fadeToBlackByRow();
    int half = grey(readPixel(0, 0));
    EXPECT_GE(half, 127);
    EXPECT_LE(half, 128);
}

TEST_F(Overlays, FlashesAddTheirCurveOverBlack)
{
    for (const CurveRow &c : curveRows) {
        paintScreen(0, 0, 0);
        musicRow = c.row;
        flashByRow();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * c.flashV, 1.0) << "row " << c.row;
        paintScreen(0, 0, 0);
        flashPerBeat();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * c.beatV, 1.0) << "row " << c.row;
    }
}

TEST_F(Overlays, RowZeroIsWhiteWithFadeAndFlash)
{
    paintScreen(0.2f, 0.4f, 0.6f);
    musicRow = 0;
    fadeToBlackByRow();
    flashByRow();
    Rgba p = readPixel(799, 599);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 255);
    EXPECT_EQ(p.b, 255);
}

TEST_F(Overlays, FlashAddsToThePictureAndBeatRepeatsEvery16Rows)
{
    paintScreen(0.5f, 0.5f, 0.5f);
    musicRow = 8;
    flashByRow();
    EXPECT_NEAR(grey(readPixel(400, 300)), 128 + 255 * 0.19753, 1.5);

    int beat[4];
    for (int k = 0; k < 4; ++k) {
        paintScreen(0.25f, 0.25f, 0.25f);
        musicRow = 16 * k + 4;
        flashPerBeat();
        beat[k] = grey(readPixel(10, 10));
    }
    EXPECT_EQ(beat[0], beat[1]);
    EXPECT_EQ(beat[0], beat[2]);
    EXPECT_EQ(beat[0], beat[3]);
    EXPECT_GT(beat[0], 64);
}

TEST_F(Overlays, SkyFillIsTheSkyColourAndOpaque)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    paintScreen(1, 1, 1);
    glEnable(GL_BLEND);
    drawSkyFill();
    Rgba p = readPixel(400, 300);
    EXPECT_NEAR(p.r, 98.6, 1.0);
    EXPECT_NEAR(p.g, 176.3, 1.0);
    EXPECT_NEAR(p.b, 188.3, 1.0);
    GlState s = readGlState();
    EXPECT_FALSE(s.blend);
    EXPECT_EQ(s.color[0], 0.38671f);
    EXPECT_EQ(s.color[1], 0.6914f);
    EXPECT_EQ(s.color[2], 0.73828f);
    EXPECT_EQ(s.color[3], 1.0f);
}

TEST_F(Overlays, OrthoProjectionLeavesModelviewIdentitySelected)
{
    scrambleGlState();
    setOrthoProjection();
    expectUnitSquareProjection();
    expectIdentity(GL_MODELVIEW_MATRIX);
    EXPECT_EQ(readGlState().matrixMode, GL_MODELVIEW);
}

TEST_F(Overlays, FillScreenRestoresModelviewWhateverModeWasSelected)
{
    for (GLenum entryMode : {GLenum(GL_MODELVIEW), GLenum(GL_PROJECTION), GLenum(GL_TEXTURE)}) {
        scrambleGlState();
        glMatrixMode(GL_TEXTURE);
        glScalef(2, 3, 4);
        glMatrixMode(entryMode);
        GLint modelviewDepth = 0, textureDepth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);
        glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &textureDepth);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glColor4f(1, 0, 0, 1);
        fillScreen();

        GlState s = readGlState();
        EXPECT_EQ(s.matrixMode, GL_MODELVIEW);
        EXPECT_TRUE(s.blend); // blending is the caller's
        EXPECT_EQ(s.blendSrc, GL_ONE);
        EXPECT_FALSE(s.depthTest);
        EXPECT_FALSE(s.cullFace);
        EXPECT_FALSE(s.texture2d);
        EXPECT_FALSE(s.lighting);
        expectUnitSquareProjection();
        GLfloat m[16];
        readMatrix(GL_MODELVIEW_MATRIX, m);
        EXPECT_FLOAT_EQ(m[12], 7);
        EXPECT_FLOAT_EQ(m[13], 8);
        EXPECT_FLOAT_EQ(m[14], 9);
        readMatrix(GL_TEXTURE_MATRIX, m);
        EXPECT_FLOAT_EQ(m[0], 2);
        EXPECT_FLOAT_EQ(m[5], 3);
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, modelviewDepth);
        glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, textureDepth);
    }
    // The fill covered the whole window, corners included.
    glDisable(GL_BLEND);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(0, 1, 0, 1);
    fillScreen();
    for (Rgba p : {readPixel(0, 0), readPixel(799, 0), readPixel(0, 599), readPixel(799, 599)}) {
        EXPECT_EQ(p.g, 255);
        EXPECT_EQ(p.r, 0);
    }
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
}

TEST_F(Overlays, MusicOverlaysLeaveTheirBlending)
{
    struct Case {
        void (*draw)();
        bool blend;
        GLint src, dst;
    };
    const Case cases[] = {
        {fadeToBlackByRow, true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {flashByRow, true, GL_ONE, GL_ONE},
        {flashPerBeat, false, GL_ONE, GL_ONE},
        {drawSkyFill, false, GL_DST_COLOR, GL_ZERO},
    };
    musicRow = 20;
    for (const Case &c : cases) {
        scrambleGlState();
        glMatrixMode(GL_TEXTURE); // as in the wave-grid scene
        glDisable(GL_BLEND);
        c.draw();
        GlState s = readGlState();
        EXPECT_EQ(s.blend, c.blend);
        EXPECT_EQ(s.blendSrc, c.src);
        EXPECT_EQ(s.blendDst, c.dst);
        EXPECT_FALSE(s.depthTest);
        EXPECT_FALSE(s.cullFace);
        EXPECT_FALSE(s.texture2d);
        EXPECT_FALSE(s.lighting);
        EXPECT_EQ(s.matrixMode, GL_MODELVIEW);
        expectUnitSquareProjection();
        GLfloat m[16];
        readMatrix(GL_MODELVIEW_MATRIX, m);
        EXPECT_FLOAT_EQ(m[12], 7);
    }
}

// A 2x2 picture: red top row, blue bottom row, so orientation shows.
void uploadTopBottomImage(GLuint name, uint8_t alpha)
{
    std::vector<uint8_t> rgba = {255, 0, 0, alpha, 255, 0, 0, alpha, 0, 0, 255, alpha, 0, 0, 255, alpha};
    uploadTestImage(name, 2, 2, rgba);
}

TEST_F(Overlays, BackdropShowsUprightAndLeavesBlendingAlone)
{
    uploadTopBottomImage(backdropTexture, 255);
    for (bool blendOn : {false, true}) {
        glClear(GL_COLOR_BUFFER_BIT);
        scrambleGlState();
        glColor4f(1, 1, 1, 1);
        if (blendOn) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE);
        } else {
            glDisable(GL_BLEND);
        }
        setOrthoProjection();
        drawBackdropImage();
        Rgba top = readPixel(400, 599), bottom = readPixel(400, 0);
        EXPECT_EQ(top.r, 255);
        EXPECT_EQ(top.b, 0);
        EXPECT_EQ(bottom.r, 0);
        EXPECT_EQ(bottom.b, 255);
        GlState s = readGlState();
        EXPECT_EQ(s.blend, blendOn);
        EXPECT_EQ(s.blendSrc, blendOn ? GL_ONE : GL_DST_COLOR);
        EXPECT_FALSE(s.depthTest);
        EXPECT_FALSE(s.cullFace);
        EXPECT_FALSE(s.lighting);
        EXPECT_TRUE(s.texture2d);
        EXPECT_EQ(s.boundTexture, GLint(backdropTexture));
        GLint wrap = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
        EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    }
}

TEST_F(Overlays, CreditsImageBlendsByAlphaAndLeavesBlendingOff)
{
    uploadTopBottomImage(creditsTexture, 128);
    paintScreen(1, 1, 1);
    scrambleGlState();
    glColor4f(0, 0, 0, 0);
    setOrthoProjection();
    drawCreditsOverlay();
    Rgba top = readPixel(400, 599);
    EXPECT_EQ(top.r, 255);
    EXPECT_NEAR(top.g, 127, 1);
    EXPECT_NEAR(top.b, 127, 1);
    GlState s = readGlState();
    EXPECT_FALSE(s.blend);
    EXPECT_EQ(s.blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(s.blendDst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_FALSE(s.depthTest);
    EXPECT_FALSE(s.cullFace);
    EXPECT_FALSE(s.lighting);
    EXPECT_TRUE(s.texture2d);
    EXPECT_EQ(s.boundTexture, GLint(creditsTexture));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(s.color[k], 1.0f);
}

} // namespace
