// Which order and row is being heard now. The mixer notes its position every few rendered frames;
// the frame loop maps the current time back onto the sample frame leaving the speaker.
#pragma once
#include <atomic>
#include <cstdint>

// A mixer position note packed into one word, so that a read never sees half of a write:
// the sample frame it starts at (40 bits), the order (12 bits) and the row (12 bits).
uint64_t packPositionStamp(uint64_t frame, int32_t order, int32_t row);
uint64_t stampFrame(uint64_t stamp);
int32_t stampOrder(uint64_t stamp);
int32_t stampRow(uint64_t stamp);

constexpr int positionStampCapacity = 4096; // 4096 notes of 64 frames: 6 s of history
constexpr int positionStampFrames = 64; // 1.5 ms at 44.1 kHz

// The notes, written by the audio thread and read by the frame loop.
struct PositionStamps {
    std::atomic<uint64_t> stamps[positionStampCapacity];
    std::atomic<uint64_t> count; // notes written so far; the newest is count - 1
};

void clearPositionStamps(PositionStamps &notes);
void notePosition(PositionStamps &notes, uint64_t frame, int32_t order, int32_t row);
// The newest note that starts at or before frame; false when there is none.
bool findPositionAt(const PositionStamps &notes, uint64_t frame, uint64_t *stamp);

// What the audio thread publishes at each device callback.
struct CallbackTiming {
    int64_t framesBefore;  // sample frames rendered before this callback
    double seconds;        // steady-clock time at the callback's start
};

// The sample frame being heard at 'now', given the newest callback: what was rendered before it,
// less what the device still had queued, plus the time since. Never beyond what was rendered,
// never before 0.
int64_t estimateAudibleFrame(const CallbackTiming &latest, int64_t framesRendered, double now,
                             int queuedFrames, int sampleRate);
