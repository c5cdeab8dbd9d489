#include "composer/score.h"

// A minor, 125 BPM, speed 6: a bar of 16 rows lasts 1.92 s, an order 7.68 s.

const ChordShape showChords[] = {
    // symbol  root  tones above the root
    {"Am", 9, {0, 3, 7, 12}},
    {"F", 5, {0, 4, 7, 12}},
    {"C", 0, {0, 4, 7, 12}},
    {"G", 7, {0, 4, 7, 12}},
    {"Dm", 2, {0, 3, 7, 12}},
    {"Em", 4, {0, 3, 7, 12}},
    {"E", 4, {0, 4, 7, 12}},
    {"Am9", 9, {0, 7, 14, 15}}, // A E B C: the closing chord, open and unresolved
};
const int showChordCount = sizeof(showChords) / sizeof(showChords[0]);

const DrumGroove showGrooves[] = {
    // name        kick                snare               hat                 open hat
    //             fill kick           fill snare          fill hat            fill open hat
    {"title",      "................", "................", "..x...x...x...x.", "................",
                   "................", "................", "..x...x...x.x.xx", "..............o."},
    {"main",       "X.....x...x.....", "....X.......X...", "x.o.x.o.x.o.x.o.", "..............o.",
                   "X.....x...x.....", "....X.......X.xx", "x.o.x.o.x.o.x...", "................"},
    {"rush",       "X...X...X...X...", "....X.......X...", "xoxoxoxoxoxoxoxo", "..x...x...x...x.",
                   "X...X...X...X.X.", "....X...X.X.XXXX", "xoxoxoxoxoxo....", "..x...x...x....."},
    {"groove",     "X.....x.X.......", "....X.......X...", "x.x.x.x.x.x.x.x.", "......o.......o.",
                   "X.....x.X.......", "....X.......X.oX", "x.x.x.x.x.x.x...", "......o........."},
    {"halftime",   "X.........x.....", "........X.......", "x.o.x.o.x.o.x.o.", "......o.........",
                   "X.........x.x...", "........X.....oo", "x.o.x.o.x.o.x...", "......o........."},
    {"floor",      "X...X...X...X...", "....X.......X...", "oxoxoxoxoxoxoxox", "..X...X...X...X.",
                   "X...X...X...X...", "....X.......XoXX", "oxoxoxoxoxoxoxox", "..X...X...X....."},
    {"forest",     "X.....x.X.x.....", "....X.......X...", "xoxoxoxoxoxoxoxo", "..............x.",
                   "X.....x.X.x.....", "....X.....o.X.XX", "xoxoxoxoxoxo....", "................"},
};
const int showGrooveCount = sizeof(showGrooves) / sizeof(showGrooves[0]);

const BarFigure showBassFigures[] = {
    {"drone",   "1.....1.8.....5.", 46, INSTRUMENT_BASS},
    {"pulse",   "1.1.8.1.1.1.8.5.", 48, INSTRUMENT_BASS},
    {"octaves", "1.8.1.8.1.8.1.8.", 48, INSTRUMENT_BASS},
    {"walk",    "1..1..5.8..8..5.", 50, INSTRUMENT_BASS},
    {"half",    "1.........5...8.", 52, INSTRUMENT_BASS},
    {"offbeat", "-.1.-.1.-.1.-.1.", 50, INSTRUMENT_BASS},
    {"forest",  "1.18.1.81.18.15.", 48, INSTRUMENT_BASS},
    {"closing", "1...............", 52, INSTRUMENT_BASS},
};
const int showBassFigureCount = sizeof(showBassFigures) / sizeof(showBassFigures[0]);

const BarFigure showArpFigures[] = {
    {"sparse",  "1...5...8...5...", 40, INSTRUMENT_BELL},
    {"sparkle", "1.5.8.5.9.8.5.8.", 34, INSTRUMENT_ARP},
    {"run",     "1589158915891589", 28, INSTRUMENT_ARP},
    {"roll",    "1358035813580358", 28, INSTRUMENT_ARP},
    {"closing", "1.......5.......", 36, INSTRUMENT_BELL},
};
const int showArpFigureCount = sizeof(showArpFigures) / sizeof(showArpFigures[0]);

const PadStyle showPadStyles[] = {
    {"soft", 30},
    {"hold", 38},
    {"full", 44},
};
const int showPadStyleCount = sizeof(showPadStyles) / sizeof(showPadStyles[0]);

const Melody showMelodies[] = {
    // The main theme, over Am F C G and F G Em Am.
    {"themeA",   "E5:6 D5:2 C5:4 B4:2 C5:2  A4:6 G4:2 A4:4 C5:4  G4:6 E4:2 G4:4 C5:4  B4:8 D5:4 B4:4"},
    {"themeB",   "A4:4 C5:4 F5:6 E5:2  D5:6 C5:2 B4:4 G4:4  E5:4 G5:4 E5:4 D5:4  C5:4 B4:2 A4:10"},
    // Its half cadence over F G E E, holding the leading note through the break.
    {"themeEnd", "A4:4 C5:4 F5:6 E5:2  D5:6 C5:2 B4:4 G4:4  E5:8 D5:4 B4:4  G#4:16"},
    // The credits flight, over Am F C G and Dm F E Am.
    {"creditsA", "A4:2 C5:2 E5:4 D5:2 C5:2 D5:4  C5:2 A4:2 F4:4 A4:4 C5:4  E5:2 G5:2 E5:4 D5:2 C5:2 G4:4  B4:4 D5:4 G5:8"},
    {"creditsB", "F5:4 E5:2 D5:2 A4:8  C5:4 A4:2 C5:2 F5:8  E5:2 D5:2 B4:4 G#4:4 B4:4  A4:16"},
    // The scroller: long notes over the half-time groove, Am Em F C and Dm Am F E.
    {"scrollA",  "E5:16  B4:16  C5:8 A4:8  G4:16"},
    {"scrollB",  "F5:16  E5:16  C5:8 A4:8  G#4:16"},
    // The climax, high over F G Am Am and F G C E.
    {"climaxA",  "A5:4 G5:4 F5:4 E5:4  D5:4 E5:4 G5:8  E5:12 D5:2 C5:2  A4:16"},
    {"climaxB",  "A5:4 G5:4 F5:4 C6:4  B5:8 G5:8  C6:8 E5:8  G#5:8 B5:8"},
};
const int showMelodyCount = sizeof(showMelodies) / sizeof(showMelodies[0]);

const OrderPlan showArrangement[] = {
    // chords            drums       bass       pads    arp        lead        marks
    // 0-3: intro, pads and a sparse arpeggio while the forest rises into view.
    {"Am Am F F",        "",         "",        "soft", "sparse",  "",         0},                                  // 0
    {"Am Am G G",        "",         "",        "soft", "sparse",  "",         0},                                  // 1
    {"F F C C",          "",         "",        "hold", "sparse",  "",         0},                                  // 2
    {"Dm Dm E E",        "",         "",        "hold", "sparkle", "",         MARK_SWELL},                         // 3
    // 4-7: the title; bass and hats join; 7 thins out and fades.
    {"Am F C G",         "title",    "drone",   "hold", "sparkle", "",         MARK_CRASH},                         // 4
    {"Am F C G",         "title",    "drone",   "hold", "run",     "",         0},                                  // 5
    {"F G Em Am",        "title",    "drone",   "hold", "roll",    "",         0},                                  // 6
    {"F G E E",          "title",    "drone",   "hold", "sparkle", "",         MARK_THIN | MARK_FADE},              // 7
    // 8-15: the main theme with full drums and a crash on every downbeat; 11 and 15 break.
    {"Am F C G",         "main",     "pulse",   "hold", "",        "themeA",   MARK_CRASH},                         // 8
    {"F G Em Am",        "main",     "pulse",   "hold", "",        "themeB",   MARK_CRASH},                         // 9
    {"Am F C G",         "main",     "pulse",   "hold", "run",     "themeA",   MARK_CRASH},                         // 10
    {"F G E E",          "main",     "pulse",   "hold", "run",     "themeEnd", MARK_CRASH | MARK_BREAK | MARK_FADE},// 11
    {"Am F C G",         "main",     "pulse",   "hold", "sparkle", "themeA",   MARK_CRASH},                         // 12
    {"F G Em Am",        "main",     "pulse",   "hold", "sparkle", "themeB",   MARK_CRASH},                         // 13
    {"Am F C G",         "main",     "pulse",   "hold", "run",     "themeA",   MARK_CRASH},                         // 14
    {"F G E E",          "main",     "pulse",   "hold", "run",     "themeEnd", MARK_CRASH | MARK_BREAK | MARK_FADE},// 15
    // 16-21: the rush; a stab where the picture flashes and where each credit word appears.
    {"Am Am F G",        "rush",     "octaves", "hold", "roll",    "",         MARK_STAB},                          // 16
    {"Am Am C E",        "rush",     "octaves", "hold", "roll",    "",         MARK_SWELL},                         // 17
    {"F F G G",          "rush",     "octaves", "hold", "roll",    "",         MARK_STAB},                          // 18 plork
    {"Am Am C G",        "rush",     "octaves", "hold", "roll",    "",         MARK_STAB},                          // 19 er
    {"F F G G",          "rush",     "octaves", "hold", "roll",    "",         MARK_STAB},                          // 20 en
    {"Am C E E",         "rush",     "octaves", "hold", "roll",    "",         MARK_STAB | MARK_SWELL},             // 21 sjukdom
    // 22-29: the credits flight, a lead melody over the groove; 29 fades.
    {"Am F C G",         "groove",   "walk",    "soft", "",        "creditsA", MARK_CRASH | MARK_ECHO},             // 22
    {"Dm F E Am",        "groove",   "walk",    "soft", "",        "creditsB", MARK_ECHO},                          // 23
    {"Am F C G",         "groove",   "walk",    "soft", "sparkle", "creditsA", MARK_ECHO},                          // 24
    {"Dm F E Am",        "groove",   "walk",    "soft", "sparkle", "creditsB", MARK_ECHO},                          // 25
    {"Am F C G",         "groove",   "walk",    "hold", "run",     "creditsA", MARK_ECHO},                          // 26
    {"Dm F E Am",        "groove",   "walk",    "hold", "run",     "creditsB", MARK_ECHO},                          // 27
    {"Am F C G",         "groove",   "walk",    "hold", "run",     "creditsA", MARK_ECHO},                          // 28
    {"Dm F E Am",        "groove",   "walk",    "hold", "sparkle", "creditsB", MARK_ECHO | MARK_FADE},              // 29
    // 30-37: the scroller, half time, arpeggios rippling like the grid.
    {"Am Em F C",        "halftime", "half",    "hold", "run",     "scrollA",  MARK_ECHO},                          // 30
    {"Dm Am F E",        "halftime", "half",    "hold", "roll",    "scrollB",  MARK_ECHO},                          // 31
    {"Am Em F C",        "halftime", "half",    "hold", "run",     "scrollA",  MARK_ECHO},                          // 32
    {"Dm Am F E",        "halftime", "half",    "hold", "roll",    "scrollB",  MARK_ECHO},                          // 33
    {"Am Em F C",        "halftime", "half",    "full", "run",     "scrollA",  MARK_ECHO},                          // 34
    {"Dm Am F E",        "halftime", "half",    "full", "roll",    "scrollB",  MARK_ECHO},                          // 35
    {"Am Em F C",        "halftime", "half",    "full", "run",     "scrollA",  MARK_ECHO},                          // 36
    {"Dm Am F E",        "halftime", "half",    "full", "roll",    "scrollB",  MARK_ECHO | MARK_SWELL},             // 37
    // 38-41: the climax, four to the floor, accents where the screen flashes every 16 rows.
    {"F G Am Am",        "floor",    "offbeat", "full", "run",     "climaxA",  MARK_ACCENTS | MARK_ECHO},           // 38
    {"F G C E",          "floor",    "offbeat", "full", "run",     "climaxB",  MARK_ACCENTS | MARK_ECHO},           // 39
    {"F G Am Am",        "floor",    "offbeat", "full", "roll",    "climaxA",  MARK_ACCENTS | MARK_ECHO},           // 40
    {"F G C E",          "floor",    "offbeat", "full", "roll",    "climaxB",  MARK_ACCENTS | MARK_ECHO | MARK_SWELL},// 41
    // 42-49: the forest flight, the main theme returns fuller; stabs under the closing words; 49 fades.
    {"Am F C G",         "forest",   "forest",  "full", "run",     "themeA",   MARK_CRASH | MARK_ECHO},             // 42
    {"F G Em Am",        "forest",   "forest",  "full", "roll",    "themeB",   MARK_ECHO},                          // 43
    {"Am F C G",         "forest",   "forest",  "full", "run",     "themeA",   MARK_ECHO},                          // 44
    {"F G Em Am",        "forest",   "forest",  "full", "roll",    "themeB",   MARK_ECHO},                          // 45
    {"Am F C G",         "floor",    "forest",  "full", "run",     "themeA",   MARK_ECHO | MARK_LEAD_UP},           // 46
    {"F G Em Am",        "floor",    "forest",  "full", "roll",    "themeB",   MARK_ECHO | MARK_LEAD_UP | MARK_SWELL},// 47
    {"Am F C G",         "forest",   "forest",  "full", "run",     "themeA",   MARK_STAB | MARK_ECHO},              // 48 vOTE
    {"F G E E",          "forest",   "forest",  "full", "roll",    "themeEnd", MARK_STAB | MARK_ECHO | MARK_FADE},  // 49 fOR
    // 50: the closing chord rings out under the last words.
    {"Am9 Am9 Am9 Am9",  "",         "closing", "full", "closing", "",         MARK_STAB | MARK_CLOSING},           // 50 gRUNKA pELDO
};
const int showOrderCount = sizeof(showArrangement) / sizeof(showArrangement[0]);

// Meant to be quiet: the intro before the title (0-3), the fades (7, 11, 15, 29, 49) and the
// closing chord (50).
const int quietOrders[] = {0, 1, 2, 3, 7, 11, 15, 29, 49, 50};
const int quietOrderCount = sizeof(quietOrders) / sizeof(quietOrders[0]);

bool isQuietOrder(int order) {
    for (int i = 0; i < quietOrderCount; i++)
        if (quietOrders[i] == order)
            return true;
    return false;
}
