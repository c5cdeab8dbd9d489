// The wave grid and its feedback texture in a real Mesa context: the grid's vertices, the
// texture-matrix contract and what a capture holds.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assets/textures.h"
#include "effects/overlays.h"
#include "effects/wavegrid.h"
#include "support/glimages.h"

namespace {

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

void resetTextureMatrix()
{
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

class WaveGrid : public ::testing::Test {
protected:
    void SetUp() override
    {
        openTestDisplay();
        resetTextureMatrix();
        glDisable(GL_BLEND);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        takeGlError();
    }
    void TearDown() override
    {
        resetTextureMatrix();
        EXPECT_EQ(takeGlError(), 0u);
    }
};

void expectTextureScale(double sx, double sy)
{
    GLfloat m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_TRUE(m[0] == float(sx) && m[5] == float(sy) && m[10] == 1) << m[0] << " " << m[5];
}

TEST_F(WaveGrid, TextureMatrixAndProjectionSetUps)
{
    setFeedbackTextureMatrix();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_TEXTURE);
    expectTextureScale(0.78125, 0.5859375);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_TRUE(m[0] == 2 && m[5] == -2); // the unit-square ortho
    setFeedbackTextureMatrix(); // without the caller's reset the scale compounds
    expectTextureScale(0.78125 * 0.78125, 0.5859375 * 0.5859375);
    resetTextureMatrix(); // with the reset every frame starts from the identity
    setFeedbackTextureMatrix();
    expectTextureScale(0.78125, 0.5859375);

    glDisable(GL_TEXTURE_2D);
    setWaveGridProjection(45);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) && mode == GL_MODELVIEW && m[0] == 1 && m[12] == -0.5f && m[13] == -0.5f);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[5], 1 / std::tan(22.5 * M_PI / 180), 1e-5);
    EXPECT_FLOAT_EQ(m[0], m[5]); // aspect 1
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
