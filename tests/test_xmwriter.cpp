// The XM writer's output read back and played through libopenmpt. How its samples and envelopes
// sound is pinned by the soundtrack's byte-identical regeneration (music.RegeneratesByteIdentical).
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include "support/openmpttempo.h"
#include "xmwriter/xmwriter.h"

namespace {

const int rate = 44100;
using M = openmpt::module;

// An instrument of one looped sine of 100-frame periods, tuned so that C-4 plays it at 441 Hz.
XmInstrument makeSine(bool sixteenBit, int periods = 4, const char *name = "sine") {
    XmSample sample;
    sample.sixteenBit = sixteenBit;
    for (int n = 0; n < periods * 100; n++)
        sample.data.push_back(static_cast<int16_t>(std::lround(std::sin(M_PI * n / 50.0) * (sixteenBit ? 25600 : 100))));
    sample.loop = XM_LOOP_FORWARD;
    sample.loopLength = static_cast<uint32_t>(sample.data.size());
    tuneXmSample(sample, 44100.0, XM_NOTE_C4);
    XmInstrument instrument;
    instrument.name = name;
    instrument.samples.push_back(sample);
    return instrument;
}

// Orders seen while playing with endless repetition, one entry per change of order.
std::vector<int> watchOrders(const std::vector<uint8_t> &bytes, size_t changes) {
    std::ostringstream log;
    M module(bytes, log);
    module.set_repeat_count(-1);
    std::vector<int> seen = {module.get_current_order()};
    std::vector<float> block(256 * 2);
    for (int guard = 0; guard < 200000 && seen.size() < changes; guard++)
        if (module.read_interleaved_stereo(rate, 256, block.data()) == 0)
            break;
        else if (module.get_current_order() != seen.back())
            seen.push_back(module.get_current_order());
    return seen;
}

// Three orders over two patterns of different lengths, six channels, two instruments, restart 1.
XmModule makeStructureModule() {
    XmModule module;
    module.name = "structure";
    module.channels = 6;
    module.speed = 5;
    module.tempo = 140;
    module.restartPosition = 1;
    module.instruments = {makeSine(true, 1, "first"), makeSine(false, 1, "second")};
    XmPattern shortPattern, longPattern;
    shortPattern.rows = 16;
    editXmCell(shortPattern, module.channels, 3, 5) = {XM_NOTE_C4 + 2, 2, xmSetVolume(40), XM_FX_SET_PANNING, 0x30};
    editXmCell(shortPattern, module.channels, 15, 1) = {XM_KEY_OFF, 0, 0, XM_FX_SET_GLOBAL_VOLUME, 0};
    longPattern.rows = 100;
    editXmCell(longPattern, module.channels, 99, 0) = {1, 1, 0, 0, 0};
    module.patterns = {shortPattern, longPattern};
    module.orders = {1, 0, 1};
    return module;
}

} // namespace

TEST(XmWriterStructure, ReadsBackThroughLibopenmptAndWrapsToTheRestartPosition) {
    std::ostringstream log;
    M module(encodeXmModule(makeStructureModule()), log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(module.get_metadata("title"), "structure");
    // Orders, their patterns, rows, channels, speed and tempo.
    EXPECT_EQ(std::vector<int>({module.get_num_orders(), module.get_order_pattern(0), module.get_order_pattern(1),
                                module.get_pattern_num_rows(0), module.get_pattern_num_rows(1),
                                module.get_num_channels(), module.get_current_speed(), currentTempo(module)}),
              std::vector<int>({3, 1, 0, 16, 100, 6, 5, 140}));
    EXPECT_EQ(module.get_instrument_names(), (std::vector<std::string>{"first", "second"}));
    // Packed cells: all five fields, a key off with a zero-parameter effect, a lone note in row 99.
    EXPECT_EQ(module.format_pattern_row_channel(0, 3, 5), "D-5 02v28 830");
    EXPECT_EQ(module.format_pattern_row_channel_command(0, 15, 1, M::command_note), "===");
    EXPECT_EQ(module.format_pattern_row_channel(1, 99, 0).substr(0, 6), "C-1 01");
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 3, 4, M::command_note), 0);
    EXPECT_EQ(module.get_pattern_row_channel_command(1, 98, 0, M::command_note), 0);
    // The wrap lands on the restart position.
    EXPECT_EQ(watchOrders(encodeXmModule(makeStructureModule()), 6), (std::vector<int>{0, 1, 2, 1, 2, 1}));
    // The show's test module: every order once, then from the last order back to the first.
    std::vector<int> expected;
    for (int order = 0; order < 51; order++)
        expected.push_back(order);
    expected.insert(expected.end(), {0, 1});
    EXPECT_EQ(watchOrders(makeShortTestModule(51, 4), 53), expected);
}

TEST(XmWriterChecks, FaultyModulesAreRefusedWithAReason) {
    struct Case {
        const char *expect;
        void (*spoil)(XmModule &);
    };
    const Case cases[] = {
        {"order names pattern 7", [](XmModule &m) { m.orders[0] = 7; }},
        {"restart position", [](XmModule &m) { m.restartPosition = 3; }},
        {"channel count", [](XmModule &m) { m.channels = 33; }},
        {"row count", [](XmModule &m) { m.patterns[0].rows = 0; }},
        {"missing instrument", [](XmModule &m) { editXmCell(m.patterns[0], m.channels, 0, 0).instrument = 3; }},
        {"loop outside", [](XmModule &m) { m.instruments[0].samples[0].loopLength = 101; }},
        {"8-bit sample value", [](XmModule &m) { m.instruments[1].samples[0].data[0] = 128; }},
        {"more than 12 points", [](XmModule &m) { m.instruments[0].volumeEnvelope.points.resize(13); }},
        {"sustain point", [](XmModule &m) { m.instruments[0].volumeEnvelope.sustainPoint = 0; }},
    };
    ASSERT_EQ(checkXmModule(makeStructureModule()), "");
    for (const Case &c : cases) {
        XmModule module = makeStructureModule();
        c.spoil(module);
        EXPECT_NE(checkXmModule(module).find(c.expect), std::string::npos) << checkXmModule(module);
        EXPECT_TRUE(encodeXmModule(module).empty()) << c.expect;
    }
}

TEST(ShortTestModule, HasTheShapeTheShowTestsNeed) {
    std::ostringstream log;
    M module(makeShortTestModule(51, 4), log);
    EXPECT_EQ(log.str(), "");
    // 51 orders (the wrap test) of 4 rows, one tick each at 255 BPM: 2 s.
    EXPECT_NEAR(module.get_duration_seconds(), 2.0, 0.05);
    for (int bad : {0, 257})
        EXPECT_TRUE(makeShortTestModule(bad, 4).empty() && makeShortTestModule(4, bad).empty()) << bad;
    EXPECT_FALSE(makeShortTestModule(256, 256).empty());
}
