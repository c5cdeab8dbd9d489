// The XM writer's output, read back and played through libopenmpt.
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

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

// One pattern of 64 rows at speed 6, tempo 125, with one note on row 0 of channel 0.
std::vector<float> renderNote(const XmInstrument &instrument, int note, double seconds) {
    XmModule module;
    module.instruments.push_back(instrument);
    XmPattern pattern;
    editXmCell(pattern, module.channels, 0, 0) = {static_cast<uint8_t>(note), 1, 0, 0, 0};
    module.patterns.push_back(pattern);
    module.orders.push_back(0);
    std::ostringstream log;
    M player(encodeXmModule(module), log);
    player.ctl_set_text("play.at_end", "stop");
    std::vector<float> audio(static_cast<size_t>(seconds * rate) * 2);
    audio.resize(player.read_interleaved_stereo(rate, audio.size() / 2, audio.data()) * 2);
    return audio;
}

double measureRms(const std::vector<float> &audio, double from, double to, int channel) {
    double sum = 0.0;
    size_t i = static_cast<size_t>(from * rate), last = static_cast<size_t>(to * rate), count = 0;
    for (; i < last && 2 * i + 1 < audio.size(); i++, count++)
        sum += static_cast<double>(audio[2 * i + channel]) * audio[2 * i + channel];
    return count ? std::sqrt(sum / count) : 0.0;
}

// Upward zero crossings of the left channel per second, from 0.25 s to 1.25 s.
double measureFrequency(const std::vector<float> &audio) {
    int crossings = 0;
    for (size_t i = rate / 4 + 1; i < rate * 5 / 4 && 2 * i < audio.size(); i++)
        crossings += audio[2 * (i - 1)] < 0.0f && audio[2 * i] >= 0.0f;
    return crossings;
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

TEST(XmWriterStructure, ReadsBackThroughLibopenmpt) {
    std::ostringstream log;
    M module(encodeXmModule(makeStructureModule()), log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(module.get_metadata("title"), "structure");
    EXPECT_EQ(module.get_num_orders(), 3);
    EXPECT_EQ(module.get_order_pattern(0), 1);
    EXPECT_EQ(module.get_order_pattern(1), 0);
    EXPECT_EQ(module.get_pattern_num_rows(0), 16);
    EXPECT_EQ(module.get_pattern_num_rows(1), 100);
    EXPECT_EQ(module.get_num_channels(), 6);
    EXPECT_EQ(module.get_instrument_names(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(module.get_current_speed(), 5);
    EXPECT_EQ(module.get_current_tempo(), 140);
    // Packed cells: all five fields, a key off with a zero-parameter effect, a lone note in row 99.
    EXPECT_EQ(module.format_pattern_row_channel(0, 3, 5), "D-5 02v28 830");
    EXPECT_EQ(module.format_pattern_row_channel_command(0, 15, 1, M::command_note), "===");
    EXPECT_EQ(module.format_pattern_row_channel(1, 99, 0).substr(0, 6), "C-1 01");
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 3, 4, M::command_note), 0);
    EXPECT_EQ(module.get_pattern_row_channel_command(1, 98, 0, M::command_note), 0);
}

TEST(XmWriterStructure, WrapLandsOnTheRestartPosition) {
    EXPECT_EQ(watchOrders(encodeXmModule(makeStructureModule()), 6), (std::vector<int>{0, 1, 2, 1, 2, 1}));
    // The show's test module: every order once, then from the last order back to the first.
    std::vector<int> expected;
    for (int order = 0; order < 51; order++)
        expected.push_back(order);
    expected.insert(expected.end(), {0, 1});
    EXPECT_EQ(watchOrders(makeShortTestModule(51, 4), 53), expected);
}

TEST(XmWriterSamples, BothWidthsPlayTheSameWaveInTune) {
    std::vector<float> wide = renderNote(makeSine(true), XM_NOTE_C4, 1.5);
    std::vector<float> narrow = renderNote(makeSine(false), XM_NOTE_C4, 1.5);
    EXPECT_NEAR(measureFrequency(wide), 441.0, 3.0);
    EXPECT_GT(measureRms(wide, 0.25, 1.25, 0), 0.05);
    // Wrong delta coding of either width would make a different wave.
    ASSERT_EQ(narrow.size(), wide.size());
    double difference = 0.0, level = 0.0;
    for (size_t i = 0; i < wide.size(); i++) {
        difference += std::fabs(narrow[i] - wide[i]);
        level += std::fabs(wide[i]);
    }
    EXPECT_LT(difference / level, 0.02);
    // An octave and a fifth up.
    std::vector<float> higher = renderNote(makeSine(false), XM_NOTE_C4 + 19, 1.5);
    EXPECT_NEAR(measureFrequency(higher), 441.0 * std::pow(2.0, 19.0 / 12.0), 6.0);
}

TEST(XmWriterEnvelopes, VolumeSustainsAndPanningMoves) {
    XmInstrument instrument = makeSine(true);
    // Down to nothing after 12 ticks (0.24 s) unless the middle point sustains it.
    instrument.volumeEnvelope.points = {{0, 64}, {6, 64}, {12, 0}};
    std::vector<float> decaying = renderNote(instrument, XM_NOTE_C4, 1.0);
    EXPECT_GT(measureRms(decaying, 0.01, 0.1, 0), 0.05);
    EXPECT_LT(measureRms(decaying, 0.4, 0.9, 0), 0.001);
    instrument.volumeEnvelope.sustainPoint = 1;
    EXPECT_GT(measureRms(renderNote(instrument, XM_NOTE_C4, 1.0), 0.4, 0.9, 0), 0.05);
    // Hard left for 20 ticks, then hard right.
    instrument.volumeEnvelope = XmEnvelope();
    instrument.panningEnvelope.points = {{0, 0}, {20, 0}, {21, 64}};
    std::vector<float> audio = renderNote(instrument, XM_NOTE_C4, 1.0);
    EXPECT_GT(measureRms(audio, 0.05, 0.35, 0), 10.0 * measureRms(audio, 0.05, 0.35, 1));
    EXPECT_GT(measureRms(audio, 0.5, 0.9, 1), 10.0 * measureRms(audio, 0.5, 0.9, 0));
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
