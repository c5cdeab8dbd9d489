// The committed soundtrack: its structure, the hits where the pictures flash, one rendered pass up
// to the wrap, and what a pace means for the pictures.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include "pace.h"
#include "support/openmpttempo.h"

namespace {

const int rate = 44100;
const int orderCount = 51;

std::vector<char> readModuleFile() {
    std::ifstream file(std::string(SHOW_SOURCE_DIR) + "/data/music/vrimla2.xm", std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct Levels {
    double sumSquares = 0.0;
    size_t samples = 0; // both channels
    double db() const { return 10.0 * std::log10(std::max(samples ? sumSquares / samples : 0.0, 1e-24)); }
};

// One pass from order 0 until the module is back at 0, rendered once for all tests. Peaks, silence
// and loudness per order are soundcheck's (music.SoundcheckLimitsHold).
struct RenderedPass {
    std::vector<int> orderSequence;
    std::vector<Levels> quarters = std::vector<Levels>(orderCount * 4); // rows 0-15, 16-31, 32-47, 48-63
};

const RenderedPass &renderedPass() {
    static RenderedPass pass = [] {
        RenderedPass p;
        std::ostringstream log;
        openmpt::module module(readModuleFile(), log);
        module.set_repeat_count(-1);
        std::vector<float> audio(64 * 2);
        p.orderSequence.push_back(module.get_current_order());
        for (size_t frames = 0; frames < static_cast<size_t>(400 * rate);) {
            int order = module.get_current_order(), row = module.get_current_row();
            if (order != p.orderSequence.back()) {
                p.orderSequence.push_back(order);
                if (order == 0)
                    break;
            }
            size_t got = module.read_interleaved_stereo(rate, 64, audio.data());
            if (got == 0 || order < 0 || order >= orderCount || row < 0 || row >= 64)
                break;
            Levels &levels = p.quarters[order * 4 + row / 16];
            for (size_t i = 0; i < got * 2; i++)
                levels.sumSquares += static_cast<double>(audio[i]) * audio[i];
            levels.samples += got * 2;
            frames += got;
        }
        return p;
    }();
    return pass;
}

// Whether some channel strikes one of the instruments on this row of the order's pattern.
bool rowStrikes(const openmpt::module &module, int order, int row, const std::set<int> &instruments) {
    int pattern = module.get_order_pattern(order);
    for (int channel = 0; channel < module.get_num_channels(); channel++) {
        int note = module.get_pattern_row_channel_command(pattern, row, channel, openmpt::module::command_note);
        int instrument = module.get_pattern_row_channel_command(pattern, row, channel, openmpt::module::command_instrument);
        if (note > 0 && note < 120 && instruments.count(instrument))
            return true;
    }
    return false;
}

} // namespace

TEST(SoundtrackStructure, OwnPatternsOfSixtyFourRowsAndHitsWhereThePicturesFlash) {
    std::ostringstream log;
    openmpt::module module(readModuleFile(), log);
    EXPECT_EQ(log.str(), "") << "libopenmpt warned while loading";
    // 60 ms a row: the pace the pictures' formulas were written for.
    EXPECT_EQ(module.get_current_speed(), 3);
    EXPECT_EQ(currentTempo(module), 125);
    ASSERT_EQ(module.get_num_orders(), orderCount);
    std::set<int> patterns;
    for (int order = 0; order < orderCount; order++) {
        patterns.insert(module.get_order_pattern(order));
        EXPECT_EQ(module.get_pattern_num_rows(module.get_order_pattern(order)), 64) << "order " << order;
    }
    EXPECT_EQ(patterns.size(), static_cast<size_t>(orderCount)) << "each order has its own pattern";
    // A crash or stab on row 0 where a flash or a new word appears, every 16 rows in 38-41.
    std::vector<std::string> names = module.get_instrument_names();
    std::set<int> hits;
    for (const char *name : {"crash", "stab"})
        hits.insert(static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin()) + 1);
    ASSERT_EQ(hits.count(static_cast<int>(names.size()) + 1), 0u) << "crash or stab is missing";
    for (int order : {8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 48, 49, 50})
        EXPECT_TRUE(rowStrikes(module, order, 0, hits)) << "no hit on row 0 of order " << order;
    for (int order = 38; order <= 41; order++)
        for (int row : {0, 16, 32, 48})
            EXPECT_TRUE(rowStrikes(module, order, row, hits)) << "no accent on row " << row << " of order " << order;
}

TEST(SoundtrackPass, PlaysEveryOrderOnceThenWrapsToTheFirst) {
    const RenderedPass &pass = renderedPass();
    std::vector<int> expected;
    for (int order = 0; order < orderCount; order++)
        expected.push_back(order);
    expected.push_back(0);
    EXPECT_EQ(pass.orderSequence, expected);
    for (int order = 0; order < orderCount; order++) {
        // 64 rows of 3 ticks at 125 BPM: 3.84 s an order.
        size_t samples = 0;
        for (int quarter = 0; quarter < 4; quarter++)
            samples += pass.quarters[order * 4 + quarter].samples;
        EXPECT_NEAR(samples / 2.0 / rate, 3.84, 0.01) << "order " << order;
    }
}

// Fades fall by 12 dB from the first to the last 16 rows, the closing chord dies away, other orders
// stay level, and no 16 rows are silent.
TEST(SoundtrackPass, FadesAreAudibleAndNoQuarterIsSilent) {
    const RenderedPass &pass = renderedPass();
    const std::set<int> fadeOrders = {7, 11, 15, 29, 49};
    for (int order = 0; order < orderCount; order++) {
        for (int quarter = 0; quarter < 4; quarter++)
            EXPECT_GT(pass.quarters[order * 4 + quarter].db(), -60.0) << "order " << order << " quarter " << quarter;
        double fall = pass.quarters[order * 4].db() - pass.quarters[order * 4 + 3].db();
        bool fades = fadeOrders.count(order), closing = order == orderCount - 1;
        EXPECT_TRUE(fades || closing ? fall > (fades ? 12.0 : 3.0) : fall < 6.0) << "order " << order << ": " << fall;
    }
}

// At the old pace of 7.68 s an order the check must find what the pictures then lose: the title
// gone before part 6, the scroller gone after part 36, each flight going round its track twice.
TEST(SoundtrackPace, SlowerOrdersHideTheTextsAndRepeatTheFlights) {
    OrderTimes slow;
    for (int order = 0; order < orderCount; order++)
        slow.visits.push_back({order, 7.68 * order});
    slow.end = 7.68 * orderCount;
    std::set<std::string> misses;
    for (const PacePoint &point : measurePace(slow, 1100))
        if (!point.holds)
            misses.insert(point.what + " " + std::to_string(point.firstPart));
    const std::set<std::string> expected = {
        "title on screen 6",     "title on screen 7",     "scroller on screen 37", "scroller on screen 38",
        "scroller on screen 39", "scroller on screen 40", "scroller on screen 41", "credits flight 22",
        "forest flight 42"};
    EXPECT_EQ(misses, expected) << formatPaceTable(measurePace(slow, 1100));
}
