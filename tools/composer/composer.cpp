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

// Speed 3 at 125 BPM: 60 ms a row, eight rows a beat.
const int showSpeed = 3;
const int showTempo = 125;
const int rowsPerPattern = 64;
const int rowsPerBar = 32;
const int barsPerPattern = 2;
const int rowsPerChord = 16; // the shortest harmonic step: two beats
const int rowsPerBeat = 8;
const int echoDelayRows = 6; // a dotted eighth

// Note numbers: C-0 is 1, so C-n is 1 + 12 n.
const int noteC1 = 13;
const int noteC3 = 37;
const int noteC4 = 49;
const int noteC7 = 85;
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

// The order's harmony, one chord for every two beats: two symbols fill a bar each, four a half bar each.
struct OrderChords {
    const ChordShape *at[rowsPerPattern / rowsPerChord];
    const ChordShape &atRow(int row) const { return *at[row / rowsPerChord]; }
};

OrderChords readChords(const OrderPlan &plan, int order) {
    std::istringstream words(plan.chords);
    std::vector<const ChordShape *> symbols;
    std::string symbol;
    while (words >> symbol)
        symbols.push_back(findChord(symbol, order));
    const int slots = rowsPerPattern / rowsPerChord;
    if (symbols.size() != static_cast<size_t>(barsPerPattern) && symbols.size() != static_cast<size_t>(slots))
        failScore(order, "needs two chords (one a bar) or four (one every two beats)");
    OrderChords chords;
    for (int slot = 0; slot < slots; slot++)
        chords.at[slot] = symbols[static_cast<size_t>(slot) * symbols.size() / slots];
    return chords;
}

// The steps of one bar without the spaces that group them into beats.
std::string readBarSteps(const char *steps, const char *what, int order) {
    std::string bar;
    for (const char *c = steps; *c; c++)
        if (*c != ' ')
            bar += *c;
    if (bar.size() != static_cast<size_t>(rowsPerBar))
        failScore(order, std::string(what) + " is not " + std::to_string(rowsPerBar) + " steps: \"" + steps + "\"");
    return bar;
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

// The whole song as one run of rows, cut into one pattern per order: phrases, held notes and
// echoes run on across the order changes.
struct Song {
    std::vector<XmPattern> patterns;
};

// The cell at a row of the whole song; rows past its end land in a scratch cell.
XmCell &songCell(Song &song, int songRow, int channel) {
    static XmCell pastTheEnd;
    int order = songRow / rowsPerPattern;
    if (songRow < 0 || order >= static_cast<int>(song.patterns.size())) {
        pastTheEnd = XmCell();
        return pastTheEnd;
    }
    return editXmCell(song.patterns[static_cast<size_t>(order)], CHANNEL_COUNT, songRow % rowsPerPattern, channel);
}

void putNote(Song &song, int songRow, int channel, int note, int instrument, int volume) {
    XmCell &cell = songCell(song, songRow, channel);
    cell.note = static_cast<uint8_t>(note);
    cell.instrument = static_cast<uint8_t>(instrument);
    cell.volume = xmSetVolume(volume);
}

void putKeyOff(Song &song, int songRow, int channel) {
    XmCell &cell = songCell(song, songRow, channel);
    cell.note = XM_KEY_OFF;
    cell.instrument = 0;
    cell.volume = 0;
}

void putEffect(Song &song, int songRow, int channel, int effect, int param) {
    XmCell &cell = songCell(song, songRow, channel);
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

// Drums and bass rest in the break's last two beats.
bool isInBreak(const OrderPlan &plan, int row) {
    return (plan.marks & MARK_BREAK) && row >= rowsPerPattern - 2 * rowsPerBeat;
}

// Thinned drums also stop after the first bar.
bool drumsPlayAt(const OrderPlan &plan, int row) {
    return !isInBreak(plan, row) && !((plan.marks & MARK_THIN) && row >= rowsPerBar);
}

void writeDrums(Song &song, int order, const OrderPlan &plan) {
    const DrumGroove *groove = findNamed(showGrooves, showGrooveCount, plan.drums, "groove", order);
    if (!groove)
        return;
    struct DrumLine {
        const char *steps, *fillSteps;
        int channel, instrument;
    };
    const DrumLine lines[4] = {
        {groove->bar.kick, groove->fill.kick, CHANNEL_KICK, INSTRUMENT_KICK},
        {groove->bar.snare, groove->fill.snare, CHANNEL_SNARE, INSTRUMENT_SNARE},
        {groove->bar.hat, groove->fill.hat, CHANNEL_HAT, INSTRUMENT_CLOSED_HAT},
        {groove->bar.openHat, groove->fill.openHat, CHANNEL_OPEN_HAT, INSTRUMENT_OPEN_HAT},
    };
    const std::string what = std::string("groove \"") + groove->name + "\"";
    for (const DrumLine &line : lines) {
        const std::string steps = readBarSteps(line.steps, what.c_str(), order);
        const std::string fillSteps = readBarSteps(line.fillSteps, what.c_str(), order);
        for (int row = 0; row < rowsPerPattern; row++) {
            bool fill = (plan.marks & MARK_FILL) && row >= rowsPerBar;
            int volume = readHitVolume((fill ? fillSteps : steps)[static_cast<size_t>(row % rowsPerBar)]);
            if (volume > 0 && drumsPlayAt(plan, row))
                putNote(song, order * rowsPerPattern + row, line.channel, XM_NOTE_C4, line.instrument, volume);
        }
    }
}

int bassRoot(const ChordShape &chord) {
    int note = noteC1 + chord.root;
    return note < lowestBassNote ? note + 12 : note;
}

void writeBass(Song &song, int order, const OrderPlan &plan, const OrderChords &chords) {
    const BarFigure *figure = findNamed(showBassFigures, showBassFigureCount, plan.bass, "bass figure", order);
    if (!figure)
        return;
    const std::string steps = readBarSteps(figure->steps, "bass figure", order);
    const int first = order * rowsPerPattern;
    for (int row = 0; row < rowsPerPattern; row++) {
        if (isInBreak(plan, row)) {
            putKeyOff(song, first + row, CHANNEL_BASS);
            break;
        }
        if ((plan.marks & MARK_CLOSING) && row >= rowsPerBar)
            break;
        char c = steps[static_cast<size_t>(row % rowsPerBar)];
        int semitones = 0;
        if (c == '-')
            putKeyOff(song, first + row, CHANNEL_BASS);
        else if (readFigureTone(c, chords.atRow(row), &semitones))
            putNote(song, first + row, CHANNEL_BASS, bassRoot(chords.atRow(row)) + semitones, figure->instrument,
                    figure->volume);
    }
}

// What the pads hold when an order begins: a chord that goes on is not struck again, so the
// harmony carries across the scene change without the pads' slow attack dipping.
struct PadsSounding {
    const ChordShape *chord = nullptr;
    int volume = 0;
};

// Three pad voices hold the chord's first three tones, folded into F#3..F-4 so that the
// voices move by small steps from chord to chord.
void writePads(Song &song, int order, const OrderPlan &plan, const OrderChords &chords, PadsSounding &pads) {
    const PadStyle *style = findNamed(showPadStyles, showPadStyleCount, plan.pads, "pad style", order);
    const int channels[3] = {CHANNEL_PAD_LOW, CHANNEL_PAD_MIDDLE, CHANNEL_PAD_HIGH};
    const int panning[3] = {0x50, 0x80, 0xB0};
    const int first = order * rowsPerPattern;
    if (!style) {
        if (pads.chord)
            for (int channel : channels)
                putKeyOff(song, first, channel);
        pads = PadsSounding();
        return;
    }
    for (int row = 0; row < rowsPerPattern; row += rowsPerChord) {
        const ChordShape &chord = chords.atRow(row);
        bool strike = &chord != pads.chord || ((plan.marks & MARK_CLOSING) && row == 0);
        if ((plan.marks & MARK_CLOSING) && row > 0)
            break;
        for (int voice = 0; voice < 3; voice++) {
            if (strike) {
                int note = noteC3 + (chord.root + chord.intervals[voice]) % 12;
                if (note < lowestPadNote)
                    note += 12;
                putNote(song, first + row, channels[voice], note, INSTRUMENT_PAD, style->volume);
                putEffect(song, first + row, channels[voice], XM_FX_SET_PANNING, panning[voice]);
            } else if (row == 0 && style->volume != pads.volume) {
                songCell(song, first, channels[voice]).volume = xmSetVolume(style->volume);
            }
        }
        pads.chord = &chord;
        pads.volume = style->volume;
    }
}

void writeArp(Song &song, int order, const OrderPlan &plan, const OrderChords &chords) {
    const BarFigure *figure = findNamed(showArpFigures, showArpFigureCount, plan.arp, "arpeggio", order);
    if (!figure)
        return;
    const std::string steps = readBarSteps(figure->steps, "arpeggio", order);
    int channel = figure->instrument == INSTRUMENT_BELL ? CHANNEL_BELL : CHANNEL_ARP;
    for (int row = 0; row < rowsPerPattern; row++) {
        int semitones = 0;
        if (!readFigureTone(steps[static_cast<size_t>(row % rowsPerBar)], chords.atRow(row), &semitones))
            continue;
        int songRow = order * rowsPerPattern + row;
        putNote(song, songRow, channel, noteC4 + chords.atRow(row).root + semitones, figure->instrument,
                figure->volume);
        // The arpeggio sweeps from left to right and back across each order.
        if (channel == CHANNEL_ARP)
            putEffect(song, songRow, channel, XM_FX_SET_PANNING, 0x40 + 4 * std::abs(row - rowsPerPattern / 2));
    }
}

struct MelodyNote {
    int row;  // from the melody's start
    int note; // 0: a rest
};

// The melody's notes and its length in rows, a whole number of orders.
std::vector<MelodyNote> readMelody(const Melody &melody, int order, int *rows) {
    std::istringstream tokens(melody.notes);
    std::string token;
    std::vector<MelodyNote> notes;
    int row = 0;
    while (tokens >> token) {
        size_t colon = token.find(':');
        int length = colon == std::string::npos ? 0 : std::atoi(token.c_str() + colon + 1);
        std::string name = token.substr(0, colon);
        int note = name == "r" ? 0 : readNoteName(name);
        if (length < 1 || note < 0)
            failScore(order, "melody \"" + std::string(melody.name) + "\": bad token \"" + token + "\"");
        notes.push_back({row, note});
        row += length;
    }
    if (row == 0 || row % rowsPerPattern != 0)
        failScore(order, "melody \"" + std::string(melody.name) + "\" does not fill whole orders");
    *rows = row;
    return notes;
}

// "theme 2": the melody and which of its orders plays here.
const Melody *readLeadPart(const OrderPlan &plan, int order, int *part) {
    std::istringstream words(plan.lead);
    std::string name;
    if (!(words >> name))
        return nullptr;
    if (!(words >> *part) || *part < 0)
        failScore(order, "lead \"" + std::string(plan.lead) + "\" names no part of its melody");
    return findNamed(showMelodies, showMelodyCount, name.c_str(), "melody", order);
}

// True when the next order plays on with the next part of the same melody.
bool isLeadContinued(int order, const Melody *melody, int part) {
    if (order + 1 >= showOrderCount)
        return false;
    int nextPart = 0;
    std::istringstream words(showArrangement[order + 1].lead);
    std::string name;
    return words >> name >> nextPart && name == melody->name && nextPart == part + 1;
}

// The lead and, where marked, its echo. A note runs on until the next one, across the order
// change where the phrase goes on; where it stops, the lead is released on the next order's
// first row (a following melody's first note takes that cell instead).
void writeLead(Song &song, int order, const OrderPlan &plan) {
    int part = 0;
    const Melody *melody = readLeadPart(plan, order, &part);
    if (!melody)
        return;
    int rows = 0;
    const std::vector<MelodyNote> notes = readMelody(*melody, order, &rows);
    if ((part + 1) * rowsPerPattern > rows)
        failScore(order, "melody \"" + std::string(melody->name) + "\" has no part " + std::to_string(part));
    const int first = order * rowsPerPattern, from = part * rowsPerPattern;
    for (int voice = 0; voice < 2; voice++) {
        bool echo = voice == 1;
        if (echo && !(plan.marks & MARK_ECHO))
            continue;
        int channel = echo ? CHANNEL_ECHO : CHANNEL_LEAD;
        int delay = echo ? echoDelayRows : 0;
        for (const MelodyNote &n : notes) {
            if (n.row < from || n.row >= from + rowsPerPattern)
                continue;
            int songRow = first + n.row - from + delay;
            if (n.note == 0) {
                putKeyOff(song, songRow, channel);
                continue;
            }
            int note = n.note + ((plan.marks & MARK_LEAD_UP) ? 12 : 0);
            if (note < noteC4 || note > noteC7)
                failScore(order, "melody \"" + std::string(melody->name) + "\" leaves the lead's range C-4..C-7");
            putNote(song, songRow, channel, note, INSTRUMENT_LEAD, echo ? echoVolume : leadVolume);
            putEffect(song, songRow, channel, XM_FX_SET_PANNING, echo ? 0xB8 : 0x68);
        }
        if (!isLeadContinued(order, melody, part))
            putKeyOff(song, first + rowsPerPattern + delay, channel);
    }
}

void writeHit(Song &song, int songRow, const ChordShape &chord, bool withStab) {
    putNote(song, songRow, CHANNEL_CYMBAL, XM_NOTE_C4, INSTRUMENT_CRASH, crashVolume);
    if (withStab)
        putNote(song, songRow, CHANNEL_STAB, noteC3 + chord.root, INSTRUMENT_STAB, stabVolume);
}

// Global volume: full at every row 0; fades follow the picture's fade, (64 - row) / 64; the
// closing chord holds for three beats, then sinks to a third.
void writeGlobalVolume(Song &song, int order, const OrderPlan &plan) {
    for (int row = 0; row < rowsPerPattern; row++) {
        int volume = 64;
        if (plan.marks & MARK_FADE)
            volume = 64 - row;
        else if (plan.marks & MARK_CLOSING)
            volume = row < 24 ? 64 : 64 - (row - 24) * 42 / 39;
        else if (row > 0)
            continue;
        putEffect(song, order * rowsPerPattern + row, CHANNEL_CONTROL, XM_FX_SET_GLOBAL_VOLUME, volume);
    }
}

void writeMarks(Song &song, int order, const OrderPlan &plan, const OrderChords &chords) {
    const int first = order * rowsPerPattern;
    if (plan.marks & (MARK_CRASH | MARK_STAB))
        writeHit(song, first, chords.atRow(0), (plan.marks & MARK_STAB) != 0);
    if (plan.marks & MARK_ACCENTS)
        for (int row = 0; row < rowsPerPattern; row += rowsPerChord)
            writeHit(song, first + row, chords.atRow(row), true);
    // The swell lasts a bar and peaks on the next order's row 0.
    if (plan.marks & MARK_SWELL)
        putNote(song, first + rowsPerPattern - rowsPerBar, CHANNEL_SWELL, XM_NOTE_C4, INSTRUMENT_SWELL, swellVolume);
    writeGlobalVolume(song, order, plan);
}

XmModule composeShowModule() {
    XmModule module;
    module.name = "vrimla2";
    module.trackerName = "gRUNKA composer";
    module.channels = CHANNEL_COUNT;
    module.speed = showSpeed;
    module.tempo = showTempo;
    module.restartPosition = 0;
    module.instruments = makeShowInstruments();
    Song song;
    song.patterns.resize(static_cast<size_t>(showOrderCount));
    for (XmPattern &pattern : song.patterns) {
        pattern.rows = rowsPerPattern;
        editXmCell(pattern, CHANNEL_COUNT, 0, 0);
    }
    // In order: where a phrase stops, the next order's notes overwrite its release.
    PadsSounding pads;
    for (int order = 0; order < showOrderCount; order++) {
        const OrderPlan &plan = showArrangement[order];
        OrderChords chords = readChords(plan, order);
        writeDrums(song, order, plan);
        writeBass(song, order, plan, chords);
        writePads(song, order, plan, chords, pads);
        writeArp(song, order, plan, chords);
        writeLead(song, order, plan);
        writeMarks(song, order, plan, chords);
        module.orders.push_back(static_cast<uint8_t>(order));
    }
    module.patterns = song.patterns;
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
