#include "xmwriter/xmwriter.h"

#include <cmath>
#include <cstdio>

namespace {

const int xmMaxOrders = 256;
const int xmMaxPatterns = 256;
const int xmMaxRows = 256;
const int xmMaxChannels = 32;
const int xmMaxInstruments = 128;
const int xmMaxSamples = 16;
const int xmMaxEnvelopePoints = 12;
const uint32_t xmInstrumentHeaderSize = 263;
const uint32_t xmEmptyInstrumentHeaderSize = 29;
const uint32_t xmSampleHeaderSize = 40;

void putByte(std::vector<uint8_t> &out, int value) { out.push_back(static_cast<uint8_t>(value & 0xFF)); }

void putWord(std::vector<uint8_t> &out, uint32_t value) {
    putByte(out, static_cast<int>(value));
    putByte(out, static_cast<int>(value >> 8));
}

void putDword(std::vector<uint8_t> &out, uint32_t value) {
    putWord(out, value & 0xFFFF);
    putWord(out, value >> 16);
}

// Fixed-width text field, zero padded, cut at the field's width.
void putText(std::vector<uint8_t> &out, const std::string &text, size_t width) {
    for (size_t i = 0; i < width; i++)
        putByte(out, i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

void setWord(std::vector<uint8_t> &out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

std::string checkEnvelope(const XmEnvelope &envelope, const std::string &what) {
    int count = static_cast<int>(envelope.points.size());
    if (count > xmMaxEnvelopePoints)
        return what + " has more than 12 points";
    for (int i = 1; i < count; i++)
        if (envelope.points[i].tick <= envelope.points[i - 1].tick)
            return what + " ticks do not rise";
    for (const XmEnvelopePoint &point : envelope.points)
        if (point.value > 64)
            return what + " value above 64";
    if (envelope.sustainPoint >= count)
        return what + " sustain point outside the envelope";
    if ((envelope.loopStart >= 0) != (envelope.loopEnd >= 0) || envelope.loopEnd >= count ||
        envelope.loopStart > envelope.loopEnd)
        return what + " loop outside the envelope";
    return "";
}

void putEnvelopePoints(std::vector<uint8_t> &out, const XmEnvelope &envelope) {
    for (int i = 0; i < xmMaxEnvelopePoints; i++) {
        bool used = i < static_cast<int>(envelope.points.size());
        putWord(out, used ? envelope.points[i].tick : 0);
        putWord(out, used ? envelope.points[i].value : 0);
    }
}

int envelopeType(const XmEnvelope &envelope) {
    if (envelope.points.empty())
        return 0;
    return 1 | (envelope.sustainPoint >= 0 ? 2 : 0) | (envelope.loopStart >= 0 ? 4 : 0);
}

void putPattern(std::vector<uint8_t> &out, const XmPattern &pattern, int channels) {
    putDword(out, 9);
    putByte(out, 0);
    putWord(out, static_cast<uint32_t>(pattern.rows));
    size_t sizeAt = out.size();
    putWord(out, 0);
    size_t dataStart = out.size();
    XmCell empty;
    for (int i = 0; i < pattern.rows * channels; i++) {
        const XmCell &cell = i < static_cast<int>(pattern.cells.size()) ? pattern.cells[i] : empty;
        int flags = (cell.note ? 1 : 0) | (cell.instrument ? 2 : 0) | (cell.volume ? 4 : 0) |
                    (cell.effect ? 8 : 0) | (cell.param ? 16 : 0);
        if (flags == 31) {
            // All five fields present: the unpacked form is one byte shorter.
            putByte(out, cell.note);
            putByte(out, cell.instrument);
            putByte(out, cell.volume);
            putByte(out, cell.effect);
            putByte(out, cell.param);
            continue;
        }
        putByte(out, 0x80 | flags);
        if (cell.note) putByte(out, cell.note);
        if (cell.instrument) putByte(out, cell.instrument);
        if (cell.volume) putByte(out, cell.volume);
        if (cell.effect) putByte(out, cell.effect);
        if (cell.param) putByte(out, cell.param);
    }
    setWord(out, sizeAt, static_cast<uint32_t>(out.size() - dataStart));
}

// Sample data is stored as differences to the previous value, per byte or per 16-bit word.
void putSampleData(std::vector<uint8_t> &out, const XmSample &sample) {
    int previous = 0;
    for (int16_t value : sample.data) {
        int delta = value - previous;
        previous = value;
        if (sample.sixteenBit)
            putWord(out, static_cast<uint16_t>(delta));
        else
            putByte(out, delta);
    }
}

void putInstrument(std::vector<uint8_t> &out, const XmInstrument &instrument) {
    if (instrument.samples.empty()) {
        putDword(out, xmEmptyInstrumentHeaderSize);
        putText(out, instrument.name, 22);
        putByte(out, 0);
        putWord(out, 0);
        return;
    }
    putDword(out, xmInstrumentHeaderSize);
    putText(out, instrument.name, 22);
    putByte(out, 0);
    putWord(out, static_cast<uint32_t>(instrument.samples.size()));
    putDword(out, xmSampleHeaderSize);
    for (int note = 0; note < 96; note++)
        putByte(out, instrument.noteSamples.empty() ? 0 : instrument.noteSamples[note]);
    putEnvelopePoints(out, instrument.volumeEnvelope);
    putEnvelopePoints(out, instrument.panningEnvelope);
    putByte(out, static_cast<int>(instrument.volumeEnvelope.points.size()));
    putByte(out, static_cast<int>(instrument.panningEnvelope.points.size()));
    const XmEnvelope *envelopes[2] = {&instrument.volumeEnvelope, &instrument.panningEnvelope};
    for (const XmEnvelope *envelope : envelopes) {
        putByte(out, envelope->sustainPoint < 0 ? 0 : envelope->sustainPoint);
        putByte(out, envelope->loopStart < 0 ? 0 : envelope->loopStart);
        putByte(out, envelope->loopEnd < 0 ? 0 : envelope->loopEnd);
    }
    putByte(out, envelopeType(instrument.volumeEnvelope));
    putByte(out, envelopeType(instrument.panningEnvelope));
    putByte(out, instrument.vibratoType);
    putByte(out, instrument.vibratoSweep);
    putByte(out, instrument.vibratoDepth);
    putByte(out, instrument.vibratoRate);
    putWord(out, instrument.fadeout);
    putText(out, "", 22);
    for (const XmSample &sample : instrument.samples) {
        uint32_t unit = sample.sixteenBit ? 2 : 1;
        bool looped = sample.loop != XM_LOOP_NONE;
        putDword(out, static_cast<uint32_t>(sample.data.size()) * unit);
        putDword(out, looped ? sample.loopStart * unit : 0);
        putDword(out, looped ? sample.loopLength * unit : 0);
        putByte(out, sample.volume);
        putByte(out, sample.finetune);
        putByte(out, (looped ? sample.loop : 0) | (sample.sixteenBit ? 0x10 : 0));
        putByte(out, sample.panning);
        putByte(out, sample.relativeNote);
        putByte(out, 0);
        putText(out, sample.name, 22);
    }
    for (const XmSample &sample : instrument.samples)
        putSampleData(out, sample);
}

} // namespace

std::string checkXmModule(const XmModule &module) {
    if (module.channels < 1 || module.channels > xmMaxChannels)
        return "channel count outside 1..32";
    if (module.orders.empty() || module.orders.size() > static_cast<size_t>(xmMaxOrders))
        return "order count outside 1..256";
    if (module.restartPosition >= module.orders.size())
        return "restart position past the last order";
    if (module.patterns.empty() || module.patterns.size() > static_cast<size_t>(xmMaxPatterns))
        return "pattern count outside 1..256";
    for (uint8_t order : module.orders)
        if (order >= module.patterns.size())
            return "order names pattern " + std::to_string(order) + ", which does not exist";
    if (module.instruments.size() > static_cast<size_t>(xmMaxInstruments))
        return "more than 128 instruments";
    if (module.speed < 1 || module.speed > 31)
        return "speed outside 1..31";
    if (module.tempo < 32 || module.tempo > 255)
        return "tempo outside 32..255";
    for (size_t p = 0; p < module.patterns.size(); p++) {
        const XmPattern &pattern = module.patterns[p];
        std::string where = "pattern " + std::to_string(p);
        if (pattern.rows < 1 || pattern.rows > xmMaxRows)
            return where + " row count outside 1..256";
        if (pattern.cells.size() > static_cast<size_t>(pattern.rows * module.channels))
            return where + " has more cells than rows times channels";
        for (const XmCell &cell : pattern.cells) {
            if (cell.note > XM_KEY_OFF)
                return where + " note above 97";
            if (cell.instrument > module.instruments.size())
                return where + " names a missing instrument";
        }
    }
    for (size_t i = 0; i < module.instruments.size(); i++) {
        const XmInstrument &instrument = module.instruments[i];
        std::string where = "instrument " + std::to_string(i + 1);
        if (instrument.samples.size() > static_cast<size_t>(xmMaxSamples))
            return where + " has more than 16 samples";
        if (!instrument.noteSamples.empty()) {
            if (instrument.noteSamples.size() != 96)
                return where + " note map is not 96 entries";
            for (uint8_t index : instrument.noteSamples)
                if (index >= instrument.samples.size())
                    return where + " note map names a missing sample";
        }
        std::string fault = checkEnvelope(instrument.volumeEnvelope, where + " volume envelope");
        if (fault.empty())
            fault = checkEnvelope(instrument.panningEnvelope, where + " panning envelope");
        if (!fault.empty())
            return fault;
        for (const XmSample &sample : instrument.samples) {
            if (sample.data.size() > 0x3FFFFFFFu)
                return where + " sample too long";
            if (sample.volume > 64)
                return where + " sample volume above 64";
            if (!sample.sixteenBit)
                for (int16_t value : sample.data)
                    if (value < -128 || value > 127)
                        return where + " 8-bit sample value outside -128..127";
            if (sample.loop != XM_LOOP_NONE &&
                (sample.loopLength == 0 || sample.loopStart + static_cast<uint64_t>(sample.loopLength) > sample.data.size()))
                return where + " sample loop outside the data";
        }
    }
    return "";
}

std::vector<uint8_t> encodeXmModule(const XmModule &module) {
    std::vector<uint8_t> out;
    if (!checkXmModule(module).empty())
        return out;
    putText(out, "Extended Module: ", 17);
    putText(out, module.name, 20);
    putByte(out, 0x1A);
    putText(out, module.trackerName, 20);
    putWord(out, 0x0104);
    putDword(out, 276);
    putWord(out, static_cast<uint32_t>(module.orders.size()));
    putWord(out, module.restartPosition);
    putWord(out, static_cast<uint32_t>(module.channels));
    putWord(out, static_cast<uint32_t>(module.patterns.size()));
    putWord(out, static_cast<uint32_t>(module.instruments.size()));
    putWord(out, module.linearFrequencies ? 1 : 0);
    putWord(out, module.speed);
    putWord(out, module.tempo);
    for (int i = 0; i < xmMaxOrders; i++)
        putByte(out, i < static_cast<int>(module.orders.size()) ? module.orders[i] : 0);
    for (const XmPattern &pattern : module.patterns)
        putPattern(out, pattern, module.channels);
    for (const XmInstrument &instrument : module.instruments)
        putInstrument(out, instrument);
    return out;
}

XmCell &editXmCell(XmPattern &pattern, int channels, int row, int channel) {
    size_t index = static_cast<size_t>(row) * static_cast<size_t>(channels) + static_cast<size_t>(channel);
    if (pattern.cells.size() < static_cast<size_t>(pattern.rows * channels))
        pattern.cells.resize(static_cast<size_t>(pattern.rows * channels));
    return pattern.cells.at(index);
}

void tuneXmSample(XmSample &sample, double sampleRate, int note) {
    // With linear frequencies a sample plays at 8363 Hz on C-4, one semitone per note.
    double semitones = 12.0 * std::log2(sampleRate / 8363.0) - (note - XM_NOTE_C4);
    long total = std::lround(semitones * 128.0);
    long relative = static_cast<long>(std::floor((static_cast<double>(total) + 64.0) / 128.0));
    sample.relativeNote = static_cast<int8_t>(relative);
    sample.finetune = static_cast<int8_t>(total - relative * 128);
}

XmModule makeShortTestXmModule(int orderCount, int rowsPerPattern, int ticksPerRow) {
    XmModule module;
    if (orderCount < 1 || orderCount > xmMaxOrders || rowsPerPattern < 1 || rowsPerPattern > xmMaxRows ||
        ticksPerRow < 1 || ticksPerRow > 31)
        return module;
    module.name = "short test module";
    module.channels = 2;
    module.speed = ticksPerRow;
    module.tempo = 255;
    // A 441 Hz square blip: 100 frames per cycle at 44.1 kHz, one cycle looped.
    XmSample blip;
    blip.name = "square";
    for (int i = 0; i < 100; i++)
        blip.data.push_back(static_cast<int16_t>(i < 50 ? 6000 : -6000));
    blip.loop = XM_LOOP_FORWARD;
    blip.loopStart = 0;
    blip.loopLength = 100;
    tuneXmSample(blip, 44100.0, XM_NOTE_C4);
    XmInstrument instrument;
    instrument.name = "blip";
    instrument.samples.push_back(blip);
    instrument.volumeEnvelope.points = {{0, 64}, {4, 32}, {12, 0}};
    module.instruments.push_back(instrument);
    for (int order = 0; order < orderCount; order++) {
        XmPattern pattern;
        pattern.rows = rowsPerPattern;
        XmCell &cell = editXmCell(pattern, module.channels, 0, 0);
        cell.note = XM_NOTE_C4;
        cell.instrument = 1;
        module.patterns.push_back(pattern);
        module.orders.push_back(static_cast<uint8_t>(order));
    }
    return module;
}

std::vector<uint8_t> makeShortTestModule(int orderCount, int rowsPerPattern, int ticksPerRow) {
    return encodeXmModule(makeShortTestXmModule(orderCount, rowsPerPattern, ticksPerRow));
}

bool writeFileBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    bool closed = std::fclose(file) == 0;
    return written && closed;
}
