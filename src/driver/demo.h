// The show's main routine, its frame clocks and the rules applied when the music moves to another order.
#pragma once
#include <cstdint>

// Seconds, single precision, alive for the whole loop.
struct FrameClocks {
    float frameStamp;
    float frameDelta;
    float demoTime;
    float partTime;
    float wordTime1;
    float wordTime2;
    float wordTime3;
};

// The loop's state. Globals so that the schedule, the part-change rules, the tests and the
// offline renderer all see the same values as the live loop.
extern FrameClocks frameClocks;
extern int32_t part;
extern int32_t previousPart;
extern bool endRequested;

// Where one frame step takes its time and its music position from: the live loop passes
// SDL's ticks and the playing module, an offline renderer a virtual clock and a position of its own.
struct FrameSource {
    uint32_t (*readTicks)();
    void (*readMusicPosition)(int32_t *order, int32_t *row);
};

// Start-up step 1: clocks to 0, no end requested, no previous part.
void resetFrameState();
// Takes the stamp of start-up step 12 from a tick reading.
void stampFrameClocks(uint32_t ticks);
// Frame step 2 from the frame's two tick readings.
void advanceFrameClocks(uint32_t firstTicks, uint32_t secondTicks);
// The part-change table; changes only the resettable clocks and endRequested.
void applyPartChange(int32_t enteredPart, int32_t previousPart);
// Clocks, music position, part change: the frame step up to its drawing.
void advanceFrame(const FrameSource &source);
// advanceFrame, then drawPart: everything of a frame but the lock, swap and events.
void stepFrame(const FrameSource &source);

// Start-up from "Init" up to the music: font, scene assets, display, cel shading, viewport,
// forests and credits image, in their fixed order (rand draws depend on it); then the display
// lists of every mesh and glyph.
void loadShowContent();

int runDemo(int argc, char **argv);
