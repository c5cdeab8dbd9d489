// The billboard forests: the layout drawn from rand, the motion and its wrap rules, and what a
// pass paints over the backdrop.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/textures.h"
#include "effects/forest.h"
#include "support/glimages.h"
#include "support/gltest.h"

namespace {

constexpr float offScreen = -100.0f; // far left of both views, and never past the wrap bound

void parkForests()
{
    for (int i = 0; i < billboardCount; ++i) {
        scrollForest[i] = Billboard{-1.0f, offScreen, 1.0f, 0};
        rushForest[i] = Billboard{-2.0f, offScreen, 1.0f, 0};
    }
}

class Forest : public ::testing::Test {
protected:
    void SetUp() override
    {
        openTestDisplay();
        // Blue backdrop, red and green opaque pines; pine 2 transparent left, half-transparent white right.
        uploadTestImage(backdropTexture, 1, 1, {0, 0, 255, 255});
        uploadTestImage(pineTexture + 0, 1, 1, {255, 0, 0, 255});
        uploadTestImage(pineTexture + 1, 1, 1, {0, 255, 0, 255});
        uploadTestImage(pineTexture + 2, 4, 1, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 128, 255, 255, 255, 128});
        readForestPictures();
        parkForests();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        takeGlError();
    }
    void TearDown() override { EXPECT_EQ(takeGlError(), 0u); }
};

// Five draws per record for both variants first, then the rush forest's three per record, left
// band (depth, lateral, height) before right band (depth, height, lateral).
TEST(ForestFill, DrawsFromRandInTheFixedOrderByTheFormulas)
{
    std::srand(777);
    fillForests();
    std::srand(777);
    for (int i = 0; i < billboardCount; ++i) {
        const Billboard &s = scrollForest[i];
        int d = std::rand() % 1000, l = std::rand() % 6000, h = std::rand() % 1000, v = std::rand() % 3,
            rv = std::rand() % 3;
        EXPECT_TRUE(s.depth == float(-0.4 - d / 250.0) && s.lateral == float(l / 1000.0 - 3) &&
                    s.heightScale == float(1 - h / 4000.0) && s.variant == v && rushForest[i].variant == rv) << i;
    }
    for (int i = 0; i < billboardCount; ++i) {
        const Billboard &r = rushForest[i];
        int d = std::rand() % 4000, l = 0, h = 0;
        if (i < 100) {
            l = std::rand() % 2000;
            h = std::rand() % 1000;
        } else {
            h = std::rand() % 1000;
            l = std::rand() % 2000;
        }
        EXPECT_TRUE(r.depth == float(-0.4 - d / 250.0) && r.lateral == float(l / 1000.0 - (i < 100 ? 2.5 : 0)) &&
                    r.heightScale == float(1 - h / 4000.0)) << i;
    }
}

TEST_F(Forest, WrapOnlyPastTheBoundAndDropTheOvershoot)
{
    struct Case {
        bool rush;
        float start, delta, expected;
    };
    const Case cases[] = {
        {false, 2.75f, 1.0f, 3.0f}, {false, 3.0f, 0.004f, -3.0f}, {false, 0.0f, 1000.0f, -3.0f},
        {false, 1.0f, 0.4f, 1.1f},  {true, -0.5f, 1.0f, 0.0f},    {true, 0.0f, 0.004f, -16.4f},
        {true, -10.0f, 1000.0f, -16.4f}, {true, -3.0f, 2.0f, -2.0f},
    };
    for (const Case &c : cases) {
        parkForests();
        Billboard &b = c.rush ? rushForest[0] : scrollForest[0];
        (c.rush ? b.depth : b.lateral) = c.start;
        c.rush ? drawForestRush(c.delta) : drawForestScroll(12, c.delta);
        EXPECT_EQ(c.rush ? b.depth : b.lateral, c.expected) << c.start << " + " << c.delta;
        // The other coordinate stays: the sway moves the anchor, not the record.
        EXPECT_EQ(c.rush ? b.lateral : b.depth, c.rush ? offScreen : -1.0f);
    }
}

TEST_F(Forest, LaterRecordPaintsOverEarlierAndSilhouettesBlendOverTheBackdrop)
{
    for (int first : {0, 1}) {
        rushForest[5] = Billboard{-2.0f, -0.32f, 1.0f, first};
        rushForest[6] = Billboard{-2.0f, -0.32f, 1.0f, 1 - first};
        drawForestRush(0);
        EXPECT_TRUE(isColour(readPixel(400, 300), first == 0 ? 0 : 255, first == 0 ? 255 : 0, 0)) << first;
    }
    rushForest[5].lateral = offScreen;
    rushForest[6] = Billboard{-2.0f, -0.32f, 1.0f, 2};
    drawForestRush(0);
    EXPECT_TRUE(isColour(readProjectedPixel(-0.16, 0, -2), 0, 0, 255));       // transparent half: backdrop only
    EXPECT_TRUE(isColour(readProjectedPixel(0.16, 0, -2), 128, 128, 255, 2)); // half white over blue
    EXPECT_TRUE(isColour(readPixel(5, 595), 0, 0, 255));
}

TEST_F(Forest, ScrollHangsThePictureFromItsLiftedSwayedAnchor)
{
    scrollForest[0] = Billboard{-1.5f, 0.0f, 0.75f, 0};
    drawForestScroll(12, 0); // angle 3
    double lift = float(0.3 - 0.3 / 3.0 + 0.1), z = -1.5f + float(0.2 * double(float(std::sin(3.0))));
    // Red just inside the top-left and bottom-right corners, blue just outside them.
    EXPECT_TRUE(isColour(readProjectedPixel(0, lift, z, 2, -2), 255, 0, 0));
    EXPECT_TRUE(isColour(readProjectedPixel(0, lift, z, 2, 2), 0, 0, 255));
    EXPECT_TRUE(isColour(readProjectedPixel(0, lift, z, -2, -2), 0, 0, 255));
    double bottom = lift - 0.64 * 4 / 3 * 0.75;
    EXPECT_TRUE(isColour(readProjectedPixel(0.64, bottom, z, -2, 2), 255, 0, 0));
    EXPECT_TRUE(isColour(readProjectedPixel(0.64, bottom, z, -2, -2), 0, 0, 255));
    EXPECT_TRUE(isColour(readProjectedPixel(0.64, bottom, z, 2, 2), 0, 0, 255));
}

namespace {

// 16 x 32 texels: a spire widening downwards with soft edges (alpha 40), rows 12-15 transparent,
// the top row touching the left border, the last four rows opaque across every column.
std::vector<uint8_t> makeSpirePicture()
{
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x) {
            const int half = y / 4, distance = std::abs(2 * x - 15) / 2;
            uint8_t alpha = distance < half ? 255 : distance == half ? 40 : 0;
            if (y >= 12 && y < 16)
                alpha = 0;
            if ((y == 0 && x == 0) || y >= 28)
                alpha = 255;
            rgba.insert(rgba.end(), {uint8_t(16 * x), uint8_t(255 - 8 * y), 90, alpha});
        }
    return rgba;
}

// The frame of the rush pass on a path; the forest is put back as it was.
std::vector<uint8_t> drawRushOn(ForestPath path, float delta)
{
    Billboard saved[billboardCount];
    std::memcpy(saved, rushForest, sizeof saved);
    forestPath = path;
    glClear(GL_COLOR_BUFFER_BIT);
    drawForestRush(delta);
    forestPath = forestBandedPath;
    std::memcpy(rushForest, saved, sizeof saved);
    return readFrameTopDown();
}

} // namespace

// The banded pass paints what the literal one does wherever the picture stands, at every size down
// to the near plane and past the window's edges.
TEST_F(Forest, BandsKeepEveryPixelTheFilterCanReach)
{
    uploadTestImage(pineTexture + 0, 16, 32, makeSpirePicture());
    readForestPictures();
    struct Case {
        const char *what;
        float depth, lateral, delta;
    };
    const Case cases[] = {
        {"centred", -2.0f, -0.32f, 0},       {"half off the left edge", -2.0f, -0.9f, 0},
        {"off the top and right", -0.6f, 0.2f, 0}, {"just past the near plane", -0.1002f, -0.05f, 0},
        {"at the near plane, drawn whole", -0.10005f, -0.05f, 0}, {"behind the near plane", -0.05f, 0, 0},
        {"a long frame wraps it far away", -0.5f, -0.32f, 1000},
    };
    for (const Case &c : cases) {
        parkForests();
        rushForest[0] = Billboard{c.depth, c.lateral, 1.0f, 0};
        const std::vector<uint8_t> literal = drawRushOn(forestLiteralPath, c.delta);
        EXPECT_TRUE(drawRushOn(forestBandedPath, c.delta) == literal) << c.what;
    }

    // Texel rows of 20 pixels: a gap at the transparent rows, bands inside the window reaching the
    // quad's edges where the picture touches its borders.
    const BillboardPlacement placement = {300.0, 620.0, 320.0, -640.0};
    ScissorBand bands[bandCapacity];
    const int count = findBillboardBands(pineSpans[0], placement, nullptr, bands);
    ASSERT_GT(count, 1);
    bool gapCovered = false;
    int left = 800, right = 0, bottom = 600;
    for (int b = 0; b < count; ++b) {
        const ScissorBand &band = bands[b];
        EXPECT_TRUE(band.x >= 0 && band.y >= 0 && band.x + band.width <= 800 && band.y + band.height <= 600);
        gapCovered = gapCovered || (band.y < 620 - 14 * 20 && band.y + band.height > 620 - 14 * 20);
        left = std::min(left, band.x);
        right = std::max(right, band.x + band.width);
        bottom = std::min(bottom, band.y);
    }
    EXPECT_FALSE(gapCovered);
    EXPECT_TRUE(left <= 300 && right >= 620 && bottom == 0);
    BillboardPlacement nearPlane;
    EXPECT_FALSE(placeBillboard(0, 0, -0.1f, -1.0f, 1, 1, &nearPlane));
}

TEST_F(Forest, PassesLeaveTheirPerspectiveAndBlending)
{
    for (bool rush : {false, true}) {
        for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_CULL_FACE})
            glEnable(cap);
        glDisable(GL_BLEND);
        glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
        glMatrixMode(GL_TEXTURE);
        scrollForest[199].variant = 1;
        rushForest[199].variant = 2;
        rush ? drawForestRush(0.01f) : drawForestScroll(5, 0.01f);
        GLint src = 0, dst = 0, mode = 0, bound = 0, wrapS = 0, wrapT = 0;
        GLfloat m[16];
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGetFloatv(GL_CURRENT_COLOR, m);
        EXPECT_TRUE(!glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_LIGHTING) && !glIsEnabled(GL_CULL_FACE));
        EXPECT_TRUE(glIsEnabled(GL_BLEND) && src == GL_SRC_ALPHA && dst == GL_ONE_MINUS_SRC_ALPHA);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D) && mode == GL_MODELVIEW);
        EXPECT_EQ(bound, GLint(pineTexture) + (rush ? 2 : 1)); // the last billboard's
        EXPECT_TRUE(wrapS == GL_CLAMP_TO_EDGE && wrapT == GL_CLAMP_TO_EDGE);
        EXPECT_TRUE(m[0] == 1 && m[1] == 1 && m[2] == 1 && m[3] == 1);
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        for (int k = 0; k < 16; ++k)
            EXPECT_EQ(m[k], k % 5 == 0 ? 1.0f : 0.0f);
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        double focal = 1 / std::tan((rush ? 15.0 : 22.5) * M_PI / 180);
        EXPECT_NEAR(m[5], focal, 1e-5);
        EXPECT_NEAR(m[0], focal * 0.75, 1e-5);
    }
}

} // namespace
