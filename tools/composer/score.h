// The score of the show's soundtrack: what plays in each of the 51 orders, written as data.
// Rows are sixteenth notes: 16 rows to a bar, 4 bars to a 64-row pattern, one chord a bar.
#pragma once
#include <cstdint>

#include "composer/instruments.h"

enum ScoreMark : uint32_t {
    MARK_CRASH = 1u << 0,      // crash on row 0 (a flash on screen)
    MARK_STAB = 1u << 1,       // chord stab with the crash on row 0 (a new word on screen)
    MARK_FADE = 1u << 2,       // global volume follows the picture's fade across the pattern
    MARK_BREAK = 1u << 3,      // drums and bass stop for the last bar
    MARK_ACCENTS = 1u << 4,    // crash and stab on rows 0, 16, 32 and 48 (the beat flashes)
    MARK_SWELL = 1u << 5,      // a reversed cymbal rises through the last bar into the next order
    MARK_THIN = 1u << 6,       // drums drop out after the second bar
    MARK_CLOSING = 1u << 7,    // the closing chord, struck once and left to ring
    MARK_ECHO = 1u << 8,       // the lead answered three rows later, softer, on the other side
    MARK_LEAD_UP = 1u << 9,    // the lead an octave above the written melody
};

// One order of the arrangement. Names refer to the tables of score.cpp; "" is silence.
struct OrderPlan {
    const char *chords; // four chord symbols, one a bar: "Am F C G"
    const char *drums;  // groove
    const char *bass;   // bass figure
    const char *pads;   // pad voicing style
    const char *arp;    // arpeggio figure
    const char *lead;   // melody
    uint32_t marks;     // ScoreMark bits
};

// A drum groove: one bar for each drum, repeated, and the bar that ends the pattern.
// 'X' loud, 'x' normal, 'o' soft, '.' nothing.
struct DrumGroove {
    const char *name;
    const char *kick, *snare, *hat, *openHat;
    const char *fillKick, *fillSnare, *fillHat, *fillOpenHat;
};

// A figure over one bar, one character a row: '1' root, '3' third, '5' fifth, '7' seventh,
// '8' octave (arpeggios also '9' the third above it, '0' the fifth above it), '.' holds, '-' releases.
struct BarFigure {
    const char *name;
    const char *steps;
    int volume;         // volume column for each struck note
    uint8_t instrument; // InstrumentNumber that plays it
};

// A melody over one pattern: "note:rows" tokens, "r:rows" for a rest; the rows add up to 64.
struct Melody {
    const char *name;
    const char *notes;
};

// Pad voicings: how loud the three pad voices hold the chord.
struct PadStyle {
    const char *name;
    int volume;
};

struct ChordShape {
    const char *symbol;
    int root;         // semitones above C
    int intervals[4]; // chord tones above the root, for pads and arpeggios
};

extern const OrderPlan showArrangement[];
extern const int showOrderCount;
extern const DrumGroove showGrooves[];
extern const int showGrooveCount;
extern const BarFigure showBassFigures[];
extern const int showBassFigureCount;
extern const BarFigure showArpFigures[];
extern const int showArpFigureCount;
extern const Melody showMelodies[];
extern const int showMelodyCount;
extern const PadStyle showPadStyles[];
extern const int showPadStyleCount;
extern const ChordShape showChords[];
extern const int showChordCount;

// Orders meant to be quieter than the rest: the intro, the fades and the closing chord.
extern const int quietOrders[];
extern const int quietOrderCount;
bool isQuietOrder(int order);
