// The XM writer's output, read back and played through libopenmpt.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>
#include <unistd.h>

#include "xmwriter/xmwriter.h"

namespace {

const int rate = 44100;
// libopenmpt numbers notes from C-0 of its own scale, one octave below the XM file's.
const int openmptNoteOffset = 12;

XmSample makeSineSample(double frequency, int periods, int framesPerPeriod, bool sixteenBit) {
    XmSample sample;
    sample.name = "sine";
    sample.sixteenBit = sixteenBit;
    int frames = periods * framesPerPeriod;
    for (int n = 0; n < frames; n++) {
        double v = std::sin(2.0 * M_PI * n / framesPerPeriod);
        sample.data.push_back(static_cast<int16_t>(std::lround(v * (sixteenBit ? 20000.0 : 100.0))));
    }
    sample.loop = XM_LOOP_FORWARD;
    sample.loopLength = static_cast<uint32_t>(frames);
    tuneXmSample(sample, frequency * framesPerPeriod, XM_NOTE_C4);
    return sample;
}

// One instrument, one pattern: a note on row 0 of channel 0, nothing else.
XmModule makeOneNoteModule(const XmInstrument &instrument, int note, int rows) {
    XmModule module;
    module.name = "one note";
    module.channels = 2;
    module.speed = 6;
    module.tempo = 125;
    module.instruments.push_back(instrument);
    XmPattern pattern;
    pattern.rows = rows;
    XmCell &cell = editXmCell(pattern, module.channels, 0, 0);
    cell.note = static_cast<uint8_t>(note);
    cell.instrument = 1;
    module.patterns.push_back(pattern);
    module.orders.push_back(0);
    return module;
}

std::vector<float> renderOnce(const std::vector<uint8_t> &bytes, double seconds) {
    std::ostringstream log;
    openmpt::module module(bytes, log);
    module.ctl_set_text("play.at_end", "stop");
    std::vector<float> audio(static_cast<size_t>(seconds * rate) * 2);
    size_t got = module.read_interleaved_stereo(rate, audio.size() / 2, audio.data());
    audio.resize(got * 2);
    return audio;
}

// Upward zero crossings of the left channel per second, between two times.
double measureFrequency(const std::vector<float> &audio, double from, double to) {
    size_t first = static_cast<size_t>(from * rate), last = static_cast<size_t>(to * rate);
    int crossings = 0;
    for (size_t i = first + 1; i < last && 2 * i < audio.size(); i++)
        if (audio[2 * (i - 1)] < 0.0f && audio[2 * i] >= 0.0f)
            crossings++;
    return crossings / (to - from);
}

double measureRms(const std::vector<float> &audio, double from, double to, int channel) {
    size_t first = static_cast<size_t>(from * rate), last = static_cast<size_t>(to * rate);
    double sum = 0.0;
    size_t count = 0;
    for (size_t i = first; i < last && 2 * i + 1 < audio.size(); i++, count++)
        sum += static_cast<double>(audio[2 * i + channel]) * audio[2 * i + channel];
    return count ? std::sqrt(sum / count) : 0.0;
}

// Orders seen while playing with endless repetition, one entry per change of order.
std::vector<int> watchOrders(const std::vector<uint8_t> &bytes, size_t changes) {
    std::ostringstream log;
    openmpt::module module(bytes, log);
    module.set_repeat_count(-1);
    std::vector<int> seen = {module.get_current_order()};
    std::vector<float> block(256 * 2);
    for (int guard = 0; guard < 200000 && seen.size() < changes; guard++) {
        if (module.read_interleaved_stereo(rate, 256, block.data()) == 0)
            break;
        if (module.get_current_order() != seen.back())
            seen.push_back(module.get_current_order());
    }
    return seen;
}

// Three orders over two patterns of different lengths, six channels, two instruments.
XmModule makeStructureModule() {
    XmModule module;
    module.name = "structure";
    module.channels = 6;
    module.speed = 5;
    module.tempo = 140;
    module.restartPosition = 1;
    XmInstrument first;
    first.name = "first";
    first.samples.push_back(makeSineSample(441.0, 1, 100, true));
    XmInstrument second;
    second.name = "second";
    second.samples.push_back(makeSineSample(441.0, 1, 100, false));
    module.instruments = {first, second};
    XmPattern shortPattern;
    shortPattern.rows = 16;
    XmCell &full = editXmCell(shortPattern, module.channels, 3, 5);
    full = {XM_NOTE_C4 + 2, 2, xmSetVolume(40), XM_FX_SET_PANNING, 0x30};
    XmCell &partial = editXmCell(shortPattern, module.channels, 15, 1);
    partial.note = XM_KEY_OFF;
    partial.effect = XM_FX_SET_GLOBAL_VOLUME; // effect with a zero parameter
    XmPattern longPattern;
    longPattern.rows = 100;
    XmCell &noteOnly = editXmCell(longPattern, module.channels, 99, 0);
    noteOnly.note = 1;
    noteOnly.instrument = 1;
    module.patterns = {shortPattern, longPattern};
    module.orders = {1, 0, 1};
    return module;
}

} // namespace

TEST(XmWriterStructure, ReadsBackThroughLibopenmpt) {
    std::vector<uint8_t> bytes = encodeXmModule(makeStructureModule());
    ASSERT_FALSE(bytes.empty());
    std::ostringstream log;
    openmpt::module module(bytes, log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(module.get_metadata("type"), "xm");
    EXPECT_EQ(module.get_metadata("title"), "structure");
    EXPECT_EQ(module.get_num_orders(), 3);
    EXPECT_EQ(module.get_num_patterns(), 2);
    EXPECT_EQ(module.get_num_channels(), 6);
    EXPECT_EQ(module.get_num_instruments(), 2);
    EXPECT_EQ(module.get_instrument_names(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(module.get_order_pattern(0), 1);
    EXPECT_EQ(module.get_order_pattern(1), 0);
    EXPECT_EQ(module.get_pattern_num_rows(0), 16);
    EXPECT_EQ(module.get_pattern_num_rows(1), 100);
    EXPECT_EQ(module.get_current_speed(), 5);
    EXPECT_EQ(module.get_current_tempo(), 140);
}

TEST(XmWriterStructure, PackedCellsKeepEveryField) {
    std::ostringstream log;
    openmpt::module module(encodeXmModule(makeStructureModule()), log);
    using m = openmpt::module;
    // All five fields present (stored unpacked).
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 3, 5, m::command_note), XM_NOTE_C4 + 2 + openmptNoteOffset);
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 3, 5, m::command_instrument), 2);
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 3, 5, m::command_volume), 40);
    EXPECT_EQ(module.format_pattern_row_channel(0, 3, 5), "D-5 02v28 830");
    // Key off and an effect without parameter, then a lone note in the last row of 100.
    EXPECT_EQ(module.format_pattern_row_channel_command(0, 15, 1, m::command_note), "===");
    EXPECT_EQ(module.format_pattern_row_channel(1, 99, 0).substr(0, 6), "C-1 01");
    // Cells around the filled ones stay empty.
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 3, 4, m::command_note), 0);
    EXPECT_EQ(module.get_pattern_row_channel_command(0, 4, 5, m::command_note), 0);
    EXPECT_EQ(module.get_pattern_row_channel_command(1, 98, 0, m::command_note), 0);
}

TEST(XmWriterStructure, RestartPositionIsWhereTheWrapLands) {
    // Orders 0, 1, 2, then back to the restart position 1, not to 0.
    std::vector<int> seen = watchOrders(encodeXmModule(makeStructureModule()), 6);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 1, 2, 1}));
}

TEST(XmWriterSamples, SixteenAndEightBitSinesPlayInTune) {
    for (bool sixteenBit : {true, false}) {
        XmInstrument instrument;
        instrument.name = "sine";
        instrument.samples.push_back(makeSineSample(441.0, 4, 100, sixteenBit));
        std::vector<float> atC4 = renderOnce(encodeXmModule(makeOneNoteModule(instrument, XM_NOTE_C4, 64)), 1.5);
        EXPECT_NEAR(measureFrequency(atC4, 0.25, 1.25), 441.0, 3.0) << "16-bit: " << sixteenBit;
        // An octave and a fifth up: 441 * 2^(19/12).
        std::vector<float> higher = renderOnce(encodeXmModule(makeOneNoteModule(instrument, XM_NOTE_C4 + 19, 64)), 1.5);
        EXPECT_NEAR(measureFrequency(higher, 0.25, 1.25), 441.0 * std::pow(2.0, 19.0 / 12.0), 6.0);
        EXPECT_GT(measureRms(atC4, 0.25, 1.25, 0), 0.05);
    }
}

TEST(XmWriterSamples, EightBitAndSixteenBitDataSoundAlike) {
    // A looped ramp: wrong delta coding of either width would turn it into a different wave.
    XmInstrument narrow, wide;
    XmSample eight, sixteen;
    eight.sixteenBit = false;
    for (int n = 0; n < 200; n++) {
        int v = n < 100 ? -100 + 2 * n : 300 - 2 * n;
        eight.data.push_back(static_cast<int16_t>(v));
        sixteen.data.push_back(static_cast<int16_t>(v * 256));
    }
    for (XmSample *sample : {&eight, &sixteen}) {
        sample->loop = XM_LOOP_FORWARD;
        sample->loopLength = 200;
        tuneXmSample(*sample, 44100.0, XM_NOTE_C4);
    }
    narrow.samples.push_back(eight);
    wide.samples.push_back(sixteen);
    std::vector<float> a = renderOnce(encodeXmModule(makeOneNoteModule(narrow, XM_NOTE_C4, 32)), 0.5);
    std::vector<float> b = renderOnce(encodeXmModule(makeOneNoteModule(wide, XM_NOTE_C4, 32)), 0.5);
    ASSERT_EQ(a.size(), b.size());
    double difference = 0.0, level = 0.0;
    for (size_t i = 0; i < a.size(); i++) {
        difference += std::fabs(a[i] - b[i]);
        level += std::fabs(b[i]);
    }
    EXPECT_GT(level / a.size(), 0.05);
    EXPECT_LT(difference / level, 0.02);
}

TEST(XmWriterEnvelopes, VolumeEnvelopeShapesAndSustains) {
    XmInstrument instrument;
    instrument.samples.push_back(makeSineSample(441.0, 4, 100, true));
    // Decays to nothing after 12 ticks (0.24 s at tempo 125) when nothing holds it.
    instrument.volumeEnvelope.points = {{0, 64}, {6, 64}, {12, 0}};
    std::vector<float> decaying = renderOnce(encodeXmModule(makeOneNoteModule(instrument, XM_NOTE_C4, 64)), 1.0);
    EXPECT_GT(measureRms(decaying, 0.01, 0.1, 0), 0.05);
    EXPECT_LT(measureRms(decaying, 0.4, 0.9, 0), 0.001);
    // With the middle point as sustain it holds at full volume until the key is released.
    instrument.volumeEnvelope.sustainPoint = 1;
    std::vector<float> held = renderOnce(encodeXmModule(makeOneNoteModule(instrument, XM_NOTE_C4, 64)), 1.0);
    EXPECT_GT(measureRms(held, 0.4, 0.9, 0), 0.05);
}

TEST(XmWriterEnvelopes, PanningEnvelopeMovesTheSound) {
    XmInstrument instrument;
    instrument.samples.push_back(makeSineSample(441.0, 4, 100, true));
    // Hard left for the first 20 ticks, then hard right.
    instrument.panningEnvelope.points = {{0, 0}, {20, 0}, {21, 64}};
    std::vector<float> audio = renderOnce(encodeXmModule(makeOneNoteModule(instrument, XM_NOTE_C4, 64)), 1.0);
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
        {"ticks do not rise", [](XmModule &m) { m.instruments[0].panningEnvelope.points = {{5, 0}, {5, 1}}; }},
        {"sustain point", [](XmModule &m) { m.instruments[0].volumeEnvelope.sustainPoint = 0; }},
        {"tempo", [](XmModule &m) { m.tempo = 31; }},
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
    std::vector<uint8_t> bytes = makeShortTestModule(51, 4);
    std::ostringstream log;
    openmpt::module module(bytes, log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(module.get_num_orders(), 51);
    EXPECT_EQ(module.get_num_patterns(), 51);
    for (int order = 0; order < 51; order++) {
        EXPECT_EQ(module.get_order_pattern(order), order);
        EXPECT_EQ(module.get_pattern_num_rows(order), 4);
        EXPECT_EQ(module.get_pattern_row_channel_command(order, 0, 0, openmpt::module::command_note),
                  XM_NOTE_C4 + openmptNoteOffset);
    }
    EXPECT_EQ(module.get_num_instruments(), 1);
    EXPECT_EQ(module.get_current_speed(), 1);
    EXPECT_EQ(module.get_current_tempo(), 255);
    // 204 rows of one tick at 255 BPM: 2 s.
    EXPECT_NEAR(module.get_duration_seconds(), 2.0, 0.05);
    std::vector<float> audio = renderOnce(bytes, 10.0);
    EXPECT_LT(audio.size() / 2, static_cast<size_t>(5 * rate));
    EXPECT_GT(measureRms(audio, 0.0, 1.9, 0), 0.001);
}

TEST(ShortTestModule, WrapsFromTheLastOrderToTheFirst) {
    std::vector<int> seen = watchOrders(makeShortTestModule(51, 4), 53);
    ASSERT_EQ(seen.size(), 53u);
    for (int order = 0; order < 51; order++)
        EXPECT_EQ(seen[static_cast<size_t>(order)], order);
    EXPECT_EQ(seen[51], 0);
    EXPECT_EQ(seen[52], 1);
}

TEST(ShortTestModule, RefusesCountsOutsideTheFormat) {
    EXPECT_TRUE(makeShortTestModule(0, 4).empty());
    EXPECT_TRUE(makeShortTestModule(257, 4).empty());
    EXPECT_TRUE(makeShortTestModule(4, 0).empty());
    EXPECT_TRUE(makeShortTestModule(4, 257).empty());
    EXPECT_FALSE(makeShortTestModule(256, 256).empty());
    EXPECT_FALSE(makeShortTestModule(1, 1).empty());
}

TEST(WriteFileBytes, WritesExactlyAndReportsFailure) {
    std::string path = "xmwriter-test-" + std::to_string(getpid()) + ".xm";
    std::vector<uint8_t> bytes = makeShortTestModule(3, 8);
    ASSERT_TRUE(writeFileBytes(path, bytes));
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> back((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);
    std::remove(path.c_str());
    EXPECT_FALSE(writeFileBytes("no-such-directory/x.xm", bytes));
}
