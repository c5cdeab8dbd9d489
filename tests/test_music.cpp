// The audio layer: result texts, the audible-position arithmetic and the position notes.
#include <gtest/gtest.h>

#include <cstring>

#include "media/audioclock.h"
#include "media/music.h"

TEST(FmodResultTexts, PublishedTextsAndUnknownCodes)
{
    EXPECT_STREQ(describeFmodResult(0), "No errors.");
    EXPECT_STREQ(describeFmodResult(19), "Error loading file. ");
    EXPECT_STREQ(describeFmodResult(23), "File not found. ");
    EXPECT_STREQ(describeFmodResult(25), "Unsupported file or audio format. ");
    EXPECT_STREQ(describeFmodResult(FMOD_ERR_MEMORY), "Not enough memory or resources. ");
    EXPECT_STREQ(describeFmodResult(60), "Error initializing output device. ");
    EXPECT_STREQ(describeFmodResult(86),
                 "The requested event, event group, event category or event property could not be found. ");
    EXPECT_STREQ(describeFmodResult(87), "Unknown error.");
    EXPECT_STREQ(describeFmodResult(1000), "Unknown error.");
    EXPECT_STREQ(describeFmodResult(-1), "Unknown error.");
    EXPECT_STREQ(describeFmodResult(INT32_MIN), "Unknown error.");
    for (int code = 1; code <= 86; ++code) {
        const char *text = describeFmodResult(code);
        ASSERT_GT(strlen(text), 1u) << code;
        EXPECT_EQ(text[strlen(text) - 1], ' ') << code;
        EXPECT_NE(text[strlen(text) - 2], ' ') << code;
    }
}

TEST(AudibleFrame, FollowsTheClockBehindWhatIsQueued)
{
    const CallbackTiming latest{44100, 10.0};
    const int rendered = 44100 + 1024;
    // At the callback the device still holds one buffer of what came before.
    EXPECT_EQ(estimateAudibleFrame(latest, rendered, 10.0, 1024, 44100), 44100 - 1024);
    // 10 ms later, 441 frames more have left the speaker.
    EXPECT_EQ(estimateAudibleFrame(latest, rendered, 10.010, 1024, 44100), 44100 - 1024 + 441);
    // A stalled device never makes us report audio that was not rendered.
    EXPECT_EQ(estimateAudibleFrame(latest, rendered, 12.0, 1024, 44100), rendered);
    // A clock reading from before the callback (another core's view) does not go backwards past it.
    EXPECT_EQ(estimateAudibleFrame(latest, rendered, 9.5, 1024, 44100), 44100 - 1024);
    // Before anything has been heard.
    EXPECT_EQ(estimateAudibleFrame(CallbackTiming{0, 1.0}, 1024, 1.0, 1024, 44100), 0);
}

TEST(PositionNotes, PackAndFindTheNoteThatIsPlaying)
{
    EXPECT_EQ(stampFrame(packPositionStamp(123456789012ull, 50, 63)), 123456789012ull);
    EXPECT_EQ(stampOrder(packPositionStamp(7, 50, 63)), 50);
    EXPECT_EQ(stampRow(packPositionStamp(7, 50, 63)), 63);

    static PositionStamps notes;
    clearPositionStamps(notes);
    uint64_t stamp = 0;
    EXPECT_FALSE(findPositionAt(notes, 1000, &stamp));
    // An order of 64 rows at 256 frames a row, then the wrap to order 0.
    for (int n = 0; n < 200; ++n)
        notePosition(notes, uint64_t(n) * 256, n / 64 % 3, n % 64);
    ASSERT_TRUE(findPositionAt(notes, 0, &stamp));
    EXPECT_EQ(stampOrder(stamp), 0);
    EXPECT_EQ(stampRow(stamp), 0);
    ASSERT_TRUE(findPositionAt(notes, 64 * 256 - 1, &stamp));
    EXPECT_EQ(stampOrder(stamp), 0);
    EXPECT_EQ(stampRow(stamp), 63);
    ASSERT_TRUE(findPositionAt(notes, 64 * 256, &stamp));
    EXPECT_EQ(stampOrder(stamp), 1);
    EXPECT_EQ(stampRow(stamp), 0);
    ASSERT_TRUE(findPositionAt(notes, 1000000, &stamp));
    EXPECT_EQ(stampFrame(stamp), 199u * 256);

    // Once the ring has wrapped, old notes are gone rather than misread.
    for (int n = 200; n < 3 * positionStampCapacity; ++n)
        notePosition(notes, uint64_t(n) * 256, 9, n % 64);
    EXPECT_FALSE(findPositionAt(notes, 100 * 256, &stamp));
    ASSERT_TRUE(findPositionAt(notes, uint64_t(3 * positionStampCapacity - 2) * 256 + 5, &stamp));
    EXPECT_EQ(stampRow(stamp), (3 * positionStampCapacity - 2) % 64);
}

#include <SDL/SDL.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "xmwriter/xmwriter.h"

// The live layer on SDL's silent driver: the position the frame loop reads walks through every
// order, row by row, and comes back to order 0 after the last one.
TEST(MusicPlayback, PositionWalksTheOrdersAndWrapsToTheFirst)
{
    namespace fs = std::filesystem;
    std::string dir = fs::temp_directory_path() / ("music-" + std::to_string(getpid()));
    fs::create_directories(dir + "/data/music");
    ASSERT_TRUE(writeFileBytes(dir + "/data/music/vrimla2.xm", makeShortTestModule(6, 8)));
    std::string here = fs::current_path();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_NOPARACHUTE), 0);

    testing::internal::CaptureStdout();
    startMusic();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "FMOD .. working\n");
    EXPECT_EQ(fmodResult, FMOD_OK);
    startPlayback();

    std::vector<int32_t> orders;
    int32_t lastRow = -1, rowsSeen = 0;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        int32_t order = -7, row = -7;
        readMusicPosition(&order, &row);
        ASSERT_GE(order, 0);
        ASSERT_LT(order, 6);
        ASSERT_GE(row, 0);
        ASSERT_LT(row, 8);
        if (orders.empty() || orders.back() != order)
            orders.push_back(order);
        if (row != lastRow)
            ++rowsSeen;
        lastRow = row;
        if (orders.size() >= 8)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    SDL_Quit();
    ASSERT_EQ(chdir(here.c_str()), 0);
    fs::remove_all(dir);
    ASSERT_GE(orders.size(), 8u);
    const std::vector<int32_t> expected = {0, 1, 2, 3, 4, 5, 0, 1};
    EXPECT_EQ(orders, expected);
    EXPECT_GT(rowsSeen, 30); // rows of ~10 ms, read every few ms
}
