// The committed soundtrack: its structure, the hits where the pictures flash, and the
// levels of one rendered pass up to the wrap.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <libopenmpt/libopenmpt.hpp>

namespace {

const int rate = 44100;
const int orderCount = 51;
const int rowsPerPattern = 64;
// Where the show flashes or shows a new word on row 0.
const std::vector<int> rowZeroHitOrders = {8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 48, 49, 50};
// Flashes every 16 rows.
const std::vector<int> beatAccentOrders = {38, 39, 40, 41};
const std::vector<int> fadeOrders = {7, 11, 15, 29, 49};
// Meant to be quiet: the intro, the fades and the closing chord.
const std::set<int> quietOrders = {0, 1, 2, 3, 7, 11, 15, 29, 49, 50};

std::vector<char> readModuleFile() {
    std::ifstream file(std::string(SHOW_SOURCE_DIR) + "/data/music/vrimla2.xm", std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

double toDb(double level) { return 20.0 * std::log10(std::max(level, 1e-12)); }

struct Levels {
    double peak = 0.0;
    double sumSquares = 0.0;
    size_t samples = 0;
};

double rmsDb(const Levels &levels) { return toDb(levels.samples ? std::sqrt(levels.sumSquares / levels.samples) : 0.0); }

// One pass, rendered once for the whole suite: from order 0 until the module is back at 0.
struct RenderedPass {
    std::string log;
    std::vector<int> orderSequence;
    std::vector<size_t> orderFrames = std::vector<size_t>(orderCount, 0);
    std::vector<Levels> orders = std::vector<Levels>(orderCount);
    std::vector<Levels> quarters = std::vector<Levels>(orderCount * 4); // rows 0-15, 16-31, 32-47, 48-63
    size_t frames = 0;
    bool wrapped = false;
};

RenderedPass renderPass() {
    RenderedPass pass;
    std::ostringstream log;
    openmpt::module module(readModuleFile(), log);
    module.set_repeat_count(-1);
    const size_t block = 64;
    std::vector<float> audio(block * 2);
    int previous = module.get_current_order();
    pass.orderSequence.push_back(previous);
    while (pass.frames < static_cast<size_t>(600 * rate)) {
        int order = module.get_current_order();
        int row = module.get_current_row();
        if (order != previous) {
            pass.orderSequence.push_back(order);
            if (previous == orderCount - 1 && order == 0) {
                pass.wrapped = true;
                break;
            }
            previous = order;
        }
        size_t got = module.read_interleaved_stereo(rate, block, audio.data());
        if (got == 0)
            break;
        if (order >= 0 && order < orderCount && row >= 0 && row < rowsPerPattern) {
            for (Levels *levels : {&pass.orders[order], &pass.quarters[order * 4 + row / 16]})
                for (size_t i = 0; i < got * 2; i++) {
                    levels->peak = std::max(levels->peak, static_cast<double>(std::fabs(audio[i])));
                    levels->sumSquares += static_cast<double>(audio[i]) * audio[i];
                    levels->samples++;
                }
            pass.orderFrames[order] += got;
        }
        pass.frames += got;
    }
    pass.log = log.str();
    return pass;
}

class SoundtrackPass : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pass = new RenderedPass(renderPass()); }
    static void TearDownTestSuite() { delete pass; }
    static RenderedPass *pass;
};
RenderedPass *SoundtrackPass::pass = nullptr;

int findInstrument(const openmpt::module &module, const std::string &name) {
    std::vector<std::string> names = module.get_instrument_names();
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin()) + 1;
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

TEST(SoundtrackStructure, FiftyOneOrdersOfSixtyFourRows) {
    std::ostringstream log;
    openmpt::module module(readModuleFile(), log);
    EXPECT_EQ(log.str(), "") << "libopenmpt warned while loading";
    EXPECT_EQ(module.get_metadata("type"), "xm");
    ASSERT_EQ(module.get_num_orders(), orderCount);
    std::set<int> patterns;
    for (int order = 0; order < orderCount; order++) {
        int pattern = module.get_order_pattern(order);
        patterns.insert(pattern);
        EXPECT_EQ(module.get_pattern_num_rows(pattern), rowsPerPattern) << "order " << order;
    }
    EXPECT_EQ(patterns.size(), static_cast<size_t>(orderCount)) << "each order has its own pattern";
    EXPECT_EQ(module.get_current_speed(), 6);
    EXPECT_EQ(module.get_current_tempo(), 125);
    for (const char *name : {"kick", "snare", "closed hat", "open hat", "crash", "bass", "pad", "lead", "arp", "stab"})
        EXPECT_GT(findInstrument(module, name), 0) << name;
}

TEST(SoundtrackStructure, HitsWhereThePicturesFlash) {
    std::ostringstream log;
    openmpt::module module(readModuleFile(), log);
    std::set<int> hits = {findInstrument(module, "crash"), findInstrument(module, "stab")};
    ASSERT_EQ(hits.count(-1), 0u);
    for (int order : rowZeroHitOrders)
        EXPECT_TRUE(rowStrikes(module, order, 0, hits)) << "no hit on row 0 of order " << order;
    for (int order : beatAccentOrders)
        for (int row : {0, 16, 32, 48})
            EXPECT_TRUE(rowStrikes(module, order, row, hits)) << "no accent on row " << row << " of order " << order;
    // The closing chord is struck once: nothing new after the first bar but the bells.
    int pattern = module.get_order_pattern(orderCount - 1);
    int stab = findInstrument(module, "stab"), pad = findInstrument(module, "pad");
    for (int row = 16; row < rowsPerPattern; row++)
        EXPECT_FALSE(rowStrikes(module, orderCount - 1, row, {stab, pad})) << "row " << row << " of pattern " << pattern;
}

TEST(SoundtrackStructure, LoadsThroughTheCInterfaceWithoutLogMessages) {
    std::vector<char> bytes = readModuleFile();
    std::vector<std::string> messages;
    openmpt_log_func collect = [](const char *message, void *user) {
        static_cast<std::vector<std::string> *>(user)->push_back(message);
    };
    int error = 0;
    const char *errorMessage = nullptr;
    openmpt_module *module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), collect, &messages, nullptr,
                                                                nullptr, &error, &errorMessage, nullptr);
    ASSERT_NE(module, nullptr) << (errorMessage ? errorMessage : "");
    EXPECT_EQ(openmpt_module_get_num_orders(module), orderCount);
    openmpt_module_destroy(module);
    if (errorMessage)
        openmpt_free_string(errorMessage);
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(SoundtrackPass, OnePassTakesFiveToEightMinutesAndWraps) {
    EXPECT_EQ(pass->log, "");
    EXPECT_TRUE(pass->wrapped);
    std::vector<int> expected;
    for (int order = 0; order < orderCount; order++)
        expected.push_back(order);
    expected.push_back(0);
    EXPECT_EQ(pass->orderSequence, expected);
    double seconds = static_cast<double>(pass->frames) / rate;
    EXPECT_GE(seconds, 300.0);
    EXPECT_LE(seconds, 480.0);
    // 64 rows of 6 ticks at 125 BPM: 7.68 s an order.
    for (int order = 0; order < orderCount; order++)
        EXPECT_NEAR(static_cast<double>(pass->orderFrames[order]) / rate, 7.68, 0.01) << "order " << order;
}

TEST_F(SoundtrackPass, NoClippingNoSilenceEvenLoudness) {
    std::vector<double> loudness;
    for (const Levels &levels : pass->orders)
        loudness.push_back(rmsDb(levels));
    std::vector<double> sorted = loudness;
    std::sort(sorted.begin(), sorted.end());
    double median = sorted[orderCount / 2];
    for (int order = 0; order < orderCount; order++) {
        EXPECT_LT(toDb(pass->orders[order].peak), -0.3) << "order " << order << " clips";
        EXPECT_GT(loudness[order], -45.0) << "order " << order << " is silent";
        for (int quarter = 0; quarter < 4; quarter++)
            EXPECT_GT(rmsDb(pass->quarters[order * 4 + quarter]), -60.0) << "order " << order << " quarter " << quarter;
        if (!quietOrders.count(order)) {
            EXPECT_NEAR(loudness[order], median, 6.0) << "order " << order;
        }
    }
}

TEST_F(SoundtrackPass, FadesAreAudibleAndOtherOrdersHoldTheirLevel) {
    for (int order = 0; order < orderCount; order++) {
        double first = rmsDb(pass->quarters[order * 4]);
        double last = rmsDb(pass->quarters[order * 4 + 3]);
        bool fades = std::find(fadeOrders.begin(), fadeOrders.end(), order) != fadeOrders.end();
        if (fades) {
            EXPECT_GT(first - last, 12.0) << "order " << order << " should fade";
        } else if (order != orderCount - 1) {
            EXPECT_LT(first - last, 6.0) << "order " << order << " should not fade";
        }
    }
    // The closing chord dies away but still sounds under the last words.
    double closingStart = rmsDb(pass->quarters[(orderCount - 1) * 4]);
    double closingEnd = rmsDb(pass->quarters[(orderCount - 1) * 4 + 3]);
    EXPECT_GT(closingStart - closingEnd, 3.0);
    EXPECT_GT(closingEnd, -40.0);
}
