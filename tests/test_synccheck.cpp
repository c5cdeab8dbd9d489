// synccheck's analysis on recordings, screens and modules made with known faults.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "synccheck/syncanalysis.h"
#include "xmwriter/xmwriter.h"

namespace {

// Music enough like the show's for the alignment: a drum-like burst every row and a held tone,
// with an envelope from a fixed pseudo-random sequence. When barFrames is set, every bar is the
// same bar, exactly: the soundtrack repeats itself as well.
std::vector<float> makeMusic(double seconds, int64_t barFrames = 0)
{
    std::vector<float> out(size_t(seconds * syncSampleRate));
    uint32_t seed = 12345;
    constexpr int64_t rowFrames = 2646; // 60 ms
    std::vector<float> rowLevel;
    for (size_t i = 0; i < out.size(); ++i) {
        const int64_t frame = barFrames ? int64_t(i) % barFrames : int64_t(i);
        const int64_t row = frame / rowFrames;
        while (int64_t(rowLevel.size()) <= row)
            rowLevel.push_back(0.2f + float((seed = seed * 1664525u + 1013904223u) >> 8) / float(1 << 24) * 0.6f);
        seed = seed * 1664525u + 1013904223u;
        const float noise = float(int32_t(seed) >> 8) / float(1 << 23);
        const float decay = std::exp(-float(frame % rowFrames) / 400.0f);
        out[i] = 0.5f * rowLevel[size_t(row)] * noise * decay +
                 0.2f * std::sin(float(frame) * 2.0f * 3.14159265f * (110.0f + 55.0f * float(row % 4)) / syncSampleRate);
    }
    return out;
}

struct Fault {
    double atSeconds;
    double ms; // silence put in when positive, sound left out when negative
};

// The recording of music behind leadSeconds of silence, quieter and with a little hiss, with the faults.
std::vector<float> recordWith(const std::vector<float> &music, double leadSeconds, const std::vector<Fault> &faults)
{
    std::vector<float> rec(size_t(leadSeconds * syncSampleRate), 0.0f);
    size_t from = 0;
    for (const Fault &f : faults) {
        const size_t at = size_t(f.atSeconds * syncSampleRate);
        rec.insert(rec.end(), music.begin() + int64_t(from), music.begin() + int64_t(at));
        const size_t frames = size_t(std::fabs(f.ms) * syncSampleRate / 1000);
        if (f.ms > 0)
            rec.insert(rec.end(), frames, 0.0f);
        from = f.ms > 0 ? at : at + frames;
    }
    rec.insert(rec.end(), music.begin() + int64_t(from), music.end());
    uint32_t seed = 99;
    for (float &x : rec) {
        seed = seed * 1664525u + 1013904223u;
        x = 0.7f * x + float(int32_t(seed) >> 8) / float(1 << 23) * 0.002f;
    }
    return rec;
}

} // namespace

TEST(SyncAlignment, FindsEachGapAndWhereTheSoundWasHeard)
{
    const std::vector<float> music = makeMusic(12.0), repeating = makeMusic(12.0, 32 * 2646);
    const struct {
        const char *what;
        const std::vector<float> *music;
        std::vector<Fault> faults;
    } cases[] = {
        {"clean", &music, {}},
        {"one dropout", &music, {{5.0, 40}}},
        {"short, long and lost sound", &music, {{3.0, 15}, {6.0, 200}, {9.0, -30}}},
        {"a dropout in music that repeats bar for bar", &repeating, {{7.0, 50}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const double lead = 1.3;
        const Alignment a = alignRecording(*c.music, recordWith(*c.music, lead, c.faults));
        ASSERT_EQ(a.gaps.size(), c.faults.size());
        double shiftMs = lead * 1000;
        for (size_t i = 0; i < c.faults.size(); ++i) {
            EXPECT_NEAR(double(a.gaps[i].frames) * 1000 / syncSampleRate, c.faults[i].ms, 0.5);
            EXPECT_NEAR(double(a.gaps[i].referenceFrame) / syncSampleRate, c.faults[i].atSeconds, 0.1);
            shiftMs += c.faults[i].ms;
        }
        EXPECT_LE(a.lostFrames.size(), 4 * c.faults.size());
        // The blocks lost are those around a fault.
        for (int64_t frame : a.lostFrames) {
            double nearest = 1e9;
            for (const auto &f : c.faults)
                nearest = std::min(nearest, std::fabs(double(frame) / syncSampleRate - f.atSeconds));
            EXPECT_LT(nearest, 0.2) << "lost block at " << double(frame) / syncSampleRate << " s";
        }
        // A frame well after the last fault is found where the faults put it.
        const int64_t late = int64_t(11.0 * syncSampleRate);
        EXPECT_NEAR(double(findRecordingFrame(a, late) - late) * 1000 / syncSampleRate, shiftMs, 0.1);
    }
    EXPECT_TRUE(alignRecording(music, std::vector<float>(music.size(), 0.0f)).blocks.empty());
}

TEST(SyncTiming, SinkClockFlashesAndOffsets)
{
    // Reads of 10 ms arrive from 100 s on, up to 2 ms late and once 40 ms late; from 5 s on all
    // 20 ms later (the sink had stopped for that long). By the server's account the sink plays
    // 40 ms behind the earliest arrivals, now and then a millisecond more or less, and for half a second 30 ms
    // more than that.
    std::vector<SinkClockNote> notes;
    for (int k = 0; k < 1000; ++k) {
        const int64_t recorded = int64_t(k + 1) * 441;
        const double stopped = (k >= 500) * 0.02;
        const double arrival = 100.0 + recorded / 44100.0 + (k % 3) * 0.001 + (k == 150) * 0.04 + stopped;
        const double sinkOrigin = 100.04 + stopped + (k % 10 == 0) * 0.001 - (k % 10 == 5) * 0.001 + (k >= 300 && k < 350) * 0.03;
        notes.push_back({std::llround((arrival - sinkOrigin) * 44100), recorded, arrival});
    }
    EXPECT_NEAR(findSinkSeconds(notes, 44100), 101.04, 2e-5);
    EXPECT_NEAR(findSinkSeconds(notes, int64_t(9.5 * 44100)), 109.56, 2e-5);
    EXPECT_NEAR(findSinkSeconds(notes, 30 * 44100), 130.06, 2e-5); // past the notes: the last, carried on
    EXPECT_TRUE(std::isnan(findSinkSeconds({}, 0)));

    // Polls every millisecond; white frames appear at 1.0105, 2.0405 and 3.9955 s and fade over
    // 100 ms; a frame at 3.05 s is only half white and is no flash.
    std::vector<ScreenPoll> polls;
    for (int k = 0; k < 5000; ++k) {
        const double t = k * 0.001;
        float share = 0;
        for (double on : {1.0105, 2.0405, 3.9955})
            if (t >= on && t < on + 0.1)
                share = t < on + 0.03 ? 1.0f : 0.5f;
        if (t >= 3.05 && t < 3.07)
            share = 0.5f;
        polls.push_back({t, share});
    }
    const std::vector<double> onsets = findFlashOnsets(polls);
    ASSERT_EQ(onsets.size(), 3u);
    EXPECT_NEAR(onsets[0], 1.0105, 1e-9);
    EXPECT_NEAR(onsets[2], 3.9955, 1e-9);

    // Sounds at 1.0, 2.05, 3.0 (its flash never came) and 4.0 s.
    const std::vector<FlashMatch> m = matchFlashes({8, 9, 10, 11}, {1.0, 2.05, 3.0, 4.0}, onsets);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_NEAR(m[0].offsetMs, 10.5, 1e-6);
    EXPECT_NEAR(m[1].offsetMs, -9.5, 1e-6);
    EXPECT_TRUE(std::isnan(m[2].offsetMs));
    EXPECT_EQ(m[3].order, 11);
    const OffsetSummary s = summarizeOffsets(m);
    EXPECT_EQ(s.matched, 3);
    EXPECT_EQ(s.missed, 1);
    EXPECT_NEAR(s.meanMs, (10.5 - 9.5 - 4.5) / 3, 1e-6);
    EXPECT_NEAR(s.sdMs, std::sqrt((std::pow(10.5 + 3.5 / 3, 2) + std::pow(-9.5 + 3.5 / 3, 2) +
                                   std::pow(-4.5 + 3.5 / 3, 2)) / 2),
                1e-6);
}

TEST(SyncStage, OrdersOutsideTheStagePlayOneEmptyRow)
{
    const std::vector<uint8_t> module = makeShortTestModule(20, 16);
    std::string error;
    const std::vector<uint8_t> stage = makeStageModule(module, 8, 10, &error);
    ASSERT_FALSE(stage.empty()) << error;
    openmpt_module *m = openmpt_module_create_from_memory2(stage.data(), stage.size(), nullptr, nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(openmpt_module_get_num_orders(m), 20);
    for (int order = 0; order < 20; ++order) {
        const int rows = openmpt_module_get_pattern_num_rows(m, openmpt_module_get_order_pattern(m, order));
        EXPECT_EQ(rows, order >= 8 && order <= 10 ? 16 : 1) << order;
    }
    openmpt_module_destroy(m);

    // The soundtrack's stage: orders 8-16 at their 3.84 s each, everything else in a moment.
    std::ifstream file(std::string(SHOW_SOURCE_DIR) + "/data/music/vrimla2.xm", std::ios::binary);
    const std::vector<uint8_t> soundtrack{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::vector<uint8_t> showStage = makeStageModule(soundtrack, 8, 16, &error);
    ASSERT_FALSE(showStage.empty()) << error;
    m = openmpt_module_create_from_memory2(showStage.data(), showStage.size(), nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(openmpt_module_get_duration_seconds(m), 9 * 3.84, 3.0);
    double starts[3];
    for (int k = 0; k < 3; ++k)
        starts[k] = openmpt_module_set_position_order_row(m, 8 + 4 * k, 0);
    EXPECT_LT(starts[0], 1.0);
    EXPECT_NEAR(starts[1] - starts[0], 4 * 3.84, 0.01);
    EXPECT_NEAR(starts[2] - starts[0], 8 * 3.84, 0.01);
    openmpt_module_destroy(m);

    const struct {
        std::vector<uint8_t> bytes;
        int first, last;
    } bad[] = {
        {std::vector<uint8_t>(400, 'x'), 8, 10},
        {module, 12, 25},
        {module, 5, 4},
        {std::vector<uint8_t>(module.begin(), module.begin() + 400), 8, 10},
    };
    for (const auto &b : bad) {
        error.clear();
        EXPECT_TRUE(makeStageModule(b.bytes, b.first, b.last, &error).empty());
        EXPECT_FALSE(error.empty());
    }
}

TEST(SyncScreen, ReadsXvfbFramebufferFile)
{
    // Header of 100 bytes and a 4-byte name, two colour entries, then 40 x 30 pixels, 32 bits each.
    const uint32_t header[25] = {104, 7, 2, 24, 40, 30, 0, 0, 32, 0, 32, 32, 160, 4, 0xff0000, 0xff00, 0xff,
                                 8, 2, 2, 40, 30, 0, 0, 0};
    std::vector<uint8_t> file(104 + 2 * 12 + 160 * 30, 0);
    for (int i = 0; i < 25; ++i)
        for (int b = 0; b < 4; ++b)
            file[size_t(i * 4 + b)] = uint8_t(header[i] >> (24 - 8 * b));
    XwdLayout layout;
    ASSERT_TRUE(readXwdLayout(file.data(), file.size(), &layout));
    EXPECT_EQ(layout.pixelOffset, 128u);
    EXPECT_EQ(layout.width, 40u);
    EXPECT_EQ(measureWhiteShare(file.data(), layout), 0.0f);
    // The left half white, and one more column whose blue falls short.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 22; ++x)
            memset(&file[128 + size_t(y) * 160 + size_t(x) * 4], x == 21 ? 200 : 255, 3);
    EXPECT_EQ(measureWhiteShare(file.data(), layout), 0.5f);

    EXPECT_FALSE(readXwdLayout(file.data(), file.size() - 1, &layout));
    EXPECT_FALSE(readXwdLayout(file.data(), 99, &layout));
    file[7] = 6;
    EXPECT_FALSE(readXwdLayout(file.data(), file.size(), &layout));
}
