// The cel shading and the 3D scenes in a real Mesa context: the shader and its ramp, the state a
// mesh leaves, view culling, the scene set-up, camera moves, shake, ground plane and tree field.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "assets/meshes.h"
#include "assets/textures.h"
#include "effects/celshading.h"
#include "effects/meshscenes.h"
#include "effects/overlays.h"
#include "media/music.h"
#include "support/gltest.h"
#include "support/process.h"
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

// The ramp texel at s, read through a window-filling quad with lighting and shading off.
int sampleRamp(float s)
{
    glUseProgramObjectARB(0);
    setOrthoProjection();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, toonRampTexture);
    glColor4f(1, 1, 1, 1);
    glTexCoord1f(s); // glRectf's corners all take the current coordinate
    glRectf(0, 0, 1, 1);
    glDisable(GL_TEXTURE_1D);
    return readPixel(400, 300).r;
}

} // namespace

TEST(SceneLighting, SetsTheProjectionAndCapabilities)
{
    openCelTestContext();
    glMatrixMode(GL_TEXTURE);
    setupSceneLighting();
    GLint mode = 0, cull = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    const std::vector<float> p = readMatrix(GL_PROJECTION_MATRIX); // a perspective for the 4:3 window
    EXPECT_TRUE(p[11] == -1.0f && std::fabs(p[0] / p[5] - 0.75) < 1e-6) << p[0] << " " << p[5];
    for (GLenum cap :
         {GL_CULL_FACE, GL_NORMALIZE, GL_LIGHTING, GL_DEPTH_TEST, GL_TEXTURE_2D, GL_LIGHT1})
        EXPECT_TRUE(glIsEnabled(cap)) << cap;
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    EXPECT_EQ(cull, GL_BACK);
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
            const double distance = std::hypot(centre.x - eye.x, centre.y - eye.y, centre.z - eye.z);
            EXPECT_NEAR(std::hypot(e.x, e.y, e.z), 0, 1e-2) << "t " << t;
            EXPECT_NEAR(std::hypot(c.x, c.y), 0, 1e-2) << "t " << t;
            EXPECT_NEAR(c.z, -distance, 1e-2 * distance);
            // World up (+Z) appears upwards on the screen.
            const Vec3 above = transformPoint(m, Vec3{eye.x, eye.y, eye.z + 100});
            EXPECT_TRUE(std::fabs(above.x) < 1e-2 && above.y > 0) << above.x << " " << above.y;
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
    musicRow = -1;
}

TEST(GroundPlane, DrawsGreenUnlitUntexturedAndOnlyFromAbove)
{
    openCelTestContext();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cameraSweepA(0);
    drawGroundPlane();
    EXPECT_TRUE(!glIsEnabled(GL_LIGHTING) && !glIsEnabled(GL_TEXTURE_2D));
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
            std::vector<float> &s = states[immediate];
            s.resize(11);
            glGetFloatv(GL_CURRENT_COLOR, &s[0]);
            glGetFloatv(GL_CURRENT_NORMAL, &s[4]);
            glGetFloatv(GL_CURRENT_TEXTURE_COORDS, &s[7]);
            for (GLenum cap : {GL_LIGHTING, GL_TEXTURE_2D, GL_CULL_FACE, GL_TEXTURE_1D})
                s.push_back(glIsEnabled(cap));
            s.insert(s.end(), {float(glGetHandleARB(GL_PROGRAM_OBJECT_ARB)), celLightPosition[0]});
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

// Shader sources missing, empty, not compiling or not linking: each stops start-up with one line
// and status 1.
TEST(CelStartUpDeathTest, BrokenShaderSourcesStopWithOneLineAndStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // each child opens a display of its own
    EXPECT_EQ(readTextFile(nullptr), nullptr);
    const std::string sources = std::string(SHOW_SOURCE_DIR) + "/Data/Cg/";
    const std::string vs = readWholeFile(sources + "cel.vs"), fs = readWholeFile(sources + "cel.fs");
    const struct {
        const char *name;
        std::optional<std::string> vs, fs; // none: no Data/Cg at all
        const char *message;
    } cases[] = {
        {"missing", std::nullopt, std::nullopt, "Shader source Data.Cg.cel.vs missing or empty\n"},
        {"empty", "", "", "Shader source Data.Cg.cel.vs missing or empty\n"},
        {"vertex", "void main() { gl_Position = ; }\n", fs,
         "Cel shader: the vertex stage Data.Cg.cel.vs does not compile: [^\n]*error[^\n]*\n"},
        {"fragment", vs, "void main()\n{\n    gl_FragColor = vec4(1.0)\n}\n",
         "Cel shader: the fragment stage Data.Cg.cel.fs does not compile: [^\n]*error[^\n]*\n"},
        // Each stage compiles, but the vertex stage has no main.
        {"link", "void unused() {}\n", fs, "Cel shader: the program does not link: [^\n]*main[^\n]*\n"},
    };
    for (const auto &c : cases) {
        const std::string dir = std::string(SHOW_BINARY_DIR) + "/celcases/" + c.name;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        if (c.vs) {
            std::filesystem::create_directories(dir + "/Data/Cg");
            writeWholeFile(dir + "/Data/Cg/cel.vs", *c.vs);
            writeWholeFile(dir + "/Data/Cg/cel.fs", *c.fs);
        }
        EXPECT_EXIT(
            {
                if (chdir(dir.c_str()) != 0)
                    abort();
                openTestDisplay();
                buildCelProgram();
            },
            ::testing::ExitedWithCode(1), c.message)
            << c.name;
    }
}

TEST(ToonRamp, ReadsThreeBandsNearestAndClamped)
{
    openCelTestContext();
    makeToonRamp();
    const struct {
        float s;
        int value;
    } samples[] = {{0.1f, 127}, {3.0f / 16.0f, 191}, {0.3f, 191}, {0.5f, 255},
                   {0.99f, 255}, {-1.0f, 127},      {2.0f, 255}};
    for (const auto &sample : samples)
        EXPECT_EQ(sampleRamp(sample.s), sample.value) << "s = " << sample.s;
    EXPECT_EQ(takeGlError(), 0u);
}

class CelMesh : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        openCelTestContext();
        box = addBoxMesh(-60, -60, -60, 60, 60, 60);
    }
    void SetUp() override
    {
        setupSceneLighting();
        glTranslatef(0, 0, -400);
        glRotatef(-70, 1, 0, 0);
    }
    void TearDown() override { celImmediateMode = false; }
    static int box;
};

int CelMesh::box = 0;

TEST_F(CelMesh, LeavesItsDocumentedStateOnBothPaths)
{
    for (bool immediate : {false, true}) {
        celImmediateMode = immediate;
        glEnable(GL_BLEND);
        glPolygonMode(GL_FRONT, GL_LINE);
        const std::vector<float> modelview = readMatrix(GL_MODELVIEW_MATRIX);
        const std::vector<float> projection = readMatrix(GL_PROJECTION_MATRIX);
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_LIGHTING);
        glColor4f(0.3f, 0.4f, 0.5f, 0.6f);
        drawCelMesh(box);

        EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), 0u);
        for (GLenum cap : {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_LIGHTING, GL_CULL_FACE})
            EXPECT_FALSE(glIsEnabled(cap)) << cap;
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
        // Cull mode, polygon modes (front untouched), ramp binding; colour, line width, point size.
        GLint ints[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_CULL_FACE_MODE, &ints[0]);
        glGetIntegerv(GL_POLYGON_MODE, &ints[1]);
        glGetIntegerv(GL_TEXTURE_BINDING_1D, &ints[3]);
        EXPECT_EQ(std::vector<GLint>(ints, ints + 4),
                  std::vector<GLint>({GL_FRONT, GL_LINE, GL_FILL, 10}));
        std::vector<float> floats(6);
        glGetFloatv(GL_CURRENT_COLOR, &floats[0]);
        glGetFloatv(GL_LINE_WIDTH, &floats[4]);
        glGetFloatv(GL_POINT_SIZE, &floats[5]);
        EXPECT_EQ(floats, std::vector<float>({0, 0, 0, 1, 6, 16}));
        EXPECT_EQ(readMatrix(GL_MODELVIEW_MATRIX), modelview);
        EXPECT_EQ(readMatrix(GL_PROJECTION_MATRIX), projection);
        glPolygonMode(GL_FRONT, GL_FILL);
        glDisable(GL_BLEND);
        EXPECT_EQ(takeGlError(), 0u);
    }
}

TEST_F(CelMesh, ShadesInBandsOfTheColourWithABlackOutline)
{
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    setCelPresetGreen();
    drawCelMesh(box);
    const Rgba centre = readPixel(400, 300);
    EXPECT_EQ(centre.r + centre.b, 0);
    EXPECT_TRUE(centre.g == 127 || centre.g == 191 || centre.g == 255) << int(centre.g);
    // Walking right from the centre: green, a few pixels of black outline, then the white.
    int x = 400;
    while (x < 800 && readPixel(x, 300).g != 0)
        ++x;
    const int outlineStart = x;
    while (x < 800 && readPixel(x, 300).r == 0 && readPixel(x, 300).g == 0)
        ++x;
    EXPECT_GT(outlineStart, 420);
    EXPECT_GE(x - outlineStart, 2);
    EXPECT_LE(x - outlineStart, 6);
    EXPECT_EQ(readPixel(x, 300).r, 255);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(ViewCulling, ABoxIsOutsideOnlyWhenWhollyBeyondAPlaneAndItsMargin)
{
    openCelTestContext();
    // Identity matrices: clip space is object space and w = 1.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ClipTransform clip;
    readClipTransform(&clip);
    const struct {
        float low[3], high[3];
        bool outside;
    } boxes[] = {
        {{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}, false},
        {{1.05f, 0.0f, 0.0f}, {1.2f, 0.1f, 0.1f}, true},  // 20 pixels right of the window
        {{1.03f, 0.0f, 0.0f}, {1.2f, 0.1f, 0.1f}, false}, // 12 pixels: within the margin
        {{0.0f, -1.2f, 0.0f}, {0.1f, -1.06f, 0.1f}, true},
        {{0.0f, -1.2f, 0.0f}, {0.1f, -1.04f, 0.1f}, false},
        {{0.0f, 0.0f, -1.5f}, {0.1f, 0.1f, -1.01f}, true},
        {{0.0f, 0.0f, -1.5f}, {0.1f, 0.1f, -0.99f}, false},
        {{0.0f, 0.0f, 1.01f}, {0.1f, 0.1f, 1.5f}, true},
        {{-5.0f, -5.0f, -5.0f}, {5.0f, 5.0f, 5.0f}, false}, // straddles every plane
        {{1.5f, 1.5f, 0.0f}, {2.0f, 2.0f, 0.0f}, true},
    };
    for (const auto &b : boxes)
        EXPECT_EQ(isBoxOutsideView(clip, b.low, b.high), b.outside) << b.low[0] << " " << b.low[1];
}
