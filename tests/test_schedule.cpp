#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "driver/demo.h"
#include "driver/schedule.h"
#include "effects/celshading.h"
#include "effects/voxeltext.h"
#include "media/music.h"
#include "support/gltest.h"
#include "support/scenefixture.h"

namespace {

// A fixed font: every printable glyph a solid block with a notch, so words are large and solid.
void installBlockFont()
{
    for (int c = 33; c < 256; ++c)
        for (int row = 0; row < 16; ++row)
            fontGlyphs[16 * c + row] = row == 7 ? 0xE7 : 0xFF;
    forgetCompiledGlyphs();
}

// The frame of a part with still clocks: the forests do not move and the shake repeats.
std::vector<uint8_t> renderPart(int32_t p, int row, float partTime = 1.25f)
{
    frameClocks.frameDelta = 0.0f;
    frameClocks.demoTime = 20.0f;
    frameClocks.partTime = partTime;
    frameClocks.wordTime1 = 0.75f;
    frameClocks.wordTime2 = 0.5f;
    frameClocks.wordTime3 = 0.25f;
    musicRow = row;
    srand(7);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawPart(p);
    return readFrameTopDown();
}

std::vector<uint8_t> renderWords(const std::vector<std::pair<const char *, float>> &words)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (const auto &word : words)
        drawCreditWord(word.first, word.second);
    return readFrameTopDown();
}

bool isBlack(const uint8_t *p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

uint8_t brightest(const std::vector<uint8_t> &frame)
{
    uint8_t most = 0;
    for (size_t i = 0; i < frame.size(); i += 4)
        most = std::max({most, frame[i], frame[i + 1], frame[i + 2]});
    return most;
}

// Where the overlay layer is lit, the frame shows it unchanged; elsewhere the frame is nearly black.
void expectLayerOverBlack(const std::vector<uint8_t> &frame, const std::vector<uint8_t> &layer,
                          int darkest, const std::string &what)
{
    int layerPixels = 0, mismatches = 0, brightElsewhere = 0;
    for (size_t i = 0; i < frame.size(); i += 4) {
        if (!isBlack(&layer[i])) {
            ++layerPixels;
            mismatches += std::equal(&frame[i], &frame[i] + 3, &layer[i]) ? 0 : 1;
        } else if (std::max({frame[i], frame[i + 1], frame[i + 2]}) > darkest) {
            ++brightElsewhere;
        }
    }
    EXPECT_GT(layerPixels, 1000) << what;
    EXPECT_EQ(mismatches, 0) << what;
    EXPECT_EQ(brightElsewhere, 0) << what;
}

class Schedule : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        installFixtureScenes();
        installBlockFont();
    }
    void TearDown() override
    {
        celImmediateMode = false;
        voxelImmediateMode = false;
        musicRow = -1;
    }
};

} // namespace

TEST_F(Schedule, EveryPartDrawsWithoutGlErrors)
{
    takeGlError();
    for (int32_t p = 0; p <= 50; ++p) {
        for (int row : {0, 17, 63}) {
            renderPart(p, row);
            EXPECT_EQ(takeGlError(), 0u) << "part " << p << " row " << row;
        }
    }
}

TEST_F(Schedule, PartsOutsideTheShowDrawNothingNotEvenAClear)
{
    for (int32_t p : {-1, 51, 1000}) {
        glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
        drawPart(p);
        const Rgba pixel = readPixel(400, 300);
        EXPECT_EQ(pixel.b, 255) << "part " << p;
        EXPECT_EQ(pixel.r, 0) << "part " << p;
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(Schedule, PartFiftyIsBlackWithTheThreeClosingWords)
{
    const std::vector<uint8_t> frame = renderPart(50, 0);
    const std::vector<uint8_t> words =
        renderWords({{"vOTE", 0.75f}, {"fOR", 0.5f}, {"gRUNKA pELDO ", 0.25f}});
    EXPECT_TRUE(frame == words);
    expectLayerOverBlack(frame, words, 0, "part 50");
}

TEST_F(Schedule, PartFortyNineFadesTheFlightBeforeItsTwoWords)
{
    const std::vector<uint8_t> frame = renderPart(49, 63);
    const std::vector<uint8_t> words = renderWords({{"vOTE", 0.75f}, {"fOR", 0.5f}});
    expectLayerOverBlack(frame, words, 6, "part 49");
    // Without the fade the flight is bright.
    EXPECT_GT(brightest(renderPart(49, 0)), 100);
}

TEST_F(Schedule, PartSevenFadesTheForestBeforeTheTitle)
{
    const std::vector<uint8_t> frame = renderPart(7, 63, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawTitleText(0.5f);
    const std::vector<uint8_t> title = readFrameTopDown();
    expectLayerOverBlack(frame, title, 6, "part 7");
    // Parts 4 to 6 show the same title over an unfaded forest.
    EXPECT_GT(brightest(renderPart(6, 63, 0.5f)), 100);
}

TEST_F(Schedule, FadeIsDrawnLastInElevenFifteenAndTwentyNine)
{
    for (int32_t p : {11, 15, 29})
        EXPECT_LE(brightest(renderPart(p, 63)), 6) << "part " << p;
    for (int32_t p : {10, 14, 28})
        EXPECT_GT(brightest(renderPart(p, 63)), 100) << "part " << p;
}

TEST_F(Schedule, BeatFlashOnlyInThirtyEightToFortyOne)
{
    auto allWhite = [](const std::vector<uint8_t> &frame) {
        return std::all_of(frame.begin(), frame.end(), [](uint8_t v) { return v == 255; });
    };
    for (int32_t p = 30; p <= 41; ++p)
        EXPECT_EQ(allWhite(renderPart(p, 16)), p >= 38) << "part " << p;
    // No other part flashes on row 16 of its pattern.
    for (int32_t p : {0, 8, 16, 22, 42, 50})
        EXPECT_FALSE(allWhite(renderPart(p, 16))) << "part " << p;
}

TEST_F(Schedule, ForestRunsFourTimesFasterFromThirtyEight)
{
    for (int32_t p : {30, 37, 38, 41}) {
        frameClocks.frameDelta = 0.01f;
        musicRow = 3;
        drawPart(p);
        EXPECT_EQ(frameClocks.frameDelta, p >= 38 ? 0.04f : 0.01f) << "part " << p;
    }
    frameClocks.frameDelta = 0.0f;
}

TEST_F(Schedule, PrintsPartTimeInEveryFrameOfTheForestFlightOnly)
{
    for (int32_t p : {8, 22, 41, 42, 45, 49, 50}) {
        frameClocks.partTime = 2.5f;
        musicRow = 3;
        testing::internal::CaptureStdout();
        drawPart(p);
        fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, p >= 42 && p <= 49 ? "2.500000\n" : "") << "part " << p;
    }
}

TEST_F(Schedule, ForestFlightShowsTheSingledOutMeshInRose)
{
    int rosePixels = 0;
    for (float t : {0.0f, 5.0f, 10.0f, 15.0f, 20.0f, 25.0f}) {
        const std::vector<uint8_t> frame = renderPart(44, 5, t);
        for (size_t i = 0; i < frame.size(); i += 4)
            rosePixels += frame[i] > 60 && frame[i] > frame[i + 2] && frame[i + 2] > frame[i + 1];
    }
    EXPECT_GT(rosePixels, 100);
    EXPECT_GE(fixtureRoseMesh(), 1);
}

TEST_F(Schedule, ShippedPathDrawsTheSamePixelsAsTheImmediatePath)
{
    for (int32_t p = 0; p <= 50; ++p) {
        celImmediateMode = voxelImmediateMode = true;
        const std::vector<uint8_t> immediate = renderPart(p, 9);
        celImmediateMode = voxelImmediateMode = false;
        const std::vector<uint8_t> shipped = renderPart(p, 9);
        EXPECT_TRUE(shipped == immediate) << "part " << p;
    }
}
