// composer <out.xm>: writes the show's soundtrack from the score in score.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "composer/instruments.h"
#include "composer/score.h"
#include "xmwriter/xmwriter.h"

namespace {

enum ChannelNumber {
    CHANNEL_KICK,
    CHANNEL_SNARE,
    CHANNEL_HAT,
    CHANNEL_OPEN_HAT,
    CHANNEL_CYMBAL,
    CHANNEL_SWELL,
    CHANNEL_BASS,
    CHANNEL_PAD_LOW,
    CHANNEL_PAD_MIDDLE,
    CHANNEL_PAD_HIGH,
    CHANNEL_LEAD,
    CHANNEL_ECHO,
    CHANNEL_ARP,
    CHANNEL_BELL,
    CHANNEL_STAB,
    CHANNEL_CONTROL, // global volume only
    CHANNEL_COUNT
};

const int rowsPerPattern = 64;
const int rowsPerBar = 16;
const int barsPerPattern = 4;
const int echoDelayRows = 3;

// Note numbers: C-0 is 1, so C-n is 1 + 12 n.
const int noteC1 = 13;
const int noteC3 = 37;
const int noteC4 = 49;
const int lowestBassNote = 17;  // E-1
const int lowestPadNote = 43;   // F#3

const int crashVolume = 54;
const int stabVolume = 46;
const int swellVolume = 40;
const int leadVolume = 40;
const int echoVolume = 18;

[[noreturn]] void failScore(int order, const std::string &what) {
    std::fprintf(stderr, "composer: order %d: %s\n", order, what.c_str());
    std::exit(2);
}

template <typename Record>
const Record *findNamed(const Record *table, int count, const char *name, const char *kind, int order) {
    if (name[0] == '\0')
        return nullptr;
    for (int i = 0; i < count; i++)
        if (std::strcmp(table[i].name, name) == 0)
            return &table[i];
    failScore(order, std::string("unknown ") + kind + " \"" + name + "\"");
}

const ChordShape *findChord(const std::string &symbol, int order) {
    for (int i = 0; i < showChordCount; i++)
        if (symbol == showChords[i].symbol)
            return &showChords[i];
    failScore(order, "unknown chord \"" + symbol + "\"");
}

std::vector<const ChordShape *> readChords(const OrderPlan &plan, int order) {
    std::istringstream words(plan.chords);
    std::vector<const ChordShape *> chords;
    std::string symbol;
    while (words >> symbol)
        chords.push_back(findChord(symbol, order));
    if (chords.size() != static_cast<size_t>(barsPerPattern))
        failScore(order, "needs four chords, one a bar");
    return chords;
}

// "G#4" -> note number; -1 when it is not a note name.
int readNoteName(const std::string &name) {
    static const char letters[] = "C D EF G A B";
    if (name.size() < 2)
        return -1;
    const char *letter = std::strchr(letters, name[0]);
    if (!letter || name[0] == ' ')
        return -1;
    int semitone = static_cast<int>(letter - letters);
    size_t at = 1;
    if (name[at] == '#') {
        semitone++;
        at++;
    }
    if (at + 1 != name.size() || name[at] < '0' || name[at] > '7')
        return -1;
    return 1 + 12 * (name[at] - '0') + semitone;
}

void putNote(XmPattern &pattern, int row, int channel, int note, int instrument, int volume) {
    XmCell &cell = editXmCell(pattern, CHANNEL_COUNT, row, channel);
    cell.note = static_cast<uint8_t>(note);
    cell.instrument = static_cast<uint8_t>(instrument);
    cell.volume = xmSetVolume(volume);
}

void putKeyOff(XmPattern &pattern, int row, int channel) {
    XmCell &cell = editXmCell(pattern, CHANNEL_COUNT, row, channel);
    cell.note = XM_KEY_OFF;
}

void putEffect(XmPattern &pattern, int row, int channel, int effect, int param) {
    XmCell &cell = editXmCell(pattern, CHANNEL_COUNT, row, channel);
    cell.effect = static_cast<uint8_t>(effect);
    cell.param = static_cast<uint8_t>(param);
}

int readHitVolume(char step) {
    switch (step) {
    case 'X': return 64;
    case 'x': return 44;
    case 'o': return 26;
    default: return 0;
    }
}

// The chord tone a figure character names, in semitones above the chord's root.
bool readFigureTone(char step, const ChordShape &chord, int *semitones) {
    switch (step) {
    case '1': *semitones = chord.intervals[0]; return true;
    case '3': *semitones = chord.intervals[1]; return true;
    case '5': *semitones = chord.intervals[2]; return true;
    case '7': *semitones = chord.intervals[3]; return true;
    case '8': *semitones = chord.intervals[0] + 12; return true;
    case '9': *semitones = chord.intervals[1] + 12; return true;
    case '0': *semitones = chord.intervals[2] + 12; return true;
    default: return false;
    }
}

bool drumsPlayIn(const OrderPlan &plan, int bar) {
    if ((plan.marks & MARK_THIN) && bar >= 2)
        return false;
    if ((plan.marks & MARK_BREAK) && bar == barsPerPattern - 1)
        return false;
    return true;
}

void writeDrums(XmPattern &pattern, const OrderPlan &plan, int order) {
    const DrumGroove *groove = findNamed(showGrooves, showGrooveCount, plan.drums, "groove", order);
    if (!groove)
        return;
    struct DrumLine {
        const char *steps, *fillSteps;
        int channel, instrument;
    };
    const DrumLine lines[4] = {
        {groove->kick, groove->fillKick, CHANNEL_KICK, INSTRUMENT_KICK},
        {groove->snare, groove->fillSnare, CHANNEL_SNARE, INSTRUMENT_SNARE},
        {groove->hat, groove->fillHat, CHANNEL_HAT, INSTRUMENT_CLOSED_HAT},
        {groove->openHat, groove->fillOpenHat, CHANNEL_OPEN_HAT, INSTRUMENT_OPEN_HAT},
    };
    for (const DrumLine &line : lines) {
        if (std::strlen(line.steps) != static_cast<size_t>(rowsPerBar) ||
            std::strlen(line.fillSteps) != static_cast<size_t>(rowsPerBar))
            failScore(order, std::string("groove \"") + groove->name + "\" bar is not 16 steps");
        for (int bar = 0; bar < barsPerPattern; bar++) {
            if (!drumsPlayIn(plan, bar))
                continue;
            const char *steps = bar == barsPerPattern - 1 ? line.fillSteps : line.steps;
            for (int step = 0; step < rowsPerBar; step++) {
                int volume = readHitVolume(steps[step]);
                if (volume > 0)
                    putNote(pattern, bar * rowsPerBar + step, line.channel, XM_NOTE_C4, line.instrument, volume);
            }
        }
    }
}

int bassRoot(const ChordShape &chord) {
    int note = noteC1 + chord.root;
    return note < lowestBassNote ? note + 12 : note;
}

void writeBass(XmPattern &pattern, const OrderPlan &plan, const std::vector<const ChordShape *> &chords, int order) {
    const BarFigure *figure = findNamed(showBassFigures, showBassFigureCount, plan.bass, "bass figure", order);
    if (!figure)
        return;
    if (std::strlen(figure->steps) != static_cast<size_t>(rowsPerBar))
        failScore(order, std::string("bass figure \"") + figure->name + "\" is not 16 steps");
    for (int bar = 0; bar < barsPerPattern; bar++) {
        int barRow = bar * rowsPerBar;
        if ((plan.marks & MARK_BREAK) && bar == barsPerPattern - 1) {
            putKeyOff(pattern, barRow, CHANNEL_BASS);
            continue;
        }
        if ((plan.marks & MARK_CLOSING) && bar > 0)
            continue;
        for (int step = 0; step < rowsPerBar; step++) {
            char c = figure->steps[step];
            int semitones = 0;
            if (c == '-')
                putKeyOff(pattern, barRow + step, CHANNEL_BASS);
            else if (readFigureTone(c, *chords[bar], &semitones))
                putNote(pattern, barRow + step, CHANNEL_BASS, bassRoot(*chords[bar]) + semitones, figure->instrument,
                        figure->volume);
        }
    }
}

// Three pad voices hold the chord's first three tones, folded into F#3..F-4 so that the
// voices move by small steps from chord to chord.
void writePads(XmPattern &pattern, const OrderPlan &plan, const std::vector<const ChordShape *> &chords, int order) {
    const PadStyle *style = findNamed(showPadStyles, showPadStyleCount, plan.pads, "pad style", order);
    if (!style)
        return;
    const int channels[3] = {CHANNEL_PAD_LOW, CHANNEL_PAD_MIDDLE, CHANNEL_PAD_HIGH};
    const int panning[3] = {0x50, 0x80, 0xB0};
    for (int bar = 0; bar < barsPerPattern; bar++) {
        if (bar > 0 && (chords[bar] == chords[bar - 1] || (plan.marks & MARK_CLOSING)))
            continue;
        for (int voice = 0; voice < 3; voice++) {
            int note = noteC3 + (chords[bar]->root + chords[bar]->intervals[voice]) % 12;
            if (note < lowestPadNote)
                note += 12;
            putNote(pattern, bar * rowsPerBar, channels[voice], note, INSTRUMENT_PAD, style->volume);
            putEffect(pattern, bar * rowsPerBar, channels[voice], XM_FX_SET_PANNING, panning[voice]);
        }
    }
}

void writeArp(XmPattern &pattern, const OrderPlan &plan, const std::vector<const ChordShape *> &chords, int order) {
    const BarFigure *figure = findNamed(showArpFigures, showArpFigureCount, plan.arp, "arpeggio", order);
    if (!figure)
        return;
    if (std::strlen(figure->steps) != static_cast<size_t>(rowsPerBar))
        failScore(order, std::string("arpeggio \"") + figure->name + "\" is not 16 steps");
    int channel = figure->instrument == INSTRUMENT_BELL ? CHANNEL_BELL : CHANNEL_ARP;
    for (int bar = 0; bar < barsPerPattern; bar++)
        for (int step = 0; step < rowsPerBar; step++) {
            int semitones = 0;
            if (!readFigureTone(figure->steps[step], *chords[bar], &semitones))
                continue;
            int row = bar * rowsPerBar + step;
            putNote(pattern, row, channel, noteC4 + chords[bar]->root + semitones, figure->instrument, figure->volume);
            // The arpeggio sweeps from left to right and back every two bars.
            if (channel == CHANNEL_ARP)
                putEffect(pattern, row, channel, XM_FX_SET_PANNING, 0x40 + 8 * std::abs(row % 32 - 16));
        }
}

void writeLead(XmPattern &pattern, const OrderPlan &plan, int order) {
    const Melody *melody = findNamed(showMelodies, showMelodyCount, plan.lead, "melody", order);
    if (!melody)
        return;
    std::istringstream tokens(melody->notes);
    std::string token;
    int row = 0;
    while (tokens >> token) {
        size_t colon = token.find(':');
        int length = colon == std::string::npos ? 0 : std::atoi(token.c_str() + colon + 1);
        std::string name = token.substr(0, colon);
        int note = name == "r" ? 0 : readNoteName(name);
        if (note > 0 && (plan.marks & MARK_LEAD_UP))
            note += 12;
        if (length < 1 || note < 0)
            failScore(order, "melody \"" + std::string(melody->name) + "\": bad token \"" + token + "\"");
        if (row + length > rowsPerPattern)
            failScore(order, "melody \"" + std::string(melody->name) + "\" runs past row 63");
        for (int voice = 0; voice < 2; voice++) {
            bool echo = voice == 1;
            if (echo && !(plan.marks & MARK_ECHO))
                continue;
            int at = row + (echo ? echoDelayRows : 0);
            if (at >= rowsPerPattern)
                continue;
            int channel = echo ? CHANNEL_ECHO : CHANNEL_LEAD;
            if (note == 0) {
                putKeyOff(pattern, at, channel);
                continue;
            }
            putNote(pattern, at, channel, note, INSTRUMENT_LEAD, echo ? echoVolume : leadVolume);
            putEffect(pattern, at, channel, XM_FX_SET_PANNING, echo ? 0xB8 : 0x68);
        }
        row += length;
    }
    if (row != rowsPerPattern)
        failScore(order, "melody \"" + std::string(melody->name) + "\" does not fill 64 rows");
}

void writeHit(XmPattern &pattern, int row, const ChordShape &chord, bool withStab) {
    putNote(pattern, row, CHANNEL_CYMBAL, XM_NOTE_C4, INSTRUMENT_CRASH, crashVolume);
    if (withStab)
        putNote(pattern, row, CHANNEL_STAB, noteC3 + chord.root, INSTRUMENT_STAB, stabVolume);
}

// Global volume: full at every downbeat; fades follow the picture's fade, (64 - row) / 64;
// the closing chord holds for a bar and a half, then sinks to a third.
void writeGlobalVolume(XmPattern &pattern, const OrderPlan &plan) {
    for (int row = 0; row < rowsPerPattern; row++) {
        int volume = 64;
        if (plan.marks & MARK_FADE)
            volume = 64 - row;
        else if (plan.marks & MARK_CLOSING)
            volume = row < 24 ? 64 : 64 - (row - 24) * 42 / 39;
        else if (row > 0)
            continue;
        putEffect(pattern, row, CHANNEL_CONTROL, XM_FX_SET_GLOBAL_VOLUME, volume);
    }
}

void writeMarks(XmPattern &pattern, const OrderPlan &plan, const std::vector<const ChordShape *> &chords) {
    if (plan.marks & (MARK_CRASH | MARK_STAB))
        writeHit(pattern, 0, *chords[0], (plan.marks & MARK_STAB) != 0);
    if (plan.marks & MARK_ACCENTS)
        for (int bar = 0; bar < barsPerPattern; bar++)
            writeHit(pattern, bar * rowsPerBar, *chords[bar], true);
    if (plan.marks & MARK_SWELL)
        putNote(pattern, (barsPerPattern - 1) * rowsPerBar, CHANNEL_SWELL, XM_NOTE_C4, INSTRUMENT_SWELL, swellVolume);
    writeGlobalVolume(pattern, plan);
}

XmPattern composeOrder(int order) {
    const OrderPlan &plan = showArrangement[order];
    std::vector<const ChordShape *> chords = readChords(plan, order);
    XmPattern pattern;
    pattern.rows = rowsPerPattern;
    editXmCell(pattern, CHANNEL_COUNT, 0, 0);
    writeDrums(pattern, plan, order);
    writeBass(pattern, plan, chords, order);
    writePads(pattern, plan, chords, order);
    writeArp(pattern, plan, chords, order);
    writeLead(pattern, plan, order);
    writeMarks(pattern, plan, chords);
    return pattern;
}

XmModule composeShowModule() {
    XmModule module;
    module.name = "vrimla2";
    module.trackerName = "gRUNKA composer";
    module.channels = CHANNEL_COUNT;
    module.speed = 6;
    module.tempo = 125;
    module.restartPosition = 0;
    module.instruments = makeShowInstruments();
    for (int order = 0; order < showOrderCount; order++) {
        module.patterns.push_back(composeOrder(order));
        module.orders.push_back(static_cast<uint8_t>(order));
    }
    return module;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: composer <out.xm>\n");
        return 2;
    }
    XmModule module = composeShowModule();
    std::string fault = checkXmModule(module);
    if (!fault.empty()) {
        std::fprintf(stderr, "composer: %s\n", fault.c_str());
        return 2;
    }
    if (!writeFileBytes(argv[1], encodeXmModule(module))) {
        std::fprintf(stderr, "composer: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
