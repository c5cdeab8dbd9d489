// The score of the show's soundtrack: what plays in each of the 51 orders, written as data.
// 125 BPM at speed 3: a row lasts 60 ms and a beat 8 rows, so a bar is 32 rows (1.92 s) and a
// 64-row order two bars (3.84 s). Rows 0, 16, 32 and 48 are the first and third beats of the
// two bars: the strong beats, where the pictures flash and the camera shake snaps back.
#pragma once
#include <cstdint>

#include "composer/instruments.h"

enum ScoreMark : uint32_t {
    MARK_CRASH = 1u << 0,      // crash on row 0 (a flash on screen)
    MARK_STAB = 1u << 1,       // chord stab with the crash on row 0 (a new word on screen)
    MARK_FADE = 1u << 2,       // global volume follows the picture's fade across the pattern
    MARK_BREAK = 1u << 3,      // drums and bass stop for the last two beats
    MARK_ACCENTS = 1u << 4,    // crash and stab on rows 0, 16, 32 and 48 (the beat flashes)
    MARK_SWELL = 1u << 5,      // a reversed cymbal rises through the second bar into the next order
    MARK_THIN = 1u << 6,       // drums drop out after the first bar
    MARK_CLOSING = 1u << 7,    // the closing chord, struck once and left to ring
    MARK_ECHO = 1u << 8,       // the lead answered a dotted eighth later, softer, on the other side
    MARK_LEAD_UP = 1u << 9,    // the lead an octave above the written melody
    MARK_FILL = 1u << 10,      // the drums play their fill in the second bar
};

// One order of the arrangement. Names refer to the tables of score.cpp; "" is silence.
struct OrderPlan {
    const char *chords; // two chord symbols, one a bar ("Am F"), or four, one every two beats
    const char *drums;  // groove
    const char *bass;   // bass figure
    const char *pads;   // pad voicing style
    const char *arp;    // arpeggio figure
    const char *lead;   // a melody and which of its orders plays here: "theme 2"
    uint32_t marks;     // ScoreMark bits
};

// Steps of a bar: one character a row, 32 rows; the spaces between the beats are for reading.
// Drums: 'X' loud, 'x' normal, 'o' soft, '.' nothing.
struct DrumBar {
    const char *kick, *snare, *hat, *openHat;
};

// A groove: the bar it repeats, and the fill that replaces the second bar where marked.
struct DrumGroove {
    const char *name;
    DrumBar bar, fill;
};

// A figure over one bar of 32 steps: '1' root, '3' third, '5' fifth, '7' seventh, '8' octave
// (and '9' the third above it, '0' the fifth above it), '.' holds, '-' releases.
struct BarFigure {
    const char *name;
    const char *steps;
    int volume;         // volume column for each struck note
    uint8_t instrument; // InstrumentNumber that plays it
};

// A melody over one or more whole orders: "note:rows" tokens, "r:rows" for a rest; the rows add
// up to a multiple of 64. A phrase runs across the scene changes: each order plays its part.
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
