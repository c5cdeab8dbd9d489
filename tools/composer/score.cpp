#include "composer/score.h"

// A minor, 125 BPM at speed 3, eight rows to a beat: an order is two bars, 3.84 s. The phrases
// are eight bars long, four orders, so a melody or a progression runs on across the scene
// changes; the form follows the pictures (docs/soundtrack.md).

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

// Beats of eight rows; the kick of every groove heard under a flight is on rows 0 and 16.
const DrumGroove showGrooves[] = {
    {"title",
     // kick                                  snare
     // hat                                   open hat
     {"o....... ........ ........ ........", "........ ........ ........ ........",
      "....x... ....x... ....x... ....x.o.", "........ ........ ........ ........"},
     {"o....... ........ ........ ........", "........ ........ ........ ........",
      "....x... ....x... ....x.o. x.o.x.xx", "........ ........ ........ ........"}},
    {"main",
     {"X....... ....x... X....... ..x.....", "........ X....... ........ X.......",
      "x.o.x.o. x.o.x.o. x.o.x.o. x.o.....", "........ ........ ........ ....o..."},
     {"X....... ....x... X....... ........", "........ X....... ....o... X.o.XxXX",
      "x.o.x.o. x.o.x.o. x.o.x.o. ........", "........ ........ ........ ........"}},
    {"rush",
     {"X....... X....... X....... X.......", "........ X....... ........ X.......",
      "x.o...o. x.o...o. x.o...o. x.o...o.", "....x... ....x... ....x... ....x..."},
     {"X....... X....... X....... X...X...", "........ X....... ....x.x. oooxxxXX",
      "x.o...o. x.o...o. x.o...o. ........", "....x... ....x... ....x... ........"}},
    {"groove",
     {"X....... ..X..... X.....x. ........", "........ X....... ........ X.......",
      "x...x... x...x... x...x... x...x.x.", "........ ......o. ........ ........"},
     {"X....... ..X..... X....... ..X.....", "........ X....... ......o. X...o.X.",
      "x...x... x...x... x...x... ........", "........ ......o. ........ ........"}},
    {"halftime",
     {"X....... ........ ........ ..x.....", "........ ........ X....... ........",
      "x...o... x...o... x...o... x...o...", "........ ......o. ........ ........"},
     {"X....... ........ ........ ..x.x...", "........ ........ X....... ....o.xX",
      "x...o... x...o... x...o... ........", "........ ......o. ........ ........"}},
    {"floor",
     {"X....... X....... X....... X.......", "........ X....... ........ X.......",
      "..x...x. ..x...x. ..x...x. ..x...x.", "....x... ....x... ....x... ....x..."},
     {"X....... X....... X....... X.X.X.X.", "........ X....... ........ X.x.XxXX",
      "..x...x. ..x...x. ..x...x. ........", "....x... ....x... ....x... ........"}},
    {"forest",
     {"X.....x. ..x..... X.....x. ........", "........ X....... ........ X....o..",
      "x.o.x.o. x.o.x.o. x.o.x.o. x.o.....", "........ ........ ........ ....x..."},
     {"X.....x. ..x..... X....... X.X.....", "........ X....... ....o... X.o.XoXX",
      "x.o.x.o. x.o.x.o. x.o.x.o. ........", "........ ........ ........ ........"}},
};
const int showGrooveCount = sizeof(showGrooves) / sizeof(showGrooves[0]);

const BarFigure showBassFigures[] = {
    {"drone",   "1....... ........ ....1... 8...5...", 46, INSTRUMENT_BASS},
    {"pulse",   "1...1.1. 8...1... 1...1.1. 8...5...", 48, INSTRUMENT_BASS},
    {"octaves", "1.8.1.8. 1.8.1.8. 1.8.1.8. 1.8.1.8.", 46, INSTRUMENT_BASS},
    {"walk",    "1.....1. ....5... 8.....8. ....5.3.", 50, INSTRUMENT_BASS},
    {"half",    "1....... ........ ........ ....5.8.", 52, INSTRUMENT_BASS},
    {"offbeat", "-...1.1. -...1.1. -...1.1. -...1.1.", 48, INSTRUMENT_BASS},
    {"forest",  "1...1.8. ..1.8.5. 1...1.8. ..1.5.8.", 48, INSTRUMENT_BASS},
    {"closing", "1....... ........ ........ ........", 52, INSTRUMENT_BASS},
};
const int showBassFigureCount = sizeof(showBassFigures) / sizeof(showBassFigures[0]);

const BarFigure showArpFigures[] = {
    {"sparse",  "1....... 5....... 8....... 5.......", 40, INSTRUMENT_BELL},
    {"chime",   "1...5... 8....... 9...8... 5.......", 36, INSTRUMENT_BELL},
    {"sparkle", "1...5... 8...5... 9...8... 5...8...", 34, INSTRUMENT_ARP},
    {"run",     "1.5.8.5. 9.8.5.8. 1.5.8.5. 0.9.8.5.", 28, INSTRUMENT_ARP},
    {"roll",    "1.3.5.8. 0.8.5.3. 1.3.5.8. 0.8.5.3.", 28, INSTRUMENT_ARP},
    {"closing", "1....... 3....... 5....... 7.......", 36, INSTRUMENT_BELL},
};
const int showArpFigureCount = sizeof(showArpFigures) / sizeof(showArpFigures[0]);

const PadStyle showPadStyles[] = {
    {"soft", 30},
    {"hold", 38},
    {"full", 44},
};
const int showPadStyleCount = sizeof(showPadStyles) / sizeof(showPadStyles[0]);

// Note lengths in rows: 32 a bar, 8 a beat, 4 an eighth, 2 a sixteenth. One line per order,
// the chords of its two bars above it.
const Melody showMelodies[] = {
    // The main theme, sixteen bars: a question ending on the dominant (orders 8-11), its answer
    // coming home (12-15); it returns over the forest flight (42-49).
    {"theme",
     //  Am                                F
     "E5:8 A5:4 G5:4 E5:8 C5:4 D5:4      C5:12 A4:4 C5:8 F5:8 "
     //  C                                 G
     "E5:12 D5:4 C5:8 G4:8               D5:16 B4:8 G4:8 "
     //  F                                 G
     "A4:4 C5:4 F5:8 E5:4 D5:4 C5:8      D5:12 E5:4 D5:8 B4:8 "
     //  E                                 E (break)
     "B4:8 G#4:4 B4:4 E5:8 D5:8          B4:32 "
     //  Am                                F
     "E5:8 A5:4 G5:4 E5:8 C5:4 D5:4      C5:12 A4:4 C5:8 F5:8 "
     //  C                                 G
     "E5:12 F5:4 G5:8 E5:8               D5:16 G5:8 F5:8 "
     //  F                                 G
     "A5:8 G5:4 F5:4 E5:8 C5:8           D5:4 E5:4 F5:8 E5:8 D5:8 "
     //  E                                 Am (break)
     "B4:8 C5:4 D5:4 B4:8 G#4:8          A4:32"},
    // The credits flight: a lyrical line, then the same shape a register higher.
    {"flight",
     //  Am                                F
     "A4:4 C5:4 E5:12 D5:4 C5:8          A4:12 C5:4 F5:16 "
     //  C                                 G
     "E5:4 G5:4 E5:8 D5:4 C5:4 G4:8      B4:16 D5:8 G5:8 "
     //  Dm                                F
     "F5:12 E5:4 D5:8 A4:8               C5:8 A4:4 C5:4 F5:16 "
     //  E                                 Am
     "E5:4 D5:4 B4:8 G#4:8 B4:8          A4:24 r:8 "
     //  Am                                F
     "E5:4 A5:4 C6:12 B5:4 A5:8          F5:12 A5:4 C6:16 "
     //  C                                 G
     "G5:4 E5:4 G5:8 C6:4 B5:4 G5:8      D6:16 B5:8 G5:8 "
     //  Dm                                F
     "A5:12 G5:4 F5:8 D5:8               C5:8 F5:4 A5:4 C6:16 "
     //  E                                 Am (fading)
     "B5:4 A5:4 G#5:8 E5:8 D5:8          C5:8 B4:4 C5:4 A4:16"},
    // The scroller: long notes over the half-time groove, a bar or half a bar each.
    {"drift",
     //  Am                                Em
     "E5:32                              B4:32 "
     //  F                                 C
     "C5:16 A4:16                        G4:32 "
     //  Dm                                Am
     "F5:32                              E5:32 "
     //  F                                 E
     "C5:16 A4:16                        G#4:32 "
     //  Am                                Em
     "A5:32                              G5:16 B4:16 "
     //  F                                 C
     "C5:24 D5:8                         E5:32 "
     //  Dm                                Am
     "D5:16 F5:16                        E5:24 C5:8 "
     //  F                                 E
     "A5:16 C5:16                        B4:32"},
    // The climax, high over the beat flashes.
    {"climax",
     //  F                                 G
     "C6:8 A5:4 G5:4 F5:8 A5:8           B5:8 G5:4 A5:4 B5:8 D6:8 "
     //  Am                                Am
     "C6:12 B5:4 A5:8 E5:8               A5:32 "
     //  F                                 G
     "C6:8 A5:4 G5:4 F5:8 A5:8           G5:8 A5:4 B5:4 D6:16 "
     //  C                                 E
     "E6:16 D6:8 C6:8                    B5:16 G#5:16"},
};
const int showMelodyCount = sizeof(showMelodies) / sizeof(showMelodies[0]);

const OrderPlan showArrangement[] = {
    // chords     drums       bass       pads    arp        lead         marks
    // 0-3: intro, pads and a sparse bell arpeggio while the forest rises into view.
    {"Am Am",     "",         "",        "soft", "sparse",  "",          0},                                    // 0
    {"F F",       "",         "",        "soft", "sparse",  "",          0},                                    // 1
    {"C G",       "",         "",        "hold", "chime",   "",          0},                                    // 2
    {"Dm E",      "",         "",        "hold", "chime",   "",          MARK_SWELL},                           // 3
    // 4-7: the title; bass and hats join; 7 thins out and fades on the dominant.
    {"Am F",      "title",    "drone",   "hold", "sparkle", "",          MARK_CRASH},                           // 4
    {"C G",       "title",    "drone",   "hold", "sparkle", "",          MARK_FILL},                            // 5
    {"F G",       "title",    "drone",   "hold", "run",     "",          0},                                    // 6
    {"E E",       "title",    "drone",   "hold", "run",     "",          MARK_THIN | MARK_FADE},                // 7
    // 8-15: the main theme with full drums and a crash on every row 0; 11 and 15 break and fade.
    {"Am F",      "main",     "pulse",   "hold", "",        "theme 0",   MARK_CRASH},                           // 8
    {"C G",       "main",     "pulse",   "hold", "",        "theme 1",   MARK_CRASH | MARK_FILL},               // 9
    {"F G",       "main",     "pulse",   "hold", "run",     "theme 2",   MARK_CRASH},                           // 10
    {"E E",       "main",     "pulse",   "hold", "run",     "theme 3",   MARK_CRASH | MARK_BREAK | MARK_FADE},  // 11
    {"Am F",      "main",     "pulse",   "hold", "sparkle", "theme 4",   MARK_CRASH},                           // 12
    {"C G",       "main",     "pulse",   "hold", "sparkle", "theme 5",   MARK_CRASH | MARK_FILL},               // 13
    {"F G",       "main",     "pulse",   "hold", "run",     "theme 6",   MARK_CRASH},                           // 14
    {"E Am",      "main",     "pulse",   "hold", "run",     "theme 7",   MARK_CRASH | MARK_BREAK | MARK_FADE},  // 15
    // 16-21: the rush; a stab where the picture flashes and where each credit word appears.
    {"Am Am",     "rush",     "octaves", "hold", "roll",    "",          MARK_STAB},                            // 16
    {"F G",       "rush",     "octaves", "hold", "roll",    "",          MARK_SWELL | MARK_FILL},               // 17
    {"Am C",      "rush",     "octaves", "hold", "roll",    "",          MARK_STAB},                            // 18 plork
    {"F G",       "rush",     "octaves", "hold", "roll",    "",          MARK_STAB},                            // 19 er
    {"Dm F",      "rush",     "octaves", "hold", "roll",    "",          MARK_STAB},                            // 20 en
    {"E E",       "rush",     "octaves", "hold", "roll",    "",          MARK_STAB | MARK_SWELL | MARK_FILL},   // 21 sjukdom
    // 22-29: the credits flight, a lead melody with its echo over the groove; 29 fades.
    {"Am F",      "groove",   "walk",    "soft", "",        "flight 0",  MARK_CRASH | MARK_ECHO},               // 22
    {"C G",       "groove",   "walk",    "soft", "",        "flight 1",  MARK_ECHO},                            // 23
    {"Dm F",      "groove",   "walk",    "soft", "sparkle", "flight 2",  MARK_ECHO},                            // 24
    {"E Am",      "groove",   "walk",    "soft", "sparkle", "flight 3",  MARK_ECHO | MARK_FILL},                // 25
    {"Am F",      "groove",   "walk",    "hold", "run",     "flight 4",  MARK_ECHO},                            // 26
    {"C G",       "groove",   "walk",    "hold", "run",     "flight 5",  MARK_ECHO},                            // 27
    {"Dm F",      "groove",   "walk",    "hold", "run",     "flight 6",  MARK_ECHO | MARK_FILL},                // 28
    {"E Am",      "groove",   "walk",    "hold", "sparkle", "flight 7",  MARK_ECHO | MARK_FADE},                // 29
    // 30-37: the scroller, half time, arpeggios rippling like the grid.
    {"Am Em",     "halftime", "half",    "hold", "run",     "drift 0",   MARK_ECHO},                            // 30
    {"F C",       "halftime", "half",    "hold", "roll",    "drift 1",   MARK_ECHO},                            // 31
    {"Dm Am",     "halftime", "half",    "hold", "run",     "drift 2",   MARK_ECHO},                            // 32
    {"F E",       "halftime", "half",    "hold", "roll",    "drift 3",   MARK_ECHO | MARK_FILL},                // 33
    {"Am Em",     "halftime", "half",    "full", "run",     "drift 4",   MARK_ECHO},                            // 34
    {"F C",       "halftime", "half",    "full", "roll",    "drift 5",   MARK_ECHO},                            // 35
    {"Dm Am",     "halftime", "half",    "full", "run",     "drift 6",   MARK_ECHO},                            // 36
    {"F E",       "halftime", "half",    "full", "roll",    "drift 7",   MARK_ECHO | MARK_SWELL | MARK_FILL},   // 37
    // 38-41: the climax, four to the floor, accents where the screen flashes every 16 rows.
    {"F G",       "floor",    "offbeat", "full", "run",     "climax 0",  MARK_ACCENTS | MARK_ECHO},             // 38
    {"Am Am",     "floor",    "offbeat", "full", "run",     "climax 1",  MARK_ACCENTS | MARK_ECHO},             // 39
    {"F G",       "floor",    "offbeat", "full", "roll",    "climax 2",  MARK_ACCENTS | MARK_ECHO},             // 40
    {"C E",       "floor",    "offbeat", "full", "roll",    "climax 3",  MARK_ACCENTS | MARK_ECHO | MARK_SWELL | MARK_FILL}, // 41
    // 42-49: the forest flight, the main theme returns fuller; stabs under the closing words.
    {"Am F",      "forest",   "forest",  "full", "run",     "theme 0",   MARK_CRASH | MARK_ECHO},               // 42
    {"C G",       "forest",   "forest",  "full", "roll",    "theme 1",   MARK_ECHO},                            // 43
    {"F G",       "forest",   "forest",  "full", "run",     "theme 2",   MARK_ECHO},                            // 44
    {"E E",       "forest",   "forest",  "full", "roll",    "theme 3",   MARK_ECHO | MARK_FILL},                // 45
    {"Am F",      "floor",    "forest",  "full", "run",     "theme 4",   MARK_ECHO | MARK_LEAD_UP},             // 46
    {"C G",       "floor",    "forest",  "full", "roll",    "theme 5",   MARK_ECHO | MARK_LEAD_UP | MARK_SWELL | MARK_FILL}, // 47
    {"F G",       "forest",   "forest",  "full", "run",     "theme 6",   MARK_STAB | MARK_ECHO},                // 48 vOTE
    {"E Am",      "forest",   "forest",  "full", "roll",    "theme 7",   MARK_STAB | MARK_ECHO | MARK_FADE},    // 49 fOR
    // 50: the closing chord rings out under the last words.
    {"Am9 Am9",   "",         "closing", "full", "closing", "",          MARK_STAB | MARK_CLOSING},             // 50 gRUNKA pELDO
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
