// The wave grid and its feedback texture in a real Mesa context: the grid's vertices, the
// texture-matrix contract and what a capture holds.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assets/textures.h"
#include "effects/overlays.h"
#include "effects/wavegrid.h"
#include "support/gldisplayretry.h"
#include "support/gltest.h"

namespace {

const WaveGridVertex &vertexAt(const WaveGridVertex *grid, int i, int j)
{
    return grid[waveGridSize * i + j];
}

TEST(WaveGridBuild, VerticesAtTimeZero)
{
    WaveGridVertex grid[waveGridSize * waveGridSize];
    buildWaveGrid(0, grid);
    const WaveGridVertex &centre = vertexAt(grid, 8, 8);
    EXPECT_FLOAT_EQ(centre.x, 0.5f);
    EXPECT_FLOAT_EQ(centre.y, 0.5f);
    EXPECT_FLOAT_EQ(centre.z, -1.05f);
    EXPECT_FLOAT_EQ(centre.s, 0.5f);
    EXPECT_FLOAT_EQ(centre.t, 0.5f);

    // These depend on 3.14 standing in for pi: with pi, t at the corners differs by about 5e-5.
    const WaveGridVertex &low = vertexAt(grid, 0, 0), &high = vertexAt(grid, 16, 16);
    EXPECT_EQ(low.x, 0.0f);
    EXPECT_EQ(low.y, 0.0f);
    EXPECT_NEAR(low.z, -0.83556, 1e-5);
    EXPECT_EQ(low.s, 0.0f);
    EXPECT_NEAR(low.t, -0.19844, 1e-5);
    EXPECT_EQ(high.x, 1.0f);
    EXPECT_EQ(high.y, 1.0f);
    EXPECT_NEAR(high.z, -1.06444, 1e-5);
    EXPECT_EQ(high.s, 1.0f);
    EXPECT_NEAR(high.t, 1.19844, 1e-5);

    for (int i = 0; i < waveGridSize; ++i)
        for (int j = 0; j < waveGridSize; ++j) {
            const WaveGridVertex &v = vertexAt(grid, i, j);
            EXPECT_EQ(v.x, i / 16.0f);
            EXPECT_EQ(v.y, j / 16.0f);
            EXPECT_EQ(v.s, v.x);
            EXPECT_GT(v.z, -1.31f);
            EXPECT_LT(v.z, -0.69f);
            EXPECT_LE(std::fabs(v.t - v.y), 0.25f);
        }
}

TEST(WaveGridBuild, MovesWithTime)
{
    WaveGridVertex a[waveGridSize * waveGridSize], b[waveGridSize * waveGridSize];
    buildWaveGrid(0, a);
    buildWaveGrid(1.5f, b);
    EXPECT_NE(vertexAt(a, 8, 8).z, vertexAt(b, 8, 8).z);
    EXPECT_NE(vertexAt(a, 3, 8).t, vertexAt(b, 3, 8).t);
    EXPECT_EQ(vertexAt(a, 3, 8).x, vertexAt(b, 3, 8).x);
}

class WaveGrid : public ::testing::Test {
protected:
    void SetUp() override
    {
        openTestDisplayRetrying();
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
    static void resetTextureMatrix()
    {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }
};

void expectTextureScale(double sx, double sy)
{
    GLfloat m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], float(sx));
    EXPECT_FLOAT_EQ(m[5], float(sy));
    EXPECT_FLOAT_EQ(m[10], 1.0f);
    EXPECT_FLOAT_EQ(m[15], 1.0f);
    EXPECT_FLOAT_EQ(m[12], 0.0f);
}

TEST_F(WaveGrid, TextureMatrixScalesWithoutLoadingIdentity)
{
    setFeedbackTextureMatrix();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_TEXTURE);
    expectTextureScale(0.78125, 0.5859375);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 2);
    EXPECT_FLOAT_EQ(projection[5], -2);

    // Without the caller's reset the scale compounds.
    setFeedbackTextureMatrix();
    expectTextureScale(0.78125 * 0.78125, 0.5859375 * 0.5859375);

    // With it every frame starts again from the identity.
    for (int frame = 0; frame < 3; ++frame) {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        setFeedbackTextureMatrix();
        expectTextureScale(0.78125, 0.5859375);
    }
}

TEST_F(WaveGrid, ProjectionCentresTheUnitGrid)
{
    glDisable(GL_TEXTURE_2D);
    setWaveGridProjection(45);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[12], -0.5f);
    EXPECT_FLOAT_EQ(m[13], -0.5f);
    EXPECT_FLOAT_EQ(m[0], 1.0f);
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

// Texel (x, y) counted from the bottom-left, as the window's pixels are copied.
void expectTexel(const std::vector<uint8_t> &texels, int x, int y, int r, int g, int b)
{
    const uint8_t *p = &texels[(size_t(y) * 1024 + x) * 3];
    EXPECT_EQ(p[0], r) << "texel " << x << "," << y;
    EXPECT_EQ(p[1], g) << "texel " << x << "," << y;
    EXPECT_EQ(p[2], b) << "texel " << x << "," << y;
}

void paint(float r, float g, float b)
{
    glDisable(GL_BLEND);
    glColor4f(r, g, b, 1);
    fillScreen();
}

TEST_F(WaveGrid, CaptureHoldsOnlyThisFrameAndBlackBeyondTheWindow)
{
    paint(1, 0, 0);
    captureFeedbackTexture();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint value = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, GLint(feedbackTexture));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(value, 1024);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &value);
    EXPECT_EQ(value, 1024);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &value);
    EXPECT_EQ(value, 0);
    paint(0, 0, 1); // drawn after the capture: must not be in it

    std::vector<uint8_t> texels = readFeedbackTexels();
    expectTexel(texels, 0, 0, 255, 0, 0);
    expectTexel(texels, 799, 599, 255, 0, 0);
    for (int k : {800, 900, 1023}) {
        expectTexel(texels, k, 0, 0, 0, 0);
        expectTexel(texels, 0, k - 200, 0, 0, 0);
        expectTexel(texels, k, k, 0, 0, 0);
    }

    // Next frame: black with a green left half.
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 400, 600);
    paint(0, 1, 0);
    glDisable(GL_SCISSOR_TEST);
    captureFeedbackTexture();
    texels = readFeedbackTexels();
    expectTexel(texels, 10, 10, 0, 255, 0);
    expectTexel(texels, 399, 599, 0, 255, 0);
    expectTexel(texels, 400, 10, 0, 0, 0);
    expectTexel(texels, 799, 599, 0, 0, 0);
    expectTexel(texels, 900, 900, 0, 0, 0);
}

TEST_F(WaveGrid, GridShowsTheCaptureUprightAndBlackPastTheWindow)
{
    // Lower half of the window white, upper half grey: the grid's lower rows sample white.
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 800, 300);
    paint(1, 1, 1);
    glScissor(0, 300, 800, 300);
    paint(0.5f, 0.5f, 0.5f);
    glDisable(GL_SCISSOR_TEST);
    captureFeedbackTexture();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glColor4f(1, 1, 1, 1);
    setFeedbackTextureMatrix();
    glDisable(GL_DEPTH_TEST);
    setWaveGridProjection(45);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawWaveGrid(0);
    GLint value = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, GLint(feedbackTexture));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);

    WaveGridVertex grid[waveGridSize * waveGridSize];
    buildWaveGrid(0, grid);
    auto pixelInside = [&](int i, int j) {
        double x = 0, y = 0, z = 0;
        for (int di = 0; di < 2; ++di)
            for (int dj = 0; dj < 2; ++dj) {
                const WaveGridVertex &v = vertexAt(grid, i + di, j + dj);
                x += v.x / 4;
                y += v.y / 4;
                z += v.z / 4;
            }
        GLdouble modelview[16], projection[16], wx, wy, wz;
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        gluProject(x, y, z, modelview, projection, viewport, &wx, &wy, &wz);
        return readPixel(int(wx), int(wy));
    };
    // Quad (4, 4): t near 0.25, the white lower half; quad (12, 10): t near 0.7, grey.
    EXPECT_EQ(pixelInside(4, 4).r, 255);
    EXPECT_NEAR(pixelInside(12, 10).r, 128, 2);
    // Quad (15, 15): t beyond 1.1, texture rows past the window's 600: black.
    EXPECT_EQ(pixelInside(15, 15).r, 0);
}

} // namespace
