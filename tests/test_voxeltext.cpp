#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "effects/meshscenes.h"
#include "effects/voxeltext.h"
#include "support/gltest.h"
#include "support/scenefixture.h"

namespace {

struct Box {
    float x0 = 1e9f, y0 = 1e9f, z0 = 1e9f, x1 = -1e9f, y1 = -1e9f, z1 = -1e9f;
};

struct Triangle {
    float x[3], y[3], z[3];
};

constexpr float viewHalfWidth = 4.0f;

// The triangles a drawing emits, in the string's local units: the projection maps x and y of
// [-4, 4] x [-3, 3] onto the window and z of [-10, 10] onto the depth range.
std::vector<Triangle> captureTriangles(void (*draw)())
{
    static std::vector<GLfloat> buffer(1 << 22);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-viewHalfWidth, viewHalfWidth, -viewHalfWidth * 0.75, viewHalfWidth * 0.75, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint size = glRenderMode(GL_RENDER);
    std::vector<Triangle> triangles;
    for (GLint i = 0; i < size;) {
        const GLint token = GLint(buffer[i++]);
        if (token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        const int count = int(buffer[i++]);
        EXPECT_EQ(count, 3);
        Triangle t{};
        for (int v = 0; v < count; ++v, i += 3) {
            if (v >= 3)
                continue;
            t.x[v] = (buffer[i] / 400.0f - 1.0f) * viewHalfWidth;
            t.y[v] = (buffer[i + 1] / 300.0f - 1.0f) * viewHalfWidth * 0.75f;
            t.z[v] = (1.0f - 2.0f * buffer[i + 2]) * 10.0f;
        }
        triangles.push_back(t);
    }
    return triangles;
}

Box boundsOf(const std::vector<Triangle> &triangles, size_t first, size_t count)
{
    Box b;
    for (size_t i = first; i < first + count && i < triangles.size(); ++i) {
        for (int v = 0; v < 3; ++v) {
            b.x0 = std::min(b.x0, triangles[i].x[v]);
            b.x1 = std::max(b.x1, triangles[i].x[v]);
            b.y0 = std::min(b.y0, triangles[i].y[v]);
            b.y1 = std::max(b.y1, triangles[i].y[v]);
            b.z0 = std::min(b.z0, triangles[i].z[v]);
            b.z1 = std::max(b.z1, triangles[i].z[v]);
        }
    }
    return b;
}

// A pixel box of the text: 1/16 wide and high, a full unit deep, centred on (x, y, 0).
void expectPixelBox(const Box &b, float x, float y)
{
    const float e = 1e-3f, half = 1.0f / 32.0f;
    EXPECT_NEAR(b.x0, x - half, e);
    EXPECT_NEAR(b.x1, x + half, e);
    EXPECT_NEAR(b.y0, y - half, e);
    EXPECT_NEAR(b.y1, y + half, e);
    EXPECT_NEAR(b.z0, -0.5f, e);
    EXPECT_NEAR(b.z1, 0.5f, e);
}

const char *drawnText = "";

std::vector<Triangle> captureString(const char *text)
{
    drawnText = text;
    return captureTriangles([] { drawVoxelString(drawnText); });
}

class VoxelText : public ::testing::Test {
protected:
    static void SetUpTestSuite() { openCelTestContext(); }
    void SetUp() override
    {
        memcpy(savedFont, fontGlyphs, sizeof savedFont);
        memset(fontGlyphs, 0, sizeof fontGlyphs);
        forgetCompiledGlyphs();
    }
    void TearDown() override
    {
        memcpy(fontGlyphs, savedFont, sizeof savedFont);
        forgetCompiledGlyphs();
        voxelImmediateMode = false;
    }
    uint8_t savedFont[4096];
};

std::vector<float> modelviewAfter(void (*draw)())
{
    draw();
    return readMatrix(GL_MODELVIEW_MATRIX);
}

void expectTextState(const float *colour)
{
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(current[i], colour[i]);
}

} // namespace

// First in this file: the first call of the process builds the list and draws from it.
TEST(UnitCube, FirstCallBuildsTheListAndDraws)
{
    openCelTestContext();
    ASSERT_EQ(cubeList, 0u);
    const std::vector<Triangle> first = captureTriangles(drawUnitCube);
    const GLuint list = cubeList;
    EXPECT_NE(list, 0u);
    EXPECT_TRUE(glIsList(list));
    ASSERT_EQ(first.size(), 12u);
    const Box b = boundsOf(first, 0, 12);
    EXPECT_NEAR(b.x0, 0, 1e-3);
    EXPECT_NEAR(b.x1, 1, 1e-3);
    EXPECT_NEAR(b.y0, 0, 1e-3);
    EXPECT_NEAR(b.y1, 1, 1e-3);
    EXPECT_NEAR(b.z0, 0, 1e-3);
    EXPECT_NEAR(b.z1, 1, 1e-3);
    const std::vector<Triangle> second = captureTriangles(drawUnitCube);
    EXPECT_EQ(cubeList, list);
    ASSERT_EQ(second.size(), 12u);
    EXPECT_EQ(memcmp(first.data(), second.data(), 12 * sizeof(Triangle)), 0);
}

TEST(UnitCube, NormalsPointOutOfEachFace)
{
    openCelTestContext();
    // Lit from straight ahead in eye space: a face turned towards the eye is bright, others dark.
    for (bool front : {true, false}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setupSceneLighting();
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        const float position[4] = {0, 0, 1, 0};
        glLightfv(GL_LIGHT1, GL_POSITION, position);
        glTranslatef(0, 0, -4);
        if (!front)
            glRotatef(90, 0, 1, 0); // shows the x = 0 face
        glTranslatef(-0.5f, -0.5f, -0.5f);
        drawUnitCube();
        const Rgba p = readPixel(400, 300);
        EXPECT_GT(p.r, 200) << "front " << front;
    }
}

TEST_F(VoxelText, TopLeftAndBottomLeftPixelsSitWhereTheGlyphSays)
{
    fontGlyphs[16 * 'A'] = 0x80;      // top row, leftmost pixel
    fontGlyphs[16 * 'B' + 15] = 0x80; // bottom row, leftmost pixel
    for (bool immediate : {false, true}) {
        voxelImmediateMode = immediate;
        std::vector<Triangle> t = captureString("A");
        ASSERT_EQ(t.size(), 12u);
        expectPixelBox(boundsOf(t, 0, 12), 0.0f, 15.0f / 16.0f);
        t = captureString("B");
        ASSERT_EQ(t.size(), 12u);
        expectPixelBox(boundsOf(t, 0, 12), 0.0f, 0.0f);
    }
}

TEST_F(VoxelText, SpaceAdvancesOneCellAndHighCodesUseTheirGlyphs)
{
    fontGlyphs[16 * 'B' + 15] = 0x80;
    fontGlyphs[16 * 200 + 15] = 0x01;    // bottom row, rightmost pixel
    fontGlyphs[16 * 255 + 8] = 0x10;     // row j = 7, column k = 3
    for (bool immediate : {false, true}) {
        voxelImmediateMode = immediate;
        const std::vector<Triangle> t = captureString("B B\xC8\xFF");
        ASSERT_EQ(t.size(), 48u);
        const float cell = 9.0f / 16.0f;
        expectPixelBox(boundsOf(t, 0, 12), 0.0f, 0.0f);
        expectPixelBox(boundsOf(t, 12, 12), 2 * cell, 0.0f);
        expectPixelBox(boundsOf(t, 24, 12), 3 * cell + 7.0f / 16.0f, 0.0f);
        expectPixelBox(boundsOf(t, 36, 12), 4 * cell + 3.0f / 16.0f, 7.0f / 16.0f);
    }
}

TEST_F(VoxelText, CullingStaysOffEvenForAnEmptyString)
{
    for (const char *text : {"", "A"}) {
        glEnable(GL_CULL_FACE);
        const std::vector<Triangle> t = captureString(text);
        EXPECT_FALSE(glIsEnabled(GL_CULL_FACE)) << '"' << text << '"';
        EXPECT_TRUE(t.empty());
    }
}

TEST_F(VoxelText, TextOperationsLeaveTheSceneStateAndTheirColour)
{
    const float blue[4] = {0.2f, 0.4f, 1.0f, 1.0f}, yellow[4] = {0.8f, 0.8f, 0.2f, 1.0f};
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    drawTitleText(1.0f);
    expectTextState(blue);
    glEnable(GL_BLEND);
    drawScrollerText(1.0f);
    expectTextState(blue);
    glEnable(GL_BLEND);
    drawCreditWord("er", 1.0f);
    expectTextState(yellow);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(VoxelText, TranslationsInSinglePrecision)
{
    for (float t : {0.0f, 0.37f, 1.0f, 12.5f}) {
        static float time;
        time = t;
        std::vector<float> m = modelviewAfter([] { drawTitleText(time); });
        const float slide = t * 11.0f * 0.0625f;
        EXPECT_EQ(m[12], 2.0f - (slide + 0.5f));
        EXPECT_EQ(m[13], -0.5f);
        EXPECT_EQ(m[14], -2.0f);
        EXPECT_NEAR(m[12], 1.5 - 0.6875 * t, 1e-5);

        m = modelviewAfter([] { drawScrollerText(time); });
        EXPECT_NEAR(m[12], 4.5 - 1.375 * t, 1e-5);
        EXPECT_EQ(m[13], -0.5f);
        EXPECT_EQ(m[14], -5.0f);

        m = modelviewAfter([] { drawCreditWord("gRUNKA pELDO ", time); });
        EXPECT_EQ(m[12], float(0.005 - 13 * 0.25));
        EXPECT_EQ(m[13], -0.505f);
        EXPECT_EQ(m[14], -2.0f * t);
        m = modelviewAfter([] { drawCreditWord("er", time); });
        EXPECT_EQ(m[12], float(0.005 - 2 * 0.25));
    }
}

TEST_F(VoxelText, DrawsOverThePictureAfterClearingOnlyDepth)
{
    for (int c = 0; c < 256; ++c)
        for (int row = 0; row < 16; ++row)
            fontGlyphs[16 * c + row] = 0xFF;
    glClearColor(1, 0, 0, 1);
    glClearDepth(0.0); // nothing would pass the depth test unless the text clears depth
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    drawCreditWord("er", 1.0f);
    const Rgba corner = readPixel(2, 2);
    EXPECT_EQ(corner.r, 255);
    EXPECT_EQ(corner.g, 0);
    // The "e" lies left of the centre, two units away.
    const Rgba centre = readPixel(310, 300);
    EXPECT_FALSE(centre.r == 255 && centre.g == 0);
    EXPECT_GT(centre.r, 0);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(VoxelText, CompiledStringsDrawTheSamePixelsAsImmediateMode)
{
    // Every glyph a different pattern, so a misplaced pixel shows.
    for (int i = 0; i < 4096; ++i)
        fontGlyphs[i] = uint8_t((i * 2654435761u) >> 13);
    auto render = [](bool immediate) {
        voxelImmediateMode = immediate;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawTitleText(0.8f);
        drawScrollerText(2.3f);
        drawCreditWord("plork ", 0.6f);
        drawCreditWord("sjukdom ", 0.1f);
        return readFrameTopDown();
    };
    const std::vector<uint8_t> immediate = render(true);
    EXPECT_TRUE(render(false) == immediate);
    EXPECT_TRUE(render(false) == immediate);
    EXPECT_EQ(takeGlError(), 0u);
}
