// The full-screen passes and the wave grid in a real Mesa context: the music curves as pixels over a
// known picture, the feedback capture, and the GL state each pass leaves for the next one.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assets/textures.h"
#include "effects/overlays.h"
#include "effects/wavegrid.h"
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

void paint(float r, float g, float b, int y = 0, int height = 600, int width = 800)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, y, width, height);
    glDisable(GL_BLEND);
    glColor4f(r, g, b, 1);
    fillScreen();
    glDisable(GL_SCISSOR_TEST);
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
    void TearDown() override
    {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        EXPECT_EQ(takeGlError(), 0u);
    }
};

using WaveGrid = Overlays;

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
        paint(1, 1, 1);
        fadeToBlackByRow();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * (1 - c.fadeAlpha), 1.0) << "row " << c.row;
        paint(0, 0, 0);
        flashByRow();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * c.flashV, 1.0) << "row " << c.row;
        paint(0, 0, 0);
        flashPerBeat();
        EXPECT_NEAR(grey(readPixel(400, 300)), 255 * c.beatV, 1.0) << "row " << c.row;
    }
    // The sky is opaque (additive blending left on before it) and covers the corners.
    paint(1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawSkyFill();
    for (Rgba p : {readPixel(0, 0), readPixel(799, 0), readPixel(0, 599), readPixel(799, 599)})
        EXPECT_TRUE(isColour(p, 99, 176, 188, 1));
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
        paint(credits, credits, credits);
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

typedef WaveGridVertex Grid[waveGridSize * waveGridSize];

TEST(WaveGridBuild, VerticesAtTimeZero)
{
    Grid grid, later;
    buildWaveGrid(0, grid);
    const WaveGridVertex &centre = grid[17 * 8 + 8], &low = grid[0], &high = grid[17 * 16 + 16];
    EXPECT_FLOAT_EQ(centre.z, -1.05f);
    EXPECT_FLOAT_EQ(centre.t, 0.5f);
    // These depend on 3.14 standing in for pi: with pi, t at the corners differs by about 5e-5.
    EXPECT_NEAR(low.z, -0.83556, 1e-5);
    EXPECT_NEAR(low.t, -0.19844, 1e-5);
    EXPECT_NEAR(high.z, -1.06444, 1e-5);
    EXPECT_NEAR(high.t, 1.19844, 1e-5);
    for (int i = 0; i < waveGridSize; ++i)
        for (int j = 0; j < waveGridSize; ++j) {
            const WaveGridVertex &v = grid[17 * i + j];
            EXPECT_TRUE(v.x == i / 16.0f && v.y == j / 16.0f && v.s == v.x) << i << "," << j;
            EXPECT_TRUE(v.z > -1.31f && v.z < -0.69f && std::fabs(v.t - v.y) <= 0.25f) << i << "," << j;
        }
    buildWaveGrid(1.5f, later);
    EXPECT_NE(later[17 * 8 + 8].z, centre.z);
    EXPECT_NE(later[17 * 3 + 8].t, grid[17 * 3 + 8].t);
}

TEST_F(WaveGrid, TextureMatrixAndProjectionSetUps)
{
    setFeedbackTextureMatrix();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_TEXTURE);
    GLfloat m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_TRUE(m[0] == 0.78125f && m[5] == 0.5859375f && m[10] == 1) << m[0] << " " << m[5];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_TRUE(m[0] == 2 && m[5] == -2); // the unit-square ortho

    glDisable(GL_TEXTURE_2D);
    setWaveGridProjection(45);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) && mode == GL_MODELVIEW && m[0] == 1 && m[12] == -0.5f && m[13] == -0.5f);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[5], 1 / std::tan(22.5 * M_PI / 180), 1e-5);
    EXPECT_FLOAT_EQ(m[0], m[5]); // aspect 1
}

std::vector<uint8_t> readFeedbackTexels()
{
    std::vector<uint8_t> texels(1024 * 1024 * 3);
    glBindTexture(GL_TEXTURE_2D, feedbackTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

// 0xRRGGBB of texel (x, y), counted from the bottom-left as the window's pixels are copied.
uint32_t texel(const std::vector<uint8_t> &texels, int x, int y)
{
    const uint8_t *p = &texels[(size_t(y) * 1024 + x) * 3];
    return uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
}

TEST_F(WaveGrid, CaptureHoldsOnlyThisFrameAndBlackBeyondTheWindow)
{
    paint(1, 0, 0);
    captureFeedbackTexture();
    GLint bound = 0, wrap = 0, width = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) && bound == GLint(feedbackTexture) && wrap == GL_CLAMP_TO_EDGE && width == 1024);
    paint(0, 0, 1); // drawn after the capture: must not be in it
    std::vector<uint8_t> t = readFeedbackTexels();
    EXPECT_EQ(texel(t, 0, 0), 0xff0000u);
    EXPECT_EQ(texel(t, 799, 599), 0xff0000u);
    for (int k : {800, 1023})
        EXPECT_TRUE(texel(t, k, 0) == 0 && texel(t, 0, k - 200) == 0 && texel(t, k, k) == 0) << k;
    // Next frame: black with a green left half replaces all of it.
    glClear(GL_COLOR_BUFFER_BIT);
    paint(0, 1, 0, 0, 600, 400);
    captureFeedbackTexture();
    t = readFeedbackTexels();
    EXPECT_EQ(texel(t, 0, 0), 0x00ff00u);
    EXPECT_EQ(texel(t, 399, 599), 0x00ff00u);
    EXPECT_TRUE(texel(t, 400, 10) == 0 && texel(t, 799, 599) == 0 && texel(t, 900, 900) == 0);
}

TEST_F(WaveGrid, GridShowsTheCaptureUprightAndBlackPastTheWindow)
{
    // Lower half of the window white, upper half grey.
    glClear(GL_COLOR_BUFFER_BIT);
    paint(1, 1, 1, 0, 300);
    paint(0.5f, 0.5f, 0.5f, 300, 300);
    captureFeedbackTexture();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glColor4f(1, 1, 1, 1);
    setFeedbackTextureMatrix();
    glDisable(GL_DEPTH_TEST);
    setWaveGridProjection(45);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawWaveGrid(0);
    GLint bound = 0, wrap = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_TRUE(bound == GLint(feedbackTexture) && wrap == GL_REPEAT);

    Grid grid;
    buildWaveGrid(0, grid);
    auto redAt = [&](double i, double j) { // grid coordinates, inside a quad
        const int k = 17 * int(i) + int(j);
        double z = (grid[k].z + grid[k + 1].z + grid[k + 17].z + grid[k + 18].z) / 4;
        return readProjectedPixel(i / 16, j / 16, z).r;
    };
    EXPECT_EQ(redAt(4.5, 4.5), 255);        // t near 0.2: the white lower half
    EXPECT_TRUE(redAt(4.8, 4.6) == 255 && redAt(4.2, 4.4) == 255); // the whole quad, not a bow-tie
    EXPECT_NEAR(redAt(12.5, 10.5), 128, 2); // t near 0.7: grey
    EXPECT_EQ(redAt(15.5, 15.5), 0);        // t beyond 1.1: texture rows past the window's 600
}

} // namespace
