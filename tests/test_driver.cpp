// The frame clocks and the part-change table.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/demo.h"
#include "media/music.h"

namespace {

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
    for (int from : {-1, 1, 49, 51}) {
        startClocks(1, 2, 3, 4);
        applyPartChange(0, from);
        EXPECT_FALSE(endRequested) << from;
        EXPECT_TRUE(clocksAre(1, 2, 3, 4)) << from;
    }
    for (int to : {1, 49, 51, 42}) {
        startClocks(1, 2, 3, 4);
        applyPartChange(to, 50);
        EXPECT_FALSE(endRequested) << to;
    }
    startClocks(1, 2, 3, 4);
    applyPartChange(0, 50);
    EXPECT_TRUE(endRequested);
    EXPECT_TRUE(clocksAre(1, 2, 3, 4));
    // A backward jump or a skip triggers the same rule as a forward step.
    startClocks(1, 2, 3, 4);
    applyPartChange(22, 40);
    EXPECT_EQ(frameClocks.partTime, 0);
}

TEST(FrameClocks, DeltaRunsFromThePreviousSecondReading)
{
    resetFrameState();
    stampFrameClocks(1000);
    advanceFrameClocks(1016, 1017);
    EXPECT_FLOAT_EQ(frameClocks.frameDelta, 0.016f);
    EXPECT_EQ(frameClocks.frameStamp, 1.017f);
    // The millisecond between the two readings of the last frame is counted by no clock.
    advanceFrameClocks(1033, 1033);
    const float first = float(1.016 - double(1.0f));
    const float second = float(1.033 - double(1.017f));
    EXPECT_EQ(frameClocks.frameDelta, second);
    EXPECT_EQ(frameClocks.demoTime, first + second);
    EXPECT_EQ(frameClocks.partTime, first + second);
    EXPECT_EQ(frameClocks.wordTime3, first + second);
}

TEST(FrameClocks, ArithmeticIsDoubleRoundedToSingle)
{
    // At a large tick count the single-precision stamp is coarse; the delta is taken in double
    // against that stored stamp, then rounded once.
    resetFrameState();
    const uint32_t ticks = 4000000123u; // above INT32_MAX: read as unsigned
    stampFrameClocks(ticks);
    float stamp = float(double(ticks) / 1000.0);
    EXPECT_EQ(frameClocks.frameStamp, stamp);
    EXPECT_GT(frameClocks.frameStamp, 3.9e6f);
    advanceFrameClocks(ticks + 20, ticks + 21);
    EXPECT_EQ(frameClocks.frameDelta, float(double(ticks + 20) / 1000.0 - double(stamp)));
    EXPECT_EQ(frameClocks.frameStamp, float(double(ticks + 21) / 1000.0));
}

namespace {

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

} // namespace

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
