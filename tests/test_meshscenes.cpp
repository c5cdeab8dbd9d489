#include <GL/glew.h>
#include <GL/glu.h>
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

Vec3 transformPoint(const std::vector<float> &m, Vec3 p)
{
    return Vec3{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

struct Move {
    void (*plain)(float);
    void (*flipped)(float);
    Vec3 (*eye)(double t);
    Vec3 (*centre)(double t);
} const moves[4] = {
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
    const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
    return {m[12], m[13], m[14]};
}

} // namespace

TEST(SceneLighting, SetsTheProjectionLightMaterialAndCapabilities)
{
    openCelTestContext();
    glMatrixMode(GL_TEXTURE);
    setupSceneLighting();
    GLint mode = 0, cull = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    const std::vector<float> p = readMatrix(GL_PROJECTION_MATRIX);
    const double f = 1.0 / tan(22.5 * M_PI / 180.0), n = 0.1, fa = 49900.0;
    EXPECT_NEAR(p[0], f * 3.0 / 4.0, 1e-5);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[10], (fa + n) / (n - fa), 1e-5);
    EXPECT_NEAR(p[14], 2 * fa * n / (n - fa), 1e-5);
    EXPECT_EQ(p[11], -1.0f);
    for (GLenum cap :
         {GL_CULL_FACE, GL_NORMALIZE, GL_LIGHTING, GL_DEPTH_TEST, GL_TEXTURE_2D, GL_LIGHT1})
        EXPECT_TRUE(glIsEnabled(cap)) << cap;
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    EXPECT_EQ(cull, GL_BACK);
    // Light 1 (ambient, diffuse, specular, eye-space position), then the material of both faces.
    std::vector<float> read;
    auto add = [&read](auto get, GLenum target, GLenum name) {
        float v[4] = {0, 0, 0, 0};
        get(target, name, v);
        read.insert(read.end(), v, v + 4);
    };
    for (GLenum name : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_POSITION})
        add(glGetLightfv, GL_LIGHT1, name);
    for (GLenum face : {GL_FRONT, GL_BACK})
        for (GLenum name : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_SHININESS})
            add(glGetMaterialfv, face, name);
    const std::vector<float> material = {0.2f, 0.2f, 0.2f, 1, 1, 1, 1, 0.2f,
                                         1, 1, 1, 0.5f, 8, 0, 0, 0};
    std::vector<float> expected = {0.5f, 0.5f, 0.5f, 1, 1, 0.8f, 0.7f, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int face = 0; face < 2; ++face)
        expected.insert(expected.end(), material.begin(), material.end());
    EXPECT_EQ(read, expected);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(CameraMoves, StartFromTheSceneSetUpAndLookFromTheirEyeAtTheirCentreWithZUp)
{
    openCelTestContext();
    for (const Move &move : moves) {
        for (float t : {0.0f, 0.5f, 1.0f, 3.7f}) {
            glDisable(GL_LIGHTING);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            move.plain(t);
            EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
            EXPECT_EQ(readMatrix(GL_PROJECTION_MATRIX)[11], -1.0f);
            const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
            const Vec3 eye = move.eye(t), centre = move.centre(t);
            const Vec3 e = transformPoint(m, eye), c = transformPoint(m, centre);
            const double distance =
                std::hypot(centre.x - eye.x, centre.y - eye.y, centre.z - eye.z);
            EXPECT_NEAR(std::hypot(e.x, e.y, e.z), 0, 1e-2) << "t " << t;
            EXPECT_NEAR(std::hypot(c.x, c.y), 0, 1e-2) << "t " << t;
            EXPECT_NEAR(c.z, -distance, 1e-2 * distance);
            // World up (+Z) appears upwards on the screen.
            const Vec3 above = transformPoint(m, Vec3{eye.x, eye.y, eye.z + 100});
            EXPECT_NEAR(above.x, 0, 1e-2);
            EXPECT_GT(above.y, 0);
            // The flipped twin: the same view turned by 180 degrees about the line of sight.
            move.flipped(t);
            const std::vector<float> f = readMatrix(GL_MODELVIEW_MATRIX);
            for (int i = 0; i < 16; ++i)
                EXPECT_NEAR(f[i], i % 4 < 2 ? -m[i] : m[i], 1e-4) << "t " << t << " [" << i << "]";
        }
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(BeatShake, GrowsTowardsEverySixteenthRowWhateverTheAmount)
{
    openCelTestContext();
    const std::pair<int, float> rows[] = {{0, 1}, {16, 1}, {8, 2}, {15, 16}, {31, 16}};
    for (const auto &r : rows) {
        for (unsigned seed = 1; seed < 8; ++seed) {
            srand(seed);
            const int draws[3] = {rand(), rand(), rand()}, fourth = rand();
            const std::vector<float> offsets = shakeOffsets(r.first, 60.0f, seed);
            EXPECT_EQ(rand(), fourth); // exactly three values drawn
            const float half = r.second * 0.5f;
            for (int i = 0; i < 3; ++i) {
                // Steps of A / 1000 from -A / 2, indexed by the draw modulo 1000.
                EXPECT_NEAR((offsets[i] + half) / (r.second / 1000.0f), draws[i] % 1000, 1e-2);
                EXPECT_LT(offsets[i], half);
            }
            EXPECT_EQ(shakeOffsets(r.first, 1.0f, seed), offsets) << "row " << r.first;
            EXPECT_EQ(shakeOffsets(r.first, 7.5f, seed), offsets) << "row " << r.first;
        }
    }
    // Multiplied onto the current matrix, not replacing it.
    musicRow = 0;
    glLoadIdentity();
    glTranslatef(100, 200, 300);
    applyBeatShake(60);
    const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
    EXPECT_NEAR(m[12] + m[13] + m[14], 600, 1.5);
    musicRow = -1;
}

TEST(GroundPlane, DrawsGreenUnlitUntexturedAndOnlyFromAbove)
{
    openCelTestContext();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cameraSweepA(0);
    drawGroundPlane();
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    const Rgba p = readPixel(400, 20);
    EXPECT_EQ(p.r * 65536 + p.g * 256 + p.b, 51 * 65536 + 204 * 256 + 102);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0, 0, -200, 0, 0, 0, 0, 1, 0); // from below, facing its back: culled
    drawGroundPlane();
    EXPECT_EQ(readPixel(400, 300).g, 0);
    EXPECT_EQ(takeGlError(), 0u);
}

class TreeField : public ::testing::Test {
protected:
    static void SetUpTestSuite() { installFixtureScenes(); }
    void TearDown() override { celImmediateMode = false; }
};

TEST_F(TreeField, LeavesTheSameDocumentedStateOnBothPathsSeenOrNot)
{
    // Moved far away, every tree is left out by the shipped path: the state must still match.
    for (float away : {0.0f, 1e6f}) {
        std::vector<float> states[2];
        for (bool immediate : {true, false}) {
            celImmediateMode = immediate;
            cameraSweepA(0.5f);
            glTranslatef(away, away, 0);
            glNormal3f(9, 9, 9);
            glTexCoord2f(7, 7);
            drawTreeField();
            EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
            for (GLenum cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_CULL_FACE, GL_TEXTURE_1D})
                EXPECT_FALSE(glIsEnabled(cap)) << cap;
            EXPECT_EQ(celLightPosition[0], 200.0f); // brown, the trunks, last
            std::vector<float> &s = states[immediate];
            s.resize(11);
            glGetFloatv(GL_CURRENT_COLOR, &s[0]);
            glGetFloatv(GL_CURRENT_NORMAL, &s[4]);
            glGetFloatv(GL_CURRENT_TEXTURE_COORDS, &s[7]);
            EXPECT_EQ(std::vector<float>(s.begin(), s.begin() + 4),
                      std::vector<float>({0, 0, 0, 1}));
            const std::vector<float> m = readMatrix(GL_MODELVIEW_MATRIX);
            s.insert(s.end(), m.begin(), m.end());
        }
        EXPECT_EQ(states[0], states[1]) << "away " << away;
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(TreeField, DrawsGreenFoliageAndBrownTrunksAtTheirPositions)
{
    float saved[treeCount][2];
    std::copy(&treePositions[0][0], &treePositions[0][0] + 2 * treeCount, &saved[0][0]);
    for (auto &position : treePositions) { // on cameraSweepC's level line of sight at t = 0
        position[0] = 100;
        position[1] = 0;
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cameraSweepC(0);
    drawTreeField();
    std::copy(&saved[0][0], &saved[0][0] + 2 * treeCount, &treePositions[0][0]);
    const Rgba centre = readPixel(400, 300);
    EXPECT_EQ(centre.r + centre.b, 0);
    EXPECT_TRUE(centre.g == 127 || centre.g == 191 || centre.g == 255) << int(centre.g);
    const std::vector<uint8_t> f = readFrameTopDown();
    int brown = 0;
    for (size_t i = 0; i < f.size(); i += 4)
        brown += f[i] > f[i + 1] && f[i + 1] > f[i + 2] && f[i + 2] > 0 && f[i] < 100;
    EXPECT_GT(brown, 50);
}
