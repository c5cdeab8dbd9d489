// The billboard forests: the layout drawn from rand, the motion and its wrap rules, and what a
// pass paints over the backdrop, read back from a real Mesa context.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/textures.h"
#include "effects/forest.h"
#include "support/glimages.h"
#include "support/gldisplayretry.h"
#include "support/gltest.h"

namespace {

constexpr float offScreen = -100.0f; // far left of both views, and never past the wrap bound

void uploadForestTestImages()
{
    uploadSolidImage(backdropTexture, 4, 4, 0, 0, 255, 255);
    uploadSolidImage(pineTexture + 0, 4, 4, 255, 0, 0, 255);
    uploadSolidImage(pineTexture + 1, 4, 4, 0, 255, 0, 255);
    // Variant 2: transparent left half, half-transparent white right half.
    std::vector<uint8_t> rgba(64 * 64 * 4);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t *p = &rgba[(y * 64 + x) * 4];
            bool right = x >= 32;
            p[0] = 255;
            p[1] = right ? 255 : 0;
            p[2] = right ? 255 : 0;
            p[3] = right ? 128 : 0;
        }
    uploadTestImage(pineTexture + 2, 64, 64, rgba);
}

void parkForests()
{
    for (int i = 0; i < billboardCount; ++i) {
        scrollForest[i] = Billboard{-1.0f, offScreen, 1.0f, 0};
        rushForest[i] = Billboard{-2.0f, offScreen, 1.0f, 0};
    }
}

// Window pixel of an eye-space point under the matrices the pass left.
void projectPoint(double x, double y, double z, int *px, int *py)
{
    GLdouble modelview[16], projection[16], wx, wy, wz;
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    gluProject(x, y, z, modelview, projection, viewport, &wx, &wy, &wz);
    *px = int(std::lround(wx));
    *py = int(std::lround(wy));
}

bool isColour(Rgba p, int r, int g, int b, int tolerance = 0)
{
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
           std::abs(p.b - b) <= tolerance;
}

class Forest : public ::testing::Test {
protected:
    void SetUp() override
    {
        openTestDisplayRetrying();
        uploadForestTestImages();
        parkForests();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        takeGlError();
    }
    void TearDown() override { EXPECT_EQ(takeGlError(), 0u); }
};

TEST(ForestFill, ValuesStayInTheirRanges)
{
    std::srand(12345);
    fillForests();
    for (int i = 0; i < billboardCount; ++i) {
        const Billboard &s = scrollForest[i], &r = rushForest[i];
        EXPECT_GE(s.depth, -4.396f);
        EXPECT_LE(s.depth, -0.4f);
        EXPECT_GE(s.lateral, -3.0f);
        EXPECT_LE(s.lateral, 2.999f);
        EXPECT_GE(s.heightScale, 0.75025f);
        EXPECT_LE(s.heightScale, 1.0f);
        EXPECT_GE(s.variant, 0);
        EXPECT_LE(s.variant, 2);
        EXPECT_GE(r.variant, 0);
        EXPECT_LE(r.variant, 2);
        EXPECT_GE(r.depth, -16.396f);
        EXPECT_LE(r.depth, -0.4f);
        EXPECT_GE(r.heightScale, 0.75025f);
        EXPECT_LE(r.heightScale, 1.0f);
        if (i < 100) {
            EXPECT_GE(r.lateral, -2.5f) << i;
            EXPECT_LE(r.lateral, -0.501f) << i;
        } else {
            EXPECT_GE(r.lateral, 0.0f) << i;
            EXPECT_LE(r.lateral, 1.999f) << i;
        }
    }
}

// The layout is the order of the draws: five per record for both variants first, then the rush
// forest's three per record, left band before right band.
TEST(ForestFill, DrawsFromRandInTheFixedOrder)
{
    std::srand(777);
    fillForests();
    std::srand(777);
    for (int i = 0; i < billboardCount; ++i) {
        int d = std::rand() % 1000, l = std::rand() % 6000, h = std::rand() % 1000;
        int v = std::rand() % 3, rv = std::rand() % 3;
        EXPECT_EQ(scrollForest[i].depth, float(-0.4 - d / 250.0)) << i;
        EXPECT_EQ(scrollForest[i].lateral, float(l / 1000.0 - 3)) << i;
        EXPECT_EQ(scrollForest[i].heightScale, float(1 - h / 4000.0)) << i;
        EXPECT_EQ(scrollForest[i].variant, v) << i;
        EXPECT_EQ(rushForest[i].variant, rv) << i;
    }
    for (int i = 0; i < billboardCount; ++i) {
        int d = std::rand() % 4000, l = std::rand() % 2000, h = std::rand() % 1000;
        EXPECT_EQ(rushForest[i].depth, float(-0.4 - d / 250.0)) << i;
        EXPECT_EQ(rushForest[i].lateral, float(l / 1000.0 - (i < 100 ? 2.5 : 0))) << i;
        EXPECT_EQ(rushForest[i].heightScale, float(1 - h / 4000.0)) << i;
    }
    Billboard first[billboardCount];
    std::memcpy(first, rushForest, sizeof first);
    std::srand(777);
    fillForests();
    EXPECT_EQ(std::memcmp(first, rushForest, sizeof first), 0);
}

TEST_F(Forest, ScrollWrapsOnlyPastThreeAndDropsTheOvershoot)
{
    scrollForest[0].lateral = 2.75f;
    drawForestScroll(12, 1.0f); // step 0.25 lands exactly on the bound
    EXPECT_EQ(scrollForest[0].lateral, 3.0f);
    drawForestScroll(12, 0.004f);
    EXPECT_EQ(scrollForest[0].lateral, -3.0f);
    scrollForest[0].lateral = 0.0f;
    drawForestScroll(12, 1000.0f); // a long frame
    EXPECT_EQ(scrollForest[0].lateral, -3.0f);
    EXPECT_EQ(scrollForest[1].lateral, -3.0f); // the parked ones went past it too
    scrollForest[2].lateral = 1.0f;
    drawForestScroll(12, 0.4f);
    EXPECT_EQ(scrollForest[2].lateral, 1.1f);
    EXPECT_EQ(scrollForest[2].depth, -1.0f); // the sway moves the anchor, not the record
}

TEST_F(Forest, RushWrapsOnlyPastTheEyePlane)
{
    rushForest[0].depth = -0.5f;
    drawForestRush(1.0f); // 2 x step = 0.5: exactly 0
    EXPECT_EQ(rushForest[0].depth, 0.0f);
    drawForestRush(0.004f);
    EXPECT_EQ(rushForest[0].depth, -16.4f);
    rushForest[0].depth = -10.0f;
    drawForestRush(1000.0f);
    EXPECT_EQ(rushForest[0].depth, -16.4f);
    rushForest[3].depth = -3.0f;
    drawForestRush(2.0f);
    EXPECT_EQ(rushForest[3].depth, -2.0f);
    EXPECT_EQ(rushForest[3].lateral, offScreen);
}

TEST_F(Forest, LaterRecordPaintsOverEarlier)
{
    for (int first : {0, 1}) {
        rushForest[5] = Billboard{-2.0f, -0.32f, 1.0f, first};
        rushForest[6] = Billboard{-2.0f, -0.32f, 1.0f, 1 - first};
        glClear(GL_COLOR_BUFFER_BIT);
        drawForestRush(0);
        Rgba p = readPixel(400, 300);
        if (first == 0)
            EXPECT_TRUE(isColour(p, 0, 255, 0)) << int(p.r) << "," << int(p.g) << "," << int(p.b);
        else
            EXPECT_TRUE(isColour(p, 255, 0, 0)) << int(p.r) << "," << int(p.g) << "," << int(p.b);
    }
}

TEST_F(Forest, SilhouettesBlendByAlphaOverTheBackdrop)
{
    rushForest[10] = Billboard{-2.0f, -0.32f, 1.0f, 2};
    drawForestRush(0);
    int lx, rx, y, unused;
    projectPoint(-0.16, 0.0, -2.0, &lx, &y);
    projectPoint(0.16, 0.0, -2.0, &rx, &unused);
    EXPECT_TRUE(isColour(readPixel(lx, y), 0, 0, 255)); // transparent half: backdrop only
    EXPECT_TRUE(isColour(readPixel(rx, y), 128, 128, 255, 2)); // half white over blue
    EXPECT_TRUE(isColour(readPixel(5, 595), 0, 0, 255));       // backdrop fills the screen
}

TEST_F(Forest, ScrollHangsThePictureFromItsLiftedSwayedAnchor)
{
    const float time = 12; // angle 3: lift 0.3
    scrollForest[0] = Billboard{-1.5f, 0.0f, 0.75f, 0};
    drawForestScroll(time, 0);
    double lift = float(0.3 - 0.3 / 3.0 + 0.1);
    double z = -1.5f + float(0.2 * double(float(std::sin(3.0))));
    int ax, ay, bx, by;
    projectPoint(0, lift, z, &ax, &ay);
    projectPoint(0.64, lift - 0.64 * 4 / 3 * 0.75, z, &bx, &by);
    EXPECT_TRUE(isColour(readPixel(ax + 2, ay - 2), 255, 0, 0));
    EXPECT_TRUE(isColour(readPixel(ax + 2, ay + 2), 0, 0, 255));
    EXPECT_TRUE(isColour(readPixel(ax - 2, ay - 2), 0, 0, 255));
    EXPECT_TRUE(isColour(readPixel(bx - 2, by + 2), 255, 0, 0));
    EXPECT_TRUE(isColour(readPixel(bx - 2, by - 2), 0, 0, 255));
    EXPECT_TRUE(isColour(readPixel(bx + 2, by + 2), 0, 0, 255));
}

TEST_F(Forest, TimeZeroShowsNoForestAndRaisesNoError)
{
    for (int i = 0; i < billboardCount; ++i)
        scrollForest[i] = Billboard{-1.0f, -0.3f, 1.0f, 0};
    drawForestScroll(0, 0);
    for (int y = 0; y < 600; y += 50)
        for (int x = 0; x < 800; x += 50)
            ASSERT_TRUE(isColour(readPixel(x, y), 0, 0, 255)) << x << "," << y;
}

TEST_F(Forest, PassesLeaveTheirPerspectiveAndBlending)
{
    for (bool rush : {false, true}) {
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
        glMatrixMode(GL_TEXTURE);
        scrollForest[199].variant = 1;
        rushForest[199].variant = 2;
        if (rush)
            drawForestRush(0.01f);
        else
            drawForestScroll(5, 0.01f);
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        GLint value = 0;
        glGetIntegerv(GL_BLEND_SRC, &value);
        EXPECT_EQ(value, GL_SRC_ALPHA);
        glGetIntegerv(GL_BLEND_DST, &value);
        EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
        glGetIntegerv(GL_MATRIX_MODE, &value);
        EXPECT_EQ(value, GL_MODELVIEW);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
        EXPECT_EQ(value, GLint(pineTexture) + (rush ? 2 : 1));
        GLfloat m[16];
        glGetFloatv(GL_CURRENT_COLOR, m);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(m[k], 1.0f);
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        for (int k = 0; k < 16; ++k)
            EXPECT_EQ(m[k], k % 5 == 0 ? 1.0f : 0.0f);
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        double focal = 1 / std::tan((rush ? 15.0 : 22.5) * M_PI / 180);
        EXPECT_NEAR(m[5], focal, 1e-5);
        EXPECT_NEAR(m[0], focal * 0.75, 1e-5);
        EXPECT_NEAR(m[11], -1, 1e-6);
    }
}

} // namespace
