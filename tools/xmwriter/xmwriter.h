// A small FastTracker 2 (XM, version 0x0104) module writer: the records below hold a
// whole module in plain vectors and encodeXmModule turns them into the file's bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Note numbers of the pattern cells: 1 is C-0, 49 is C-4, 96 is B-7; 97 releases the note.
enum XmNoteValue : uint8_t {
    XM_NO_NOTE = 0,
    XM_NOTE_C4 = 49,
    XM_KEY_OFF = 97,
};

// Effect numbers (the letters of FastTracker's effect column).
enum XmEffectType : uint8_t {
    XM_FX_ARPEGGIO = 0x00,
    XM_FX_PORTA_UP = 0x01,
    XM_FX_PORTA_DOWN = 0x02,
    XM_FX_TONE_PORTA = 0x03,
    XM_FX_VIBRATO = 0x04,
    XM_FX_SET_PANNING = 0x08,
    XM_FX_VOLUME_SLIDE = 0x0A,
    XM_FX_POSITION_JUMP = 0x0B,
    XM_FX_SET_VOLUME = 0x0C,
    XM_FX_PATTERN_BREAK = 0x0D,
    XM_FX_EXTENDED = 0x0E,
    XM_FX_SET_SPEED_TEMPO = 0x0F,
    XM_FX_SET_GLOBAL_VOLUME = 0x10,   // G
    XM_FX_GLOBAL_VOLUME_SLIDE = 0x11, // H
    XM_FX_KEY_OFF = 0x14,             // K
};

// Parameters that are not the plain number: a pattern break's row is written as two decimal
// digits, one a nibble; the extended effect's pattern delay repeats its row 0..15 times.
inline uint8_t xmPatternBreakRow(int row) { return static_cast<uint8_t>((row / 10 % 10) << 4 | row % 10); }
inline uint8_t xmPatternDelay(int rows) { return static_cast<uint8_t>(0xE0 | (rows & 0x0F)); }

// Volume column: 0x10 + v sets volume v (0..64); the upper nibble selects slides and panning.
inline uint8_t xmSetVolume(int volume) { return static_cast<uint8_t>(0x10 + (volume < 0 ? 0 : volume > 64 ? 64 : volume)); }

struct XmCell {
    uint8_t note = 0;       // XmNoteValue or 1..96
    uint8_t instrument = 0; // 1-based; 0 keeps the channel's instrument
    uint8_t volume = 0;     // volume column byte; 0 is empty
    uint8_t effect = 0;     // XmEffectType
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 64;
    std::vector<XmCell> cells; // rows * channel count, row-major; missing cells are empty
};

struct XmEnvelopePoint {
    uint16_t tick = 0;
    uint16_t value = 0; // 0..64 (volume; panning 32 is centre)
};

// An envelope is enabled when it has points (at most 12); -1 disables sustain or loop.
struct XmEnvelope {
    std::vector<XmEnvelopePoint> points;
    int sustainPoint = -1;
    int loopStart = -1;
    int loopEnd = -1;
};

enum XmLoopType : uint8_t { XM_LOOP_NONE = 0, XM_LOOP_FORWARD = 1, XM_LOOP_PINGPONG = 2 };

struct XmSample {
    std::string name;
    bool sixteenBit = true;
    std::vector<int16_t> data; // 8-bit samples hold -128..127
    XmLoopType loop = XM_LOOP_NONE;
    uint32_t loopStart = 0;  // in sample frames
    uint32_t loopLength = 0; // in sample frames
    uint8_t volume = 64;
    int8_t finetune = 0; // 1/128 semitone
    uint8_t panning = 128;
    int8_t relativeNote = 0;
};

struct XmInstrument {
    std::string name;
    std::vector<XmSample> samples;
    std::vector<uint8_t> noteSamples; // 96 sample indices, one per note; empty maps all to 0
    XmEnvelope volumeEnvelope;
    XmEnvelope panningEnvelope;
    uint16_t fadeout = 0;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
};

struct XmModule {
    std::string name;
    std::string trackerName = "xmwriter";
    int channels = 2;
    bool linearFrequencies = true;
    uint16_t speed = 6;   // ticks per row
    uint16_t tempo = 125; // BPM
    uint16_t restartPosition = 0;
    std::vector<uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// What is wrong with a module, in one line; empty when it can be written.
std::string checkXmModule(const XmModule &module);
// The file bytes of a module; empty when checkXmModule finds a fault.
std::vector<uint8_t> encodeXmModule(const XmModule &module);
// The cell at row, channel of a pattern, growing the pattern's cell vector as needed.
XmCell &editXmCell(XmPattern &pattern, int channels, int row, int channel);
// Relative note and finetune that make a sample sampled at sampleRate sound at its
// recorded pitch when played at note; the pair is stored into the sample.
void tuneXmSample(XmSample &sample, double sampleRate, int note);

// A tiny valid module: orderCount orders, each its own pattern of rowsPerPattern rows, one
// short synthesised instrument struck on row 0 of each pattern, restart 0, tempo 255 and
// ticksPerRow as the speed (a row lasts 2.5 / 255 s per tick). The record, for a test to give
// it the jumps, breaks and tempo changes of a tracker's song; no orders when the counts are
// outside 1..256 or the speed outside 1..31.
XmModule makeShortTestXmModule(int orderCount, int rowsPerPattern, int ticksPerRow = 1);
// The same module's bytes; empty when the counts are outside those ranges.
std::vector<uint8_t> makeShortTestModule(int orderCount, int rowsPerPattern, int ticksPerRow = 1);
// Writes bytes to path; false when the file cannot be written completely.
bool writeFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);
