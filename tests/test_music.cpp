// The audio layer: result texts, the audible-position arithmetic and the position notes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "media/audioclock.h"
#include "media/music.h"

// Known codes (19, 23 and 25 as the show prints them are test_show_e2e's) end in one space.
TEST(FmodResultTexts, KnownCodesEndInOneSpaceOthersAreUnknown)
{
    EXPECT_STREQ(describeFmodResult(0), "No errors.");
    for (int code = 1; code <= 86; ++code) {
        const char *text = describeFmodResult(code);
        ASSERT_GT(strlen(text), 1u) << code;
        EXPECT_EQ(text[strlen(text) - 1], ' ') << code;
        EXPECT_NE(text[strlen(text) - 2], ' ') << code;
    }
    for (int32_t code : {87, 1000, -1, INT32_MIN})
        EXPECT_STREQ(describeFmodResult(code), "Unknown error.") << code;
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

// A synthetic device taking buffers of 1024 frames with one more queued: callback k is due when
// buffer k - 1 starts to play. With callbacks moved off their time, a read every half millisecond
// never steps back nor passes what was rendered, and follows the device once they are on time again.
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
        OriginWindow window;
        clearOriginWindow(window);
        for (double now = 0; now < times.back() + period; now += 0.0005) {
            while (latest + 1 < callbacks && times[latest + 1] <= now) {
                ++latest;
                origin = findWindowOrigin(window, origin, int64_t(latest) * buffer, times[latest], buffer, rate);
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

// Callbacks of 1024 frames with two more buffers queued. The published origin is the earliest of
// the last 40: a late callback moves nothing, an early one is forgotten 40 callbacks later, a device
// clock running 0.1 % slow is followed, and a device that ran dry starts the window afresh.
TEST(AudibleFrame, WindowTakesTheEarliestOfTheLastCallbacks)
{
    constexpr int rate = 44100, buffer = 1024, queued = 2 * buffer;
    constexpr double period = double(buffer) / rate;
    OriginWindow window;
    clearOriginWindow(window);
    double origin = std::nan("");
    std::vector<double> published;
    auto call = [&](int k, double at) {
        origin = findWindowOrigin(window, origin, int64_t(k) * buffer, at, queued, rate);
        published.push_back(origin);
    };
    const double onTime = 5.0 + double(queued) / rate; // what every on-time callback implies
    for (int k = 0; k < 100; ++k)
        call(k, 5.0 + k * period + (k == 20) * 0.015 - (k == 30) * 0.003);
    EXPECT_DOUBLE_EQ(published[19], onTime);
    EXPECT_DOUBLE_EQ(published[20], onTime);        // late: nothing moves
    EXPECT_DOUBLE_EQ(published[30], onTime - 0.003); // early: taken
    EXPECT_DOUBLE_EQ(published[69], onTime - 0.003);
    EXPECT_DOUBLE_EQ(published[70], onTime);        // and forgotten
    // 0.1 % slow from callback 100 on: the origin trails it by at most the window's drift.
    for (int k = 100; k < 400; ++k)
        call(k, 5.0 + k * period + (k - 100) * period * 0.001);
    EXPECT_GT(origin, onTime + 250 * period * 0.001);
    EXPECT_LE(origin, onTime + 299 * period * 0.001);
    // Half a second without a callback: the device ran dry and what comes next is heard at once.
    call(400, 5.0 + 400 * period + 0.3 + 0.5);
    EXPECT_DOUBLE_EQ(origin, 5.0 + 400 * period + 0.3 + 0.5 - 400.0 * buffer / rate);
    call(401, 5.0 + 401 * period + 0.3 + 0.5);
    EXPECT_DOUBLE_EQ(origin, published[400]); // the origins from before it are gone
}

// Classic SDL 1.2 on ALSA: the device holds two buffers, the server behind it a third of one more.
// The callback's wait ends before the device has room (so it never delays the write), never lets
// the device hold less than a buffer, and with an origin a second off waits no more than most of a
// buffer, so the device still has sound when the write comes.
TEST(CallbackWait, EndsBeforeTheDeviceHasRoomAndNeverStarvesIt)
{
    EXPECT_TRUE(mustPaceCallback("alsa", false));
    for (const auto &[driver, onSdl2] : {std::pair<const char *, bool>{"alsa", true}, {"pulse", false},
                                         {"pipewire", true}, {"dummy", false}, {nullptr, false}})
        EXPECT_FALSE(mustPaceCallback(driver, onSdl2)) << (driver ? driver : "none") << onSdl2;

    constexpr int rate = 44100, buffer = 2048, queued = buffer * 23 / 10;
    constexpr double period = double(buffer) / rate;
    const double start = 3.0; // callback 0, on time, with nothing before it
    OriginWindow window;
    clearOriginWindow(window);
    double origin = std::nan("");
    for (int k = 0; k < 100; ++k) {
        const double entry = start + k * period; // the previous write found room at once
        origin = findWindowOrigin(window, origin, int64_t(k) * buffer, entry, queued, rate);
        const double wait = findCallbackWait(origin, int64_t(k + 1) * buffer, entry + 0.001, queued, buffer, rate);
        if (k == 0) {
            EXPECT_EQ(wait, 0.0); // nothing queued yet
            continue;
        }
        const double write = entry + 0.001 + wait;
        ASSERT_LE(write, entry + period - 0.15 * period) << k;   // before the room is there
        ASSERT_GE(write, entry + period - 0.25 * period) << k;   // and not long before
        const double heardAtWrite = (write - origin) * rate;     // what the device holds then
        ASSERT_GE(double(k + 1) * buffer - heardAtWrite, 1.0 * buffer) << k;
    }
    EXPECT_EQ(findCallbackWait(origin + 1.0, 200 * buffer, origin, queued, buffer, rate), 0.8 * period);
    EXPECT_EQ(findCallbackWait(origin - 1.0, 200 * buffer, origin + 200 * period, queued, buffer, rate), 0.0);
}

// Frames drawn in 20 ms and shown every 25 ms read 32.5 ms ahead: 20 ms to the screen and half
// of the 25 ms they stay there. One slow frame moves each part by its share of the frames kept.
TEST(FrameLead, ReadsAheadToTheMiddleOfTheTimeOnScreen)
{
    FrameLead lead;
    clearFrameLead(lead);
    EXPECT_EQ(findFrameLead(lead), 0.0);
    noteFrameShown(lead, 0.000, 0.020);
    EXPECT_EQ(findFrameLead(lead), 0.0); // how long a frame stays needs two
    for (int k = 1; k < 20; ++k)
        noteFrameShown(lead, k * 0.025, k * 0.025 + 0.020);
    EXPECT_NEAR(findFrameLead(lead), 0.0325, 1e-9);
    noteFrameShown(lead, 0.500, 0.600); // drawn in 100 ms, on screen 105 ms after the last
    EXPECT_NEAR(findFrameLead(lead), 0.020 + 0.080 / 8 + (0.025 + 0.080 / 7) / 2, 1e-9);
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
    // Orders of 64 rows at 256 frames a row; each lookup as order * 100 + row.
    for (int n = 0; n < 200; ++n)
        notePosition(notes, uint64_t(n) * 256, n / 64 % 3, n % 64);
    auto at = [&](uint64_t frame) {
        return findPositionAt(notes, frame, &stamp) ? stampOrder(stamp) * 100 + stampRow(stamp) : -1;
    };
    EXPECT_EQ(std::vector<int>({at(0), at(64 * 256 - 1), at(64 * 256), at(1000000)}),
              std::vector<int>({0, 63, 100, 7}));
    EXPECT_EQ(stampFrame(stamp), 199u * 256);

    // Once the ring has wrapped, old notes are gone rather than misread.
    for (int n = 200; n < 3 * positionStampCapacity; ++n)
        notePosition(notes, uint64_t(n) * 256, 9, n % 64);
    EXPECT_EQ(at(100 * 256), -1);
    EXPECT_EQ(at(uint64_t(3 * positionStampCapacity - 2) * 256 + 5), 900 + (3 * positionStampCapacity - 2) % 64);
}

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "media/soundserver.h"

// The server question at start-up never holds the show up: no server, or one that takes the
// connection and never answers, is "none" within the half second allowed.
TEST(SoundServer, NoAnswerIsNoServerWithinHalfASecond)
{
    const std::string path = "/tmp/show-mute-" + std::to_string(getpid());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    const char *before = getenv("PULSE_SERVER");
    const std::string kept = before ? before : "";
    for (const std::string &server : {"unix:" + path, "unix:" + path + "-nobody"}) {
        setenv("PULSE_SERVER", server.c_str(), 1);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(findSoundServer(), noSoundServer) << server;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.9) << server;
    }
    before ? setenv("PULSE_SERVER", kept.c_str(), 1) : unsetenv("PULSE_SERVER");
    close(listener);
    unlink(path.c_str());
}

#include <SDL/SDL.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/sdllibrary.h"
#include "xmwriter/xmwriter.h"

// On SDL's silent driver the position walks through every order, row by row, and wraps to order 0.
// Holding SDL's audio lock 40 ms in every 150 starves the callbacks: still no step back but the wrap.
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
