// The audio layer: result texts, the audible-position arithmetic and the position notes.
#include <gtest/gtest.h>

#include <cmath>
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
    const double first = std::nan("");
    const double origin = findAudibleOrigin(first, 44100, 10.0, 1024, 44100);
    const int64_t rendered = 44100 + 1024;
    // At the callback the device still holds one buffer of what came before.
    EXPECT_EQ(estimateAudibleFrame(origin, rendered, 10.0, 44100, 0), 44100 - 1024);
    // 10 ms later, 441 frames more have left the speaker.
    EXPECT_EQ(estimateAudibleFrame(origin, rendered, 10.010, 44100, 0), 44100 - 1024 + 441);
    // A stalled device never makes us report audio that was not rendered, and no read goes back
    // before the one it follows.
    EXPECT_EQ(estimateAudibleFrame(origin, rendered, 12.0, 44100, 0), rendered);
    EXPECT_EQ(estimateAudibleFrame(origin, rendered, 10.0, 44100, 44100 - 500), 44100 - 500);
    // The next callback 10 ms late finds 441 frames less queued: the timeline goes on unchanged.
    EXPECT_DOUBLE_EQ(findAudibleOrigin(origin, rendered, 10.0 + 1024.0 / 44100 + 0.010, 1024, 44100), origin);
    // One a second late finds the device dry: what it renders is heard from now on.
    const double dry = findAudibleOrigin(origin, rendered, 11.0, 1024, 44100);
    EXPECT_EQ(estimateAudibleFrame(dry, rendered + 1024, 11.0, 44100, 0), rendered);
    // Before anything has been heard.
    EXPECT_EQ(estimateAudibleFrame(findAudibleOrigin(first, 0, 1.0, 1024, 44100), 1024, 1.0, 44100, 0), 0);
}

// A synthetic device at 44.1 kHz taking buffers of 1024 frames with one more queued: callback k is
// due when buffer k - 1 starts to play. Each case moves some callbacks off their time; a read every
// half millisecond must never step back nor pass what was rendered, and once the callbacks are on
// time again it must follow the device exactly.
TEST(AudibleFrame, OnlyMovesForwardWhenCallbacksComeLateEarlyBunchedOrNotAtAll)
{
    constexpr int rate = 44100, buffer = 1024, callbacks = 60;
    constexpr double period = double(buffer) / rate;
    const struct {
        const char *what;
        double (*at)(int k, double due);
    } cases[] = {
        {"on time", [](int, double due) { return due; }},
        {"late", [](int k, double due) { return k == 10 || k == 25 ? due + 0.015 : due; }},
        {"early", [](int k, double due) { return k % 7 == 3 && k < 40 ? due - 0.004 : due; }},
        {"bunched", [](int k, double due) { return k >= 20 && k < 24 ? 23 * period : due; }},
        // The device stalls for 100 ms from callback 30 on: nothing is rendered nor played meanwhile.
        {"missing", [](int k, double due) { return k >= 30 ? due + 0.1 : due; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> times;
        for (int k = 0; k < callbacks; ++k)
            times.push_back(c.at(k, k * period));
        int64_t heard = 0;
        int latest = -1;
        double origin = std::nan("");
        for (double now = 0; now < times.back() + period; now += 0.0005) {
            while (latest + 1 < callbacks && times[latest + 1] <= now) {
                ++latest;
                origin = findAudibleOrigin(origin, int64_t(latest) * buffer, times[latest], buffer, rate);
            }
            if (latest < 0)
                continue;
            const int64_t rendered = int64_t(latest + 1) * buffer;
            const int64_t next = estimateAudibleFrame(origin, rendered, now, rate, heard);
            ASSERT_GE(next, heard) << "at " << now;
            ASSERT_LE(next, rendered) << "at " << now;
            heard = next;
            if (latest >= 42) {
                ASSERT_EQ(heard, std::llround((now - origin) * rate)) << "at " << now;
            }
        }
    }
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

#include "support/sdllibrary.h"
#include "xmwriter/xmwriter.h"

// The live layer on SDL's silent driver: the position the frame loop reads walks through every
// order, row by row, and comes back to order 0 after the last one. Every 150 ms the test holds
// SDL's audio lock for 40 ms, so the callbacks come late and bunched as on a starved machine: the
// read must still never step back but for the wrap.
TEST(MusicPlayback, PositionWalksForwardAndWrapsEvenWhenTheAudioThreadStarves)
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
    expectIntendedSdlLoaded(getpid());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "FMOD .. working\n");
    EXPECT_EQ(fmodResult, FMOD_OK);
    startPlayback();

    std::vector<int32_t> orders;
    int32_t lastOrder = -1, lastRow = -1, rowsSeen = 0, stepsBack = 0;
    bool audioHeld = false;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        const auto sinceStart = std::chrono::steady_clock::now() - start;
        const bool hold = sinceStart % std::chrono::milliseconds(150) < std::chrono::milliseconds(40);
        if (hold != audioHeld) {
            hold ? SDL_LockAudio() : SDL_UnlockAudio();
            audioHeld = hold;
        }
        int32_t order = -7, row = -7;
        readMusicPosition(&order, &row);
        ASSERT_GE(order, 0);
        ASSERT_LT(order, 6);
        ASSERT_GE(row, 0);
        ASSERT_LT(row, 8);
        if (orders.empty() || orders.back() != order)
            orders.push_back(order);
        const bool wrap = lastOrder == 5 && order == 0;
        stepsBack += !wrap && (order < lastOrder || (order == lastOrder && row < lastRow));
        rowsSeen += row != lastRow;
        lastOrder = order;
        lastRow = row;
        if (orders.size() >= 14)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (audioHeld)
        SDL_UnlockAudio();
    SDL_Quit();
    ASSERT_EQ(chdir(here.c_str()), 0);
    fs::remove_all(dir);
    const std::vector<int32_t> expected = {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1};
    EXPECT_EQ(orders, expected);
    EXPECT_EQ(stepsBack, 0);
    EXPECT_GT(rowsSeen, 60); // rows of ~10 ms, read every few ms
}
