// The full-screen passes in a real Mesa context: the music curves as pixels over a known picture
// and the GL state each pass leaves for the next one.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "assets/textures.h"
#include "effects/overlays.h"
#include "media/music.h"
#include "support/glimages.h"
#include "support/gltest.h"

namespace {

// Everything a pass might touch set to what it must change; modelview translated by (7, 8, 9).
void scrambleGlState(GLenum entryMode, bool blend)
{
    for (GLenum cap : {GL_DEPTH_TEST, GL_CULL_FACE, GL_LIGHTING, GL_TEXTURE_2D})
        glEnable(cap);
    blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glMatrixMode(GL_PROJECTION);
    glTranslatef(5, 5, 5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(7, 8, 9);
    glMatrixMode(entryMode);
}

// Blending as given; depth test, culling and lighting off; modelview mode selected under the
// unit-square projection, with the given modelview x translation.
void expectLeft(bool blend, GLint src, GLint dst, bool texture2d, float modelviewX)
{
    GLint s = 0, d = 0, mode = 0;
    GLfloat p[16], m[16];
    const float ortho[16] = {2, 0, 0, 0, 0, -2, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
    glGetIntegerv(GL_BLEND_SRC, &s);
    glGetIntegerv(GL_BLEND_DST, &d);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_TRUE(bool(glIsEnabled(GL_BLEND)) == blend && s == src && d == dst) << s << " " << d;
    EXPECT_TRUE(!glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_CULL_FACE) && !glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(bool(glIsEnabled(GL_TEXTURE_2D)), texture2d);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (int k = 0; k < 16; ++k)
        EXPECT_FLOAT_EQ(p[k], ortho[k]) << "element " << k;
    EXPECT_FLOAT_EQ(m[12], modelviewX);
}

void paintScreen(float r, float g, float b)
{
    glDisable(GL_BLEND);
    glColor4f(r, g, b, 1);
    fillScreen();
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
        for (GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
            glMatrixMode(mode);
            glLoadIdentity();
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        takeGlError();
    }
    void TearDown() override { EXPECT_EQ(takeGlError(), 0u); }
};

TEST_F(Overlays, MusicCurvesAndSkyAsPixels)
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
    // The beat repeats every 16 rows, also where it is not saturated.
    int beat[64];
    for (int row = 0; row < 64; ++row) {
        paintScreen(0.25f, 0.25f, 0.25f);
        musicRow = row;
        flashPerBeat();
        beat[row] = grey(readPixel(10, 10));
        EXPECT_EQ(beat[row], beat[row % 16]) << "row " << row;
    }
    // The sky is opaque (additive blending left on before it) and covers the corners.
    paintScreen(1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawSkyFill();
    for (Rgba p : {readPixel(0, 0), readPixel(799, 0), readPixel(0, 599), readPixel(799, 599)})
        EXPECT_TRUE(isColour(p, 99, 176, 188, 1));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_TRUE(colour[0] == 0.38671f && colour[1] == 0.6914f && colour[2] == 0.73828f && colour[3] == 1.0f);
}

TEST_F(Overlays, FillPassesLeaveTheirStateWhateverMatrixModeWasSelected)
{
    struct Case {
        void (*draw)();
        bool blendBefore, blend;
        GLint src, dst;
    };
    const Case cases[] = {
        {fillScreen, true, true, GL_DST_COLOR, GL_ZERO}, // blending is the caller's
        {fadeToBlackByRow, false, true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {flashByRow, false, true, GL_ONE, GL_ONE},
        {flashPerBeat, true, false, GL_ONE, GL_ONE},
        {drawSkyFill, true, false, GL_DST_COLOR, GL_ZERO},
    };
    musicRow = 20;
    for (const Case &c : cases)
        for (GLenum entryMode : {GLenum(GL_MODELVIEW), GLenum(GL_PROJECTION), GLenum(GL_TEXTURE)}) {
            SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << ", entry mode " << entryMode);
            glMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glScalef(2, 3, 4);
            scrambleGlState(entryMode, c.blendBefore);
            GLint depthBefore = 0, depth = 0;
            GLfloat texture[16];
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
            c.draw();
            expectLeft(c.blend, c.src, c.dst, false, 7);
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
            glGetFloatv(GL_TEXTURE_MATRIX, texture);
            EXPECT_TRUE(depth == depthBefore && texture[5] == 3);
        }
}

// Over a red-top, blue-bottom picture: the backdrop shows upright and keeps the caller's blending
// (additive, over black, changes nothing); the credits blend by alpha over white, then switch it
// off. setOrthoProjection before them resets the scrambled modelview.
TEST_F(Overlays, TexturedPassesShowUprightWithTheirBlending)
{
    for (int k = 0; k < 3; ++k) {
        const bool credits = k == 2, blendBefore = k != 0;
        const uint8_t alpha = credits ? 128 : 255;
        const GLuint texture = credits ? creditsTexture : backdropTexture;
        uploadTestImage(texture, 2, 2, {255, 0, 0, alpha, 255, 0, 0, alpha, 0, 0, 255, alpha, 0, 0, 255, alpha});
        paintScreen(credits, credits, credits);
        scrambleGlState(GL_TEXTURE, blendBefore);
        glColor4f(!credits, !credits, !credits, !credits); // the credits set their own white
        glBlendFunc(GL_ONE, GL_ONE);
        setOrthoProjection();
        credits ? drawCreditsOverlay() : drawBackdropImage();
        const int half = credits ? 127 : 0;
        EXPECT_TRUE(isColour(readPixel(400, 599), 255, half, half, 1)) << "case " << k;
        EXPECT_TRUE(isColour(readPixel(400, 0), half, half, 255, 1)) << "case " << k;
        if (credits)
            expectLeft(false, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true, 0);
        else
            expectLeft(blendBefore, GL_ONE, GL_ONE, true, 0);
        GLint bound = 0, wrap = 0;
        GLfloat colour[4];
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        EXPECT_TRUE(bound == GLint(texture) && wrap == GL_CLAMP_TO_EDGE) << "case " << k;
        EXPECT_TRUE(colour[0] == 1 && colour[1] == 1 && colour[2] == 1 && colour[3] == 1) << "case " << k;
    }
}

} // namespace
