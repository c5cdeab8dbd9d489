#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "assets/meshes.h"
#include "effects/celshading.h"
#include "effects/meshscenes.h"
#include "media/music.h"
#include "support/gltest.h"
#include "support/scenefixture.h"

namespace {

struct Vec3 {
    double x, y, z;
};

// The current modelview applied to a point.
Vec3 transformPoint(const std::vector<float> &m, Vec3 p)
{
    return Vec3{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

void expectVector(const float *actual, const float *expected, int n, const char *what)
{
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(actual[i], expected[i]) << what << "[" << i << "]";
}

struct Move {
    void (*plain)(float);
    void (*flipped)(float);
    Vec3 (*eye)(double t);
    Vec3 (*centre)(double t);
};

const Move moves[4] = {
    {cameraSweepA, cameraSweepAFlipped, [](double t) { return Vec3{200, 200 + 100 * t, 200}; },
     [](double) { return Vec3{0, 0, 50}; }},
    {cameraSweepB, cameraSweepBFlipped,
     [](double t) { return Vec3{400 - 300 * t, 300 - 100 * t, 200}; },
     [](double) { return Vec3{200, 0, 50}; }},
    {cameraSweepC, cameraSweepCFlipped,
     [](double t) { return Vec3{400 - 300 * t, 300 - 100 * t, 50 + 64 * t}; },
     [](double t) { return Vec3{100 * t - 200, 300 * t - 300, 50}; }},
    {cameraSweepD, cameraSweepDFlipped, [](double t) { return Vec3{0, 300, 100 + 800 * t}; },
     [](double t) { return Vec3{100 + 60 * t, 40 * t, 50}; }},
};

// The shake's translation on a row, with the generator restarted from seed.
std::vector<float> shakeOffsets(int row, float amount, unsigned seed)
{
    srand(seed);
    musicRow = row;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    applyBeatShake(amount);
    std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
    return {m[12], m[13], m[14]};
}

int countPixels(const std::vector<uint8_t> &frame, bool (*match)(const uint8_t *))
{
    int n = 0;
    for (size_t i = 0; i < frame.size(); i += 4)
        n += match(&frame[i]) ? 1 : 0;
    return n;
}

} // namespace

TEST(SceneLighting, SetsTheProjectionLightMaterialAndCapabilities)
{
    openCelTestContext();
    for (int call = 0; call < 2; ++call) { // twice in a row leaves the same state as once
        glMatrixMode(GL_TEXTURE);
        setupSceneLighting();
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        const std::vector<float> p = readMatrix(GL_PROJECTION_MATRIX);
        const double f = 1.0 / tan(22.5 * M_PI / 180.0), n = 0.1, fa = 49900.0;
        EXPECT_NEAR(p[0], f * 3.0 / 4.0, 1e-5);
        EXPECT_NEAR(p[5], f, 1e-5);
        EXPECT_NEAR(p[10], (fa + n) / (n - fa), 1e-5);
        EXPECT_EQ(p[11], -1.0f);
        EXPECT_NEAR(p[14], 2 * fa * n / (n - fa), 1e-5);
        EXPECT_EQ(p[15], 0.0f);
        const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f);
        for (GLenum cap : {GL_CULL_FACE, GL_NORMALIZE, GL_LIGHTING, GL_DEPTH_TEST, GL_TEXTURE_2D,
                           GL_LIGHT1})
            EXPECT_TRUE(glIsEnabled(cap)) << cap;
        EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
        GLint cull = 0;
        glGetIntegerv(GL_CULL_FACE_MODE, &cull);
        EXPECT_EQ(cull, GL_BACK);
        float v[4];
        const float ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f}, diffuse[4] = {1.0f, 0.8f, 0.7f, 1.0f},
                    white[4] = {1, 1, 1, 1};
        glGetLightfv(GL_LIGHT1, GL_AMBIENT, v);
        expectVector(v, ambient, 4, "light ambient");
        glGetLightfv(GL_LIGHT1, GL_DIFFUSE, v);
        expectVector(v, diffuse, 4, "light diffuse");
        glGetLightfv(GL_LIGHT1, GL_SPECULAR, v);
        expectVector(v, white, 4, "light specular");
        glGetLightfv(GL_LIGHT1, GL_POSITION, v);
        expectVector(v, white, 4, "light position (eye space)");
        const float matDiffuse[4] = {1, 1, 1, 0.2f}, matAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f},
                    matSpecular[4] = {1, 1, 1, 0.5f};
        for (GLenum face : {GL_FRONT, GL_BACK}) {
            glGetMaterialfv(face, GL_DIFFUSE, v);
            expectVector(v, matDiffuse, 4, "material diffuse");
            glGetMaterialfv(face, GL_AMBIENT, v);
            expectVector(v, matAmbient, 4, "material ambient");
            glGetMaterialfv(face, GL_SPECULAR, v);
            expectVector(v, matSpecular, 4, "material specular");
            glGetMaterialfv(face, GL_SHININESS, v);
            EXPECT_EQ(v[0], 8.0f);
        }
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(CameraMoves, LookFromTheirEyeAtTheirCentreWithZUp)
{
    openCelTestContext();
    for (const Move &move : moves) {
        for (float t : {0.0f, 0.5f, 1.0f, 2.0f, 3.7f}) {
            move.plain(t);
            const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
            const Vec3 eye = move.eye(t), centre = move.centre(t);
            const Vec3 e = transformPoint(m, eye);
            EXPECT_NEAR(e.x, 0, 1e-2);
            EXPECT_NEAR(e.y, 0, 1e-2);
            EXPECT_NEAR(e.z, 0, 1e-2);
            const double distance = std::sqrt((centre.x - eye.x) * (centre.x - eye.x) +
                                              (centre.y - eye.y) * (centre.y - eye.y) +
                                              (centre.z - eye.z) * (centre.z - eye.z));
            const Vec3 c = transformPoint(m, centre);
            EXPECT_NEAR(c.x, 0, 1e-2);
            EXPECT_NEAR(c.y, 0, 1e-2);
            EXPECT_NEAR(c.z, -distance, 1e-2 * distance);
            // World up (+Z) appears upwards on the screen.
            const Vec3 above = transformPoint(m, Vec3{eye.x, eye.y, eye.z + 100});
            EXPECT_NEAR(above.x, 0, 1e-2);
            EXPECT_GT(above.y, 0);
            // The flipped twin is the same view turned by 180 degrees about the line of sight.
            move.flipped(t);
            const std::vector<float> f = readMatrix(GL_MODELVIEW_MATRIX);
            for (int column = 0; column < 4; ++column) {
                EXPECT_NEAR(f[4 * column], -m[4 * column], 1e-4);
                EXPECT_NEAR(f[4 * column + 1], -m[4 * column + 1], 1e-4);
                EXPECT_NEAR(f[4 * column + 2], m[4 * column + 2], 1e-4);
                EXPECT_EQ(f[4 * column + 3], m[4 * column + 3]);
            }
        }
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(CameraMoves, StartFromTheSceneSetUp)
{
    openCelTestContext();
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    cameraSweepDFlipped(1.0f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(readMatrix(GL_PROJECTION_MATRIX)[11], -1.0f);
    // cameraSweepD at t = 1: eye (0, 300, 900), centre (160, 40, 50).
    cameraSweepD(1.0f);
    const Vec3 e = transformPoint(readMatrix(GL_MODELVIEW_MATRIX), Vec3{0, 300, 900});
    EXPECT_NEAR(e.z, 0, 1e-2);
}

TEST(BeatShake, GrowsTowardsEverySixteenthRowWhateverTheAmount)
{
    openCelTestContext();
    const struct {
        int row;
        float size;
    } rows[] = {{0, 1}, {16, 1}, {48, 1}, {8, 2}, {15, 16}, {31, 16}};
    for (const auto &r : rows) {
        for (unsigned seed = 1; seed < 40; ++seed) {
            srand(seed);
            const int r1 = rand(), r2 = rand(), r3 = rand(), r4 = rand();
            const std::vector<float> offsets = shakeOffsets(r.row, 60.0f, seed);
            // Exactly three values drawn.
            EXPECT_EQ(rand(), r4);
            const float half = r.size * 0.5f;
            const int draws[3] = {r1, r2, r3};
            for (int i = 0; i < 3; ++i) {
                EXPECT_GE(offsets[i], -half);
                EXPECT_LT(offsets[i], half);
                // Steps of size / 1000 from -half, indexed by the draw modulo 1000.
                EXPECT_NEAR((offsets[i] + half) / (r.size / 1000.0f), draws[i] % 1000, 1e-2);
            }
            EXPECT_EQ(shakeOffsets(r.row, 1.0f, seed), offsets) << "row " << r.row;
            EXPECT_EQ(shakeOffsets(r.row, 7.5f, seed), offsets) << "row " << r.row;
        }
    }
    // The shake multiplies onto the current matrix rather than replacing it.
    srand(3);
    musicRow = 0;
    glLoadIdentity();
    glTranslatef(100, 200, 300);
    applyBeatShake(60);
    const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
    EXPECT_NEAR(m[12], 100, 0.5);
    EXPECT_NEAR(m[13], 200, 0.5);
    EXPECT_NEAR(m[14], 300, 0.5);
    musicRow = -1;
}

TEST(GroundPlane, DrawsGreenUnlitUntexturedFromAbove)
{
    openCelTestContext();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cameraSweepA(0);
    drawGroundPlane();
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    float color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    const float green[4] = {0.2f, 0.8f, 0.4f, 1.0f};
    expectVector(color, green, 4, "colour");
    const Rgba p = readPixel(400, 20);
    EXPECT_EQ(p.r, 51);
    EXPECT_EQ(p.g, 204);
    EXPECT_EQ(p.b, 102);
    // Seen from below with back faces culled, it vanishes.
    cameraSweepA(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glTranslatef(0, 0, 500);
    drawGroundPlane();
    EXPECT_EQ(readPixel(400, 300).g, 0);
    EXPECT_EQ(takeGlError(), 0u);
}

class TreeField : public ::testing::Test {
protected:
    static void SetUpTestSuite() { installFixtureScenes(); }
    void TearDown() override { celImmediateMode = false; }
};

TEST_F(TreeField, LeavesNoProgramNoLightingNoTexturingNoCullingAndBlack)
{
    glEnable(GL_TEXTURE_2D);
    cameraSweepA(0);
    drawTreeField();
    GLhandleARB program = glGetHandleARB(GL_PROGRAM_OBJECT_ARB);
    EXPECT_EQ(program, 0u);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    float color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    const float black[4] = {0, 0, 0, 1};
    expectVector(color, black, 4, "colour");
    // The brown preset was the last one applied.
    EXPECT_EQ(celLightPosition[0], 200.0f);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(TreeField, DrawsGreenFoliageAndBrownTrunksAtTheirPositions)
{
    float saved[treeCount][2];
    std::copy(&treePositions[0][0], &treePositions[0][0] + 2 * treeCount, &saved[0][0]);
    // On the line of sight of cameraSweepC at t = 0, which looks level at height 50.
    for (auto &position : treePositions) {
        position[0] = 100;
        position[1] = 0;
    }
    treePositions[1][0] = 3000; // one tree far to the side, out of sight
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cameraSweepC(0);
    drawTreeField();
    std::copy(&saved[0][0], &saved[0][0] + 2 * treeCount, &treePositions[0][0]);
    const Rgba centre = readPixel(400, 300);
    EXPECT_EQ(centre.r, 0);
    EXPECT_EQ(centre.b, 0);
    EXPECT_TRUE(centre.g == 127 || centre.g == 191 || centre.g == 255) << int(centre.g);
    const std::vector<uint8_t> frame = readFrameTopDown();
    const int brown = countPixels(frame, [](const uint8_t *p) {
        return p[0] > p[1] && p[1] > p[2] && p[2] > 0 && p[0] < 100;
    });
    EXPECT_GT(brown, 50);
}

TEST_F(TreeField, CompiledMeshesDrawTheSamePixelsAsImmediateMode)
{
    auto render = [](bool immediate, float t) {
        celImmediateMode = immediate;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        cameraSweepC(t);
        drawTreeField();
        return readFrameTopDown();
    };
    for (float t : {0.0f, 1.5f, 4.0f}) {
        const std::vector<uint8_t> immediate = render(true, t);
        EXPECT_TRUE(render(false, t) == immediate) << "t = " << t;
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(TreeField, DenseAndSparseFieldsDrawTheSamePixelsOnBothPaths)
{
    // Trees packed closer than their size overlap on screen in long chains; a few far apart do not.
    float saved[treeCount][2];
    std::copy(&treePositions[0][0], &treePositions[0][0] + 2 * treeCount, &saved[0][0]);
    for (int i = 0; i < treeCount; ++i) {
        treePositions[i][0] = float((i % 20) * 45 - 450);
        treePositions[i][1] = float((i / 20) * 45 - 450);
    }
    for (int i = 390; i < treeCount; ++i)
        treePositions[i][0] += 3000.0f;
    auto render = [](bool immediate, void (*move)(float), float t) {
        celImmediateMode = immediate;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        move(t);
        drawTreeField();
        return readFrameTopDown();
    };
    for (const Move &move : moves)
        for (float t : {0.0f, 1.0f, 2.5f})
            EXPECT_TRUE(render(false, move.plain, t) == render(true, move.plain, t)) << "t = " << t;
    std::copy(&saved[0][0], &saved[0][0] + 2 * treeCount, &treePositions[0][0]);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(TreeField, PlacingManyLeavesTheStateOfPlacingOneByOne)
{
    // Seen, and wholly out of sight (moved far behind the camera): the same state either way.
    for (float behind : {0.0f, 1.0f}) {
        std::vector<std::vector<float>> states;
        for (bool immediate : {true, false}) {
            celImmediateMode = immediate;
            cameraSweepA(0.5f);
            glTranslatef(behind * 1e6f, behind * 1e6f, 0);
            glColor4f(0.5f, 0.5f, 0.5f, 0.5f);
            glNormal3f(9, 9, 9);
            glTexCoord2f(7, 7);
            setCelPresetGreen();
            drawCelMeshAt(meshGroups[4].first + 1, treePositions, treeCount);
            std::vector<float> s(16);
            glGetFloatv(GL_CURRENT_COLOR, &s[0]);
            glGetFloatv(GL_CURRENT_NORMAL, &s[4]);
            glGetFloatv(GL_CURRENT_TEXTURE_COORDS, &s[7]);
            glGetFloatv(GL_LINE_WIDTH, &s[11]);
            glGetFloatv(GL_POINT_SIZE, &s[12]);
            GLint v[4];
            glGetIntegerv(GL_CULL_FACE_MODE, &v[0]);
            glGetIntegerv(GL_POLYGON_MODE, &v[1]);
            glGetIntegerv(GL_TEXTURE_BINDING_1D, &v[3]);
            s[13] = float(v[0] + v[2] + v[3]);
            s[14] = float(glGetHandleARB(GL_PROGRAM_OBJECT_ARB));
            s[15] = float(glIsEnabled(GL_CULL_FACE) + 2 * glIsEnabled(GL_TEXTURE_1D) +
                          4 * glIsEnabled(GL_LIGHTING) + 8 * glIsEnabled(GL_TEXTURE_2D));
            const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
            s.insert(s.end(), m.begin(), m.end());
            states.push_back(s);
        }
        EXPECT_EQ(states[0], states[1]) << "behind " << behind;
    }
    EXPECT_EQ(takeGlError(), 0u);
}
