// The driver: the part-change table, the frame clocks and step, and what each part draws.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "drawpaths.h"
#include "driver/demo.h"
#include "driver/schedule.h"
#include "effects/celshading.h"
#include "effects/forest.h"
#include "effects/meshscenes.h"
#include "effects/voxeltext.h"
#include "media/music.h"
#include "support/gltest.h"
#include "support/scenefixture.h"

namespace {

// Every glyph a solid block with a notch, so that words are large and solid.
void installBlockFont()
{
    for (int c = 0; c < 4096; ++c)
        fontGlyphs[c] = c < 16 * 33 ? 0 : c % 16 == 7 ? 0xE7 : 0xFF;
    forgetCompiledGlyphs();
}

// The frame of a part; by default with still clocks: the forests do not move. The shake repeats.
std::vector<uint8_t> renderPart(int32_t p, int row, float partTime = 1.25f, float delta = 0.0f)
{
    frameClocks.frameDelta = delta;
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

uint8_t brightest(const std::vector<uint8_t> &frame)
{
    uint8_t most = 0;
    for (size_t i = 0; i < frame.size(); i += 4)
        most = std::max({most, frame[i], frame[i + 1], frame[i + 2]});
    return most;
}

// Where the layer drawn alone on black is lit the frame shows it unchanged; elsewhere the frame is
// no brighter than darkest.
void expectLayerOverBlack(int32_t part, int row, float partTime, void (*drawLayer)(), int darkest)
{
    const std::vector<uint8_t> frame = renderPart(part, row, partTime);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawLayer();
    const std::vector<uint8_t> layer = readFrameTopDown();
    int layerPixels = 0, mismatches = 0, brightElsewhere = 0;
    for (size_t i = 0; i < frame.size(); i += 4) {
        if (layer[i] || layer[i + 1] || layer[i + 2]) {
            ++layerPixels;
            mismatches += !std::equal(&frame[i], &frame[i] + 3, &layer[i]);
        } else {
            brightElsewhere += std::max({frame[i], frame[i + 1], frame[i + 2]}) > darkest;
        }
    }
    EXPECT_TRUE(layerPixels > 1000 && mismatches == 0 && brightElsewhere == 0)
        << "part " << part << ": " << layerPixels << " lit, " << mismatches << " off, " << brightElsewhere << " bright";
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
        selectDrawPath(shippedPath);
        musicRow = -1;
    }
};

void startClocks(float partTime, float word1, float word2, float word3)
{
    resetFrameState();
    frameClocks.partTime = partTime;
    frameClocks.wordTime1 = word1;
    frameClocks.wordTime2 = word2;
    frameClocks.wordTime3 = word3;
}

bool clocksAre(float partTime, float word1, float word2, float word3)
{
    return frameClocks.partTime == partTime && frameClocks.wordTime1 == word1 &&
           frameClocks.wordTime2 == word2 && frameClocks.wordTime3 == word3;
}

uint32_t fakeTicks = 0;
int32_t fakeOrder = 0, fakeRow = 0;
int ticksRead = 0, positionsRead = 0;

uint32_t readFakeTicks()
{
    ++ticksRead;
    return fakeTicks++;
}

void readFakePosition(int32_t *order, int32_t *row)
{
    // The clocks are advanced before the position is read.
    EXPECT_EQ(ticksRead, 2 * (positionsRead + 1));
    ++positionsRead;
    *order = fakeOrder;
    *row = fakeRow;
}

// The names of the display lists that exist, up to well past the highest.
std::vector<GLuint> listDisplayLists()
{
    std::vector<GLuint> names;
    for (GLuint name = 1, misses = 0; misses < 20000; ++name) {
        if (glIsList(name)) {
            names.push_back(name);
            misses = 0;
        } else {
            ++misses;
        }
    }
    return names;
}

} // namespace

TEST(PartChange, EachEnteredPartRestartsExactlyItsClock)
{
    for (int p = -3; p <= 53; ++p) {
        startClocks(1, 2, 3, 4);
        frameClocks.demoTime = 5;
        frameClocks.frameDelta = 6;
        applyPartChange(p, p - 1);
        bool partReset = p == 4 || (p >= 8 && p <= 15) || p == 18 || p == 22 || p == 30 || p == 42;
        float expectPart = partReset ? 0 : 1;
        float expect1 = (p == 19 || p == 48) ? 0 : 2;
        float expect2 = (p == 20 || p == 49) ? 0 : 3;
        float expect3 = (p == 21 || p == 50) ? 0 : 4;
        EXPECT_TRUE(clocksAre(expectPart, expect1, expect2, expect3)) << "entering part " << p;
        EXPECT_EQ(frameClocks.demoTime, 5) << p;
        EXPECT_EQ(frameClocks.frameDelta, 6) << p;
        EXPECT_FALSE(endRequested) << p;
    }
}

TEST(PartChange, OnlyZeroEnteredFromFiftyEndsTheShow)
{
    const std::pair<int, int> changes[] = {{0, -1}, {0, 1}, {0, 49}, {0, 51}, {1, 50}, {49, 50}, {51, 50}, {42, 50},
                                           {0, 50}};
    for (auto [to, from] : changes) {
        startClocks(1, 2, 3, 4);
        applyPartChange(to, from);
        EXPECT_EQ(endRequested, to == 0 && from == 50) << from << " to " << to;
        EXPECT_TRUE(to != 0 || clocksAre(1, 2, 3, 4)) << from;
    }
    // A backward jump or a skip triggers the same rule as a forward step.
    startClocks(1, 2, 3, 4);
    applyPartChange(22, 40);
    EXPECT_EQ(frameClocks.partTime, 0);
}

TEST(FrameClocks, DeltaRunsFromThePreviousReadingInDoubleRoundedToSingle)
{
    resetFrameState();
    stampFrameClocks(1000);
    advanceFrameClocks(1016, 1017);
    EXPECT_FLOAT_EQ(frameClocks.frameDelta, 0.016f);
    EXPECT_EQ(frameClocks.frameStamp, 1.017f);
    // The millisecond between the two readings of the last frame is counted by no clock.
    advanceFrameClocks(1033, 1033);
    const float first = float(1.016 - double(1.0f)), second = float(1.033 - double(1.017f));
    EXPECT_EQ(frameClocks.frameDelta, second);
    EXPECT_TRUE(frameClocks.demoTime == first + second && frameClocks.partTime == first + second &&
                frameClocks.wordTime3 == first + second);
    // At a tick count above INT32_MAX, read as unsigned, the single-precision stamp is coarse.
    resetFrameState();
    const uint32_t ticks = 4000000123u;
    stampFrameClocks(ticks);
    const float stamp = float(double(ticks) / 1000.0);
    EXPECT_EQ(frameClocks.frameStamp, stamp);
    EXPECT_GT(frameClocks.frameStamp, 3.9e6f);
    advanceFrameClocks(ticks + 20, ticks + 21);
    EXPECT_EQ(frameClocks.frameDelta, float(double(ticks + 20) / 1000.0 - double(stamp)));
    EXPECT_EQ(frameClocks.frameStamp, float(double(ticks + 21) / 1000.0));
}

TEST(FrameStep, PrintsAPartChangeOncePerChangeAndPublishesTheRow)
{
    // Parts outside 0..50 draw nothing, so the step runs without a GL context.
    resetFrameState();
    fakeTicks = 5000;
    stampFrameClocks(fakeTicks);
    ticksRead = positionsRead = 0;
    const FrameSource source = {readFakeTicks, readFakePosition};
    testing::internal::CaptureStdout();
    const int32_t orders[] = {60, 60, 61, -2, -2, 60};
    for (int32_t order : orders) {
        fakeOrder = order;
        fakeRow = order + 7;
        stepFrame(source);
        EXPECT_EQ(musicRow, order + 7);
        EXPECT_EQ(previousPart, order);
    }
    fflush(stdout);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Go part 60\nGo part 61\nGo part -2\nGo part 60\n");
    EXPECT_EQ(positionsRead, 6);
    EXPECT_FALSE(endRequested);
}

TEST_F(Schedule, PartsOutsideTheShowDrawNothingNotEvenAClear)
{
    for (int32_t p : {-1, 51, 1000}) {
        glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
        drawPart(p);
        const Rgba pixel = readPixel(400, 300);
        EXPECT_EQ(pixel.b - pixel.r, 255) << "part " << p;
    }
    EXPECT_EQ(takeGlError(), 0u);
}

TEST_F(Schedule, LayersInTheirOrder)
{
    // Part 50: black with the three closing words; 49: the flight faded before its two words.
    expectLayerOverBlack(50, 0, 1.25f, [] {
        drawCreditWord("vOTE", 0.75f);
        drawCreditWord("fOR", 0.5f);
        drawCreditWord("gRUNKA pELDO ", 0.25f);
    }, 0);
    expectLayerOverBlack(49, 63, 1.25f, [] {
        drawCreditWord("vOTE", 0.75f);
        drawCreditWord("fOR", 0.5f);
    }, 6);
    // Part 7: the forest faded before the title; parts 4 to 6 show it over an unfaded forest.
    expectLayerOverBlack(7, 63, 0.5f, [] { drawTitleText(0.5f); }, 6);
    EXPECT_GT(brightest(renderPart(49, 0)), 100);
    EXPECT_GT(brightest(renderPart(6, 63, 0.5f)), 100);
    // The fade drawn last in 11, 15 and 29, not in the parts before them.
    for (int32_t p : {11, 15, 29})
        EXPECT_LE(brightest(renderPart(p, 63)), 6) << "part " << p;
    for (int32_t p : {10, 14, 28})
        EXPECT_GT(brightest(renderPart(p, 63)), 100) << "part " << p;
    // The beat flash on row 16 only in 38 to 41.
    for (int32_t p : {0, 8, 16, 22, 30, 37, 38, 39, 40, 41, 42, 50}) {
        const std::vector<uint8_t> frame = renderPart(p, 16);
        EXPECT_EQ(std::all_of(frame.begin(), frame.end(), [](uint8_t v) { return v == 255; }),
                  p >= 38 && p <= 41)
            << "part " << p;
    }
}

TEST_F(Schedule, ForestFourTimesFasterFrom38AndPartTimePrintedOnlyIn42To49)
{
    for (int32_t p : {8, 22, 30, 37, 38, 41, 42, 45, 49, 50}) {
        frameClocks.frameDelta = 0.01f;
        frameClocks.partTime = 2.5f;
        musicRow = 3;
        testing::internal::CaptureStdout();
        drawPart(p);
        fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), p >= 42 && p <= 49 ? "2.500000\n" : "")
            << "part " << p;
        EXPECT_EQ(frameClocks.frameDelta, p >= 38 && p <= 41 ? 0.04f : 0.01f) << "part " << p;
    }
    frameClocks.frameDelta = 0.0f;
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
}

// The shipped path against the literal immediate path, every part: every glyph different, the
// sparse fixture field and a dense grid crossing the edges, the shake's largest rows, the forests
// moving (one frame long enough to wrap them); colour, depth and GL state. Then the words swept
// across the window.
TEST_F(Schedule, ShippedPathLeavesWhatTheImmediatePathLeaves)
{
    uint8_t savedFont[4096];
    float savedTrees[treeCount][2];
    std::copy(fontGlyphs, fontGlyphs + 4096, savedFont);
    std::copy(&treePositions[0][0], &treePositions[0][0] + 2 * treeCount, &savedTrees[0][0]);
    for (int i = 0; i < 4096; ++i)
        fontGlyphs[i] = uint8_t((i * 2654435761u) >> 13);
    forgetCompiledGlyphs();
    takeGlError();
    struct Moment {
        float partTime;
        int row;
        float delta;
    };
    const Moment moments[] = {{1.25f, 15, 0.05f}, {6.5f, 31, 0.02f}, {3.0f, 47, 7.0f}, {9.0f, 63, 0.03f}};
    for (bool dense : {false, true}) {
        if (dense)
            for (int i = 0; i < treeCount; ++i) {
                treePositions[i][0] = float((i % 20) * 45 - 450 + (i >= 390 ? 3000 : 0));
                treePositions[i][1] = float((i / 20) * 45 - 450);
            }
        for (int32_t p = 0; p <= 50; ++p) {
            for (const Moment &at : moments) {
                const ForestSnapshot start = takeForestSnapshot();
                FrameRecord records[2];
                ForestSnapshot moved[2];
                for (DrawPath path : {immediatePath, shippedPath}) {
                    restoreForestSnapshot(start);
                    selectDrawPath(path);
                    renderPart(p, at.row, at.partTime, at.delta);
                    records[path != immediatePath] = recordFrame();
                    moved[path != immediatePath] = takeForestSnapshot();
                }
                EXPECT_EQ(describeDifference(records[0], records[1]), "")
                    << "part " << p << " row " << at.row << (dense ? " dense" : "");
                EXPECT_TRUE(isForestSnapshotEqual(moved[0], moved[1])) << "part " << p;
                EXPECT_EQ(records[0].state.back(), "GL error: none") << "part " << p << " row " << at.row;
            }
        }
    }
    // The words alone, sliding across the window edges where whole cells are left out.
    int differing = 0;
    for (float t = 0.0f; t < 12.0f; t += 0.25f) {
        std::vector<uint8_t> frames[2];
        for (bool immediate : {true, false}) {
            voxelImmediateMode = immediate;
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            drawTitleText(t);
            drawScrollerText(t);
            drawCreditWord("gRUNKA pELDO ", t * 0.1f);
            frames[immediate] = readFrameTopDown();
        }
        differing += frames[0] != frames[1];
    }
    EXPECT_EQ(differing, 0) << "of 48 moments of the words";
    std::copy(savedFont, savedFont + 4096, fontGlyphs);
    std::copy(&savedTrees[0][0], &savedTrees[0][0] + 2 * treeCount, &treePositions[0][0]);
    forgetCompiledGlyphs();
}

// The compile step that ends start-up draws nothing, takes nothing from rand, and leaves no list
// for a part to make.
TEST_F(Schedule, StartUpCompilesEveryListTheShowUses)
{
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    const std::vector<uint8_t> before = readFrameTopDown();
    forgetCompiledGlyphs();
    srand(5);
    const int expected = rand();
    srand(5);
    compileCelMeshLists();
    compileGlyphLists();
    EXPECT_EQ(rand(), expected);
    EXPECT_TRUE(readFrameTopDown() == before);
    const std::vector<GLuint> lists = listDisplayLists();
    for (int32_t p = 0; p <= 50; ++p)
        for (int row : {0, 40})
            renderPart(p, row, 2.0f + 4.0f * float(row));
    EXPECT_TRUE(listDisplayLists() == lists);
}
