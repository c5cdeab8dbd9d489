#include <GL/glew.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "assets/textures.h"
#include "effects/celshading.h"
#include "effects/meshscenes.h"
#include "effects/overlays.h"
#include "support/gltest.h"
#include "support/process.h"
#include "support/scenefixture.h"

namespace {

std::vector<float> readUniform(const char *name)
{
    std::vector<float> values(4, -99.0f);
    glGetUniformfvARB(celProgram, glGetUniformLocationARB(celProgram, name), values.data());
    return values;
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

// readTextFile's content reaches the shaders every GL test builds; here its failures, and sources
// that do not compile or link: each stops start-up with one line and status 1.
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

TEST(CelPresets, LoadTheirVectorsKeepAlphaAndWAndSendBoth)
{
    openCelTestContext();
    const struct {
        void (*apply)();
        std::vector<float> light, color;
    } presets[] = {
        {setCelPresetGreen, {1000, 1000, 10, 0}, {0, 1, 0, 1}},
        {setCelPresetBrown, {200, 200, 200, 0}, {0.355f, 0.218f, 0.039f, 1}},
        {setCelPresetRose, {1000, 1000, 10, 0}, {0.86f, 0.332f, 0.375f, 1}},
    };
    for (const auto &preset : presets) {
        glUseProgramObjectARB(0);
        preset.apply();
        EXPECT_EQ(glGetHandleARB(GL_PROGRAM_OBJECT_ARB), celProgram);
        EXPECT_EQ(std::vector<float>(celLightPosition, celLightPosition + 4), preset.light);
        EXPECT_EQ(std::vector<float>(celColor, celColor + 4), preset.color);
        EXPECT_EQ(readUniform("light_position"), preset.light);
        EXPECT_EQ(readUniform("color"), preset.color);
    }
    glUseProgramObjectARB(0);
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
