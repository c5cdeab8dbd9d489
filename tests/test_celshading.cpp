#include <GL/glew.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/meshes.h"
#include "assets/textures.h"
#include "effects/celshading.h"
#include "effects/meshscenes.h"
#include "effects/overlays.h"
#include "support/gltest.h"
#include "support/scenefixture.h"

namespace {

std::string writeTempFile(const char *name, const char *bytes, size_t size)
{
    std::string path = std::string(SHOW_BINARY_DIR) + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    fwrite(bytes, 1, size, file);
    fclose(file);
    return path;
}

std::vector<float> readUniform(GLhandleARB program, const char *name)
{
    std::vector<float> values(16, -99.0f);
    glGetUniformfvARB(program, glGetUniformLocationARB(program, name), values.data());
    return values;
}

GLhandleARB currentProgram()
{
    return glGetHandleARB(GL_PROGRAM_OBJECT_ARB);
}

// The ramp texel at s, read through a screen-filling quad with lighting and shading off.
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
    glBegin(GL_QUADS);
    glTexCoord1f(s);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(0, 1);
    glEnd();
    glDisable(GL_TEXTURE_1D);
    return readPixel(400, 300).r;
}

// The cel view of the test: the common 3D set-up looking at the origin from the front.
void lookAtOrigin()
{
    setupSceneLighting();
    glLoadIdentity();
    glTranslatef(0, 0, -400);
    glRotatef(-70, 1, 0, 0);
}

} // namespace

TEST(ReadTextFile, YieldsNoneForNoPathMissingOrEmptyFiles)
{
    EXPECT_EQ(readTextFile(nullptr), nullptr);
    EXPECT_EQ(readTextFile("no\\such\\file.txt"), nullptr);
    const std::string empty = writeTempFile("empty.txt", "", 0);
    EXPECT_EQ(readTextFile(empty.c_str()), nullptr);
}

TEST(ReadTextFile, ReadsTheWholeFileWithATerminatingNul)
{
    const char bytes[] = "line one\r\nline two\n";
    const std::string path = writeTempFile("text.txt", bytes, sizeof bytes - 1);
    char *text = readTextFile(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, bytes);
    free(text);
}

TEST(CelStartUp, MissingShaderSourceStopsWithStatusOne)
{
    const std::string dir = std::string(SHOW_BINARY_DIR) + "/noshaders";
    EXPECT_EXIT(
        {
            mkdir(dir.c_str(), 0755);
            if (chdir(dir.c_str()) != 0)
                abort();
            buildCelProgram();
        },
        ::testing::ExitedWithCode(1), "Data.Cg.cel.vs");
}

TEST(CelStartUp, EmptyShaderSourceStopsWithStatusOne)
{
    const std::string dir = std::string(SHOW_BINARY_DIR) + "/emptyshader";
    EXPECT_EXIT(
        {
            mkdir(dir.c_str(), 0755);
            mkdir((dir + "/Data").c_str(), 0755);
            mkdir((dir + "/Data/Cg").c_str(), 0755);
            fclose(fopen((dir + "/Data/Cg/cel.vs").c_str(), "w"));
            fclose(fopen((dir + "/Data/Cg/cel.fs").c_str(), "w"));
            if (chdir(dir.c_str()) != 0)
                abort();
            buildCelProgram();
        },
        ::testing::ExitedWithCode(1), "Data.Cg.cel.vs");
}

TEST(CelStartUp, InitLinksTheProgramAndLeavesTheRampBound)
{
    openCelTestContext();
    ASSERT_NE(celProgram, 0u);
    GLint linked = 0;
    glGetObjectParameterivARB(celProgram, GL_OBJECT_LINK_STATUS_ARB, &linked);
    EXPECT_EQ(linked, 1);
    EXPECT_GE(glGetUniformLocationARB(celProgram, "color"), 0);
    EXPECT_GE(glGetUniformLocationARB(celProgram, "light_position"), 0);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(ToonRamp, ReadsThreeBandsNearestAndClamped)
{
    openCelTestContext();
    makeToonRamp();
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
    EXPECT_EQ(bound, 10);
    const struct {
        float s;
        int value;
    } samples[] = {{0.1f, 127}, {3.0f / 16.0f, 191}, {0.3f, 191}, {0.5f, 255},
                   {0.99f, 255}, {-1.0f, 127},      {2.0f, 255}};
    for (const auto &sample : samples)
        EXPECT_EQ(sampleRamp(sample.s), sample.value) << "s = " << sample.s;
    GLint filter = 0, wrap = 0;
    glBindTexture(GL_TEXTURE_1D, toonRampTexture);
    glGetTexParameteriv(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST(SetUniform, SendsOneValueOfEachKindAndNothingForOthers)
{
    openCelTestContext();
    const GLcharARB *source = "uniform vec2 a; uniform vec3 b; uniform vec4 c; uniform mat3 d;"
                              "uniform mat4 e; uniform float f;"
                              "void main() { gl_FragColor = vec4(a, b.x, c.y) + d[0].xyzz"
                              " + e[1] + vec4(f); }";
    GLhandleARB program = glCreateProgramObjectARB();
    GLhandleARB shader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    glShaderSourceARB(shader, 1, &source, nullptr);
    glCompileShaderARB(shader);
    glAttachObjectARB(program, shader);
    glLinkProgramARB(program);
    glUseProgramObjectARB(program);
    float values[16];
    for (int i = 0; i < 16; ++i)
        values[i] = float(i + 1);
    const struct {
        const char *name;
        int kind;
    } uniforms[] = {{"a", 2}, {"b", 3}, {"c", 4}, {"d", 9}, {"e", 16}};
    for (const auto &uniform : uniforms) {
        setUniform(glGetUniformLocationARB(program, uniform.name), uniform.kind, values);
        std::vector<float> read = readUniform(program, uniform.name);
        for (int i = 0; i < uniform.kind; ++i)
            EXPECT_EQ(read[i], values[i]) << uniform.name << "[" << i << "]";
    }
    const GLint f = glGetUniformLocationARB(program, "f");
    for (int kind : {1, 5, 8})
        setUniform(f, kind, values);
    EXPECT_EQ(readUniform(program, "f")[0], 0.0f);
    EXPECT_EQ(takeGlError(), 0u);
    glUseProgramObjectARB(0);
}

TEST(CelPresets, LoadTheirVectorsKeepAlphaAndWAndSendBoth)
{
    openCelTestContext();
    const struct {
        void (*apply)();
        float light[3];
        float color[3];
    } presets[] = {
        {setCelPresetGreen, {1000, 1000, 10}, {0, 1, 0}},
        {setCelPresetBrown, {200, 200, 200}, {0.355f, 0.218f, 0.039f}},
        {setCelPresetRose, {1000, 1000, 10}, {0.86f, 0.332f, 0.375f}},
    };
    for (const auto &preset : presets) {
        glUseProgramObjectARB(0);
        preset.apply();
        EXPECT_EQ(currentProgram(), celProgram);
        std::vector<float> color = readUniform(celProgram, "color");
        std::vector<float> light = readUniform(celProgram, "light_position");
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(celLightPosition[i], preset.light[i]);
            EXPECT_EQ(celColor[i], preset.color[i]);
            EXPECT_EQ(light[i], preset.light[i]);
            EXPECT_EQ(color[i], preset.color[i]);
        }
        EXPECT_EQ(celColor[3], 1.0f);
        EXPECT_EQ(celLightPosition[3], 0.0f);
        EXPECT_EQ(color[3], 1.0f);
        EXPECT_EQ(light[3], 0.0f);
    }
    // Two in a row: the second one's values are in force.
    setCelPresetBrown();
    setCelPresetGreen();
    EXPECT_EQ(readUniform(celProgram, "color")[1], 1.0f);
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
    void SetUp() override { celImmediateMode = false; }
    void TearDown() override { celImmediateMode = false; }
    static int box;
};

int CelMesh::box = 0;

TEST_F(CelMesh, LeavesItsDocumentedState)
{
    for (bool immediate : {false, true}) {
        celImmediateMode = immediate;
        lookAtOrigin();
        glEnable(GL_BLEND);
        glPolygonMode(GL_FRONT, GL_LINE);
        const std::vector<float> modelview = readMatrix(GL_MODELVIEW_MATRIX);
        const std::vector<float> projection = readMatrix(GL_PROJECTION_MATRIX);
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_LIGHTING);
        glColor4f(0.3f, 0.4f, 0.5f, 0.6f);
        drawCelMesh(box);

        EXPECT_EQ(currentProgram(), 0u);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_1D));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
        GLint value = 0;
        glGetIntegerv(GL_CULL_FACE_MODE, &value);
        EXPECT_EQ(value, GL_FRONT);
        GLint modes[2] = {0, 0};
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], GL_LINE); // front mode untouched
        EXPECT_EQ(modes[1], GL_FILL);
        float color[4];
        glGetFloatv(GL_CURRENT_COLOR, color);
        EXPECT_EQ(color[0], 0.0f);
        EXPECT_EQ(color[1], 0.0f);
        EXPECT_EQ(color[2], 0.0f);
        EXPECT_EQ(color[3], 1.0f);
        float width = 0, size = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        glGetFloatv(GL_POINT_SIZE, &size);
        EXPECT_EQ(width, 6.0f);
        EXPECT_EQ(size, 16.0f);
        glGetIntegerv(GL_TEXTURE_BINDING_1D, &value);
        EXPECT_EQ(value, 10);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
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
    lookAtOrigin();
    setCelPresetGreen();
    drawCelMesh(box);
    // Inside the box: green only, in one of the ramp's bands.
    const Rgba centre = readPixel(400, 300);
    EXPECT_EQ(centre.r, 0);
    EXPECT_EQ(centre.b, 0);
    EXPECT_TRUE(centre.g == 127 || centre.g == 191 || centre.g == 255) << int(centre.g);
    // Walking right from the centre: green, then a few pixels of black outline, then the white.
    int x = 400;
    while (x < 800 && readPixel(x, 300).g != 0)
        ++x;
    const int outlineStart = x;
    while (x < 800 && readPixel(x, 300).r == 0 && readPixel(x, 300).g == 0)
        ++x;
    const int outlineWidth = x - outlineStart;
    EXPECT_GT(outlineStart, 420);
    EXPECT_GE(outlineWidth, 2);
    EXPECT_LE(outlineWidth, 6);
    const Rgba outside = readPixel(x, 300);
    EXPECT_EQ(outside.r, 255);
    EXPECT_EQ(outside.g, 255);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(CelMesh, CompiledMeshesDrawTheSamePixelsAsImmediateMode)
{
    auto render = [&](bool immediate) {
        celImmediateMode = immediate;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        lookAtOrigin();
        glRotatef(30, 0, 0, 1);
        setCelPresetRose();
        drawCelMesh(box);
        glTranslatef(70, 20, 30);
        setCelPresetBrown();
        drawCelMesh(box);
        glUseProgramObjectARB(0);
        return readFrameTopDown();
    };
    const std::vector<uint8_t> immediate = render(true);
    const std::vector<uint8_t> compiled = render(false);
    const std::vector<uint8_t> compiledAgain = render(false);
    EXPECT_TRUE(immediate == compiled);
    EXPECT_TRUE(compiled == compiledAgain);
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(CelMesh, MeshesAtTheEdgesOfTheViewDrawTheSamePixelsOnBothPaths)
{
    // Slide the box across the right edge, the top edge and through the near plane: wherever the
    // shipped path leaves a mesh out, the immediate path must not have drawn a pixel of it either.
    auto render = [&](bool immediate, float x, float y, float z) {
        celImmediateMode = immediate;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setupSceneLighting();
        glTranslatef(x, y, z);
        glRotatef(35, 1, 1, 0);
        setCelPresetGreen();
        drawCelMesh(box);
        glUseProgramObjectARB(0);
        return readFrameTopDown();
    };
    int differing = 0, steps = 0;
    for (float x = 380; x <= 640; x += 13, ++steps)
        differing += render(true, x, 0, -800) != render(false, x, 0, -800);
    for (float y = 280; y <= 520; y += 12, ++steps)
        differing += render(true, 0, y, -800) != render(false, 0, y, -800);
    for (float z = -150; z <= 150; z += 10, ++steps)
        differing += render(true, 0, 0, z) != render(false, 0, 0, z);
    EXPECT_EQ(differing, 0) << "of " << steps << " positions";
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
        {{-1.2f, 0.0f, 0.0f}, {-1.05f, 0.1f, 0.1f}, true},
        {{0.0f, 1.06f, 0.0f}, {0.1f, 1.2f, 0.1f}, true},
        {{0.0f, 1.04f, 0.0f}, {0.1f, 1.2f, 0.1f}, false},
        {{0.0f, -1.2f, 0.0f}, {0.1f, -1.06f, 0.1f}, true},
        {{0.0f, 0.0f, -1.5f}, {0.1f, 0.1f, -1.01f}, true},
        {{0.0f, 0.0f, -1.5f}, {0.1f, 0.1f, -0.99f}, false},
        {{0.0f, 0.0f, 1.01f}, {0.1f, 0.1f, 1.5f}, true},
        {{-5.0f, -5.0f, -5.0f}, {5.0f, 5.0f, 5.0f}, false}, // straddles every plane
        {{1.5f, 1.5f, 0.0f}, {2.0f, 2.0f, 0.0f}, true},
    };
    for (const auto &b : boxes)
        EXPECT_EQ(isBoxOutsideView(clip, b.low, b.high), b.outside)
            << b.low[0] << "," << b.low[1] << "," << b.low[2] << " .. " << b.high[0] << ","
            << b.high[1] << "," << b.high[2];
}
