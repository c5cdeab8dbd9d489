// The voxel text, its unit cube and the raw 8x16 font file.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "effects/meshscenes.h"
#include "effects/voxeltext.h"
#include "support/gltest.h"
#include "support/scenefixture.h"
#include "support/scratchfolder.h"

namespace {

struct Box {
    float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
};

// The bounds of each run of 12 triangles (one voxel) a drawing emits, in the local units: the
// projection maps x and y of [-4, 4] x [-3, 3] onto the window and z of [-10, 10] onto depth.
std::vector<Box> captureVoxels(void (*draw)(const char *), const char *text)
{
    static std::vector<GLfloat> buffer(1 << 22);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4, 4, -3, 3, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw(text);
    const GLint size = glRenderMode(GL_RENDER);
    std::vector<Box> boxes;
    for (GLint i = 0, triangles = 0; i < size; ++triangles) {
        if (buffer[i] != GL_POLYGON_TOKEN || buffer[i + 1] != 3) {
            ADD_FAILURE() << "not a triangle at " << i;
            break;
        }
        if (triangles % 12 == 0)
            boxes.emplace_back();
        i += 2;
        for (int v = 0; v < 3; ++v, i += 3) {
            const float p[3] = {(buffer[i] / 400.0f - 1.0f) * 4.0f,
                                (buffer[i + 1] / 300.0f - 1.0f) * 3.0f,
                                (1.0f - 2.0f * buffer[i + 2]) * 10.0f};
            for (int k = 0; k < 3; ++k) {
                boxes.back().low[k] = std::min(boxes.back().low[k], p[k]);
                boxes.back().high[k] = std::max(boxes.back().high[k], p[k]);
            }
        }
    }
    return boxes;
}

// A pixel box of the text: 1/16 wide and high, a full unit deep, centred on (x, y, 0).
void expectPixelBox(const Box &b, float x, float y)
{
    const float centre[3] = {x, y, 0}, half[3] = {1.0f / 32, 1.0f / 32, 0.5f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(b.low[k], centre[k] - half[k], 1e-3) << "axis " << k;
        EXPECT_NEAR(b.high[k], centre[k] + half[k], 1e-3) << "axis " << k;
    }
}

// Each test sets the glyph pixels it needs on a blank font.
class VoxelText : public ::testing::Test {
protected:
    static void SetUpTestSuite() { openCelTestContext(); }
    void SetUp() override
    {
        memset(fontGlyphs, 0, sizeof fontGlyphs);
        forgetCompiledGlyphs();
    }
    void TearDown() override { voxelImmediateMode = false; }
};

using FontFile = ScratchFolderTest;

} // namespace

TEST(UnitCube, NormalsPointOutOfEachFace)
{
    openCelTestContext();
    // Lit from straight ahead in eye space: the face towards the eye is bright.
    for (float turn : {0.0f, 90.0f}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setupSceneLighting();
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        const float position[4] = {0, 0, 1, 0};
        glLightfv(GL_LIGHT1, GL_POSITION, position);
        glTranslatef(0, 0, -4);
        glRotatef(turn, 0, 1, 0); // 90 shows the x = 0 face
        glTranslatef(-0.5f, -0.5f, -0.5f);
        drawUnitCube();
        EXPECT_GT(readPixel(400, 300).r, 200) << "turn " << turn;
    }
}

TEST_F(VoxelText, PixelsSitWhereTheGlyphSaysSpaceAdvancesAndHighCodesUseTheirGlyphs)
{
    fontGlyphs[16 * 'A'] = 0x80;      // top row, leftmost pixel
    fontGlyphs[16 * 'B' + 15] = 0x80; // bottom row, leftmost pixel
    fontGlyphs[16 * 200 + 15] = 0x01; // bottom row, rightmost pixel
    fontGlyphs[16 * 255 + 8] = 0x10;  // row j = 7, column k = 3
    const float cell = 9.0f / 16.0f;
    for (bool immediate : {false, true}) {
        voxelImmediateMode = immediate;
        const std::vector<Box> b = captureVoxels(drawVoxelString, "AB B\xC8\xFF");
        ASSERT_EQ(b.size(), 5u);
        expectPixelBox(b[0], 0.0f, 15.0f / 16.0f);
        expectPixelBox(b[1], cell, 0.0f);
        expectPixelBox(b[2], 3 * cell, 0.0f); // after one blank cell for the space
        expectPixelBox(b[3], 4 * cell + 7.0f / 16.0f, 0.0f);
        expectPixelBox(b[4], 5 * cell + 3.0f / 16.0f, 7.0f / 16.0f);
    }
}

TEST_F(VoxelText, TextOperationsLeaveTheSceneStateTheirColourAndSinglePrecisionTranslations)
{
    static float t;
    void (*const ops[3])() = {[] { drawTitleText(t); }, [] { drawScrollerText(t); },
                              [] { drawCreditWord("gRUNKA pELDO ", t); }};
    for (float time : {0.0f, 0.37f, 12.5f}) {
        t = time;
        const float x[3] = {2.0f - (t * 11.0f * 0.0625f + 0.5f), float(4.5 - 1.375 * t),
                            float(0.005 - 13 * 0.25)};
        const std::vector<float> yz[3] = {{-0.5f, -2.0f}, {-0.5f, -5.0f}, {-0.505f, -2.0f * t}};
        for (int op = 0; op < 3; ++op) {
            glEnable(GL_BLEND);
            glEnable(GL_CULL_FACE);
            ops[op]();
            std::vector<int> state;
            for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_LIGHT1, GL_CULL_FACE, GL_BLEND, GL_TEXTURE_2D})
                state.push_back(glIsEnabled(cap));
            state.push_back(0);
            glGetIntegerv(GL_MATRIX_MODE, &state.back());
            EXPECT_EQ(state, std::vector<int>({1, 1, 1, 0, 0, 0, GL_MODELVIEW})) << "op " << op;
            std::vector<float> colour(4);
            glGetFloatv(GL_CURRENT_COLOR, colour.data());
            EXPECT_EQ(colour, op < 2 ? std::vector<float>({0.2f, 0.4f, 1.0f, 1.0f})
                                     : std::vector<float>({0.8f, 0.8f, 0.2f, 1.0f}));
            const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
            EXPECT_NEAR(m[12], x[op], op == 1 ? 1e-5 : 0.0) << "op " << op << " t " << t;
            EXPECT_EQ(std::vector<float>({m[13], m[14]}), yz[op]) << "op " << op << " t " << t;
        }
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(VoxelText, DrawsOverThePictureAfterClearingOnlyDepth)
{
    memset(fontGlyphs, 0xFF, sizeof fontGlyphs);
    glClearColor(1, 0, 0, 1);
    glClearDepth(0.0); // nothing would pass the depth test unless the text clears depth
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    drawCreditWord("er", 1.0f);
    const Rgba corner = readPixel(2, 2), centre = readPixel(310, 300); // the "e", left of the centre
    EXPECT_TRUE(corner.r == 255 && corner.g == 0);
    EXPECT_TRUE(centre.r > 0 && !(centre.r == 255 && centre.g == 0)) << int(centre.r) << " " << int(centre.g);
    EXPECT_EQ(takeGlError(), 0u);
}

// The font file missing, short and long.
TEST_F(FontFile, FillsWhatTheFileHoldsUpTo4096BytesAndReportsAMissingOne)
{
    const struct {
        long size; // -1: no file
        const char *printed;
    } cases[] = {{-1, "Oh shit: data\\images\\f1.fnt\ngah: 0\n"},
                 // Byte 128, the top row of glyph 8, printed unsigned: (128 * 13 + 5) & 255 = 133.
                 {200, "gah: 133\n"},
                 {5000, "gah: 133\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        remove("data/images/f1.fnt");
        if (c.size >= 0) {
            FILE *file = fopen("data/images/f1.fnt", "wb");
            for (long i = 0; i < c.size; ++i)
                fputc(int(i * 13 + 5) & 255, file);
            fclose(file);
        }
        memset(fontGlyphs, 0, sizeof fontGlyphs);
        testing::internal::CaptureStdout();
        loadFont();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        for (long i = 0; i < long(sizeof fontGlyphs); ++i)
            ASSERT_EQ(fontGlyphs[i], i < c.size ? uint8_t(i * 13 + 5) : 0) << i;
    }
}
