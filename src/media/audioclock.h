// Which order and row is being heard now. The mixer notes its position every few rendered frames;
// the frame loop maps the current time back onto the sample frame leaving the speaker.
#pragma once
#include <atomic>
#include <cstdint>

#include "media/soundserver.h"

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

// How many sample frames of earlier sound an on-time callback finds still queued before the sound
// reaches the server's sink, for SDL's audio driver (as SDL_AudioDriverName gives it), whether SDL
// 1.2 runs on SDL2 (sdl12-compat), the sound server behind it and the frames the callback fills.
// Measured through PipeWire and PulseAudio with synccheck: what each backend keeps depends on how
// it drives its stream and how the server takes it.
int estimateQueuedFrames(const char *driver, bool onSdl2, SoundServerKind server, int callbackFrames);

// What the audio thread publishes at each device callback, as one word so that a read never mixes
// two callbacks: the steady-clock time at which sample frame 0 would have been heard had the output
// run without a break. An on-time callback finds one buffer of what came before still queued
// (queuedFrames); a late one finds less, by what the previous origin says was played meanwhile, and
// none when the device ran dry. previousOrigin is NaN at the first callback.
double findAudibleOrigin(double previousOrigin, int64_t framesBefore, double callbackSeconds,
                         int queuedFrames, int sampleRate);

// Classic SDL 1.2's ALSA backend writes each buffer with a blocking write that, through the
// PulseAudio and PipeWire ALSA plugins, polls a descriptor that stays ready: its thread spins for
// the whole wait, a core that the CPU renderer then lacks. True for that backend alone.
bool mustPaceCallback(const char *driver, bool onSdl2);
// Seconds the callback should wait before returning so that the write after it finds room at once:
// until a little before the next callback would be on time, by the origin published and the
// frames handed over including this callback's; 0 at the first callback, never more than most of
// a buffer, so that a wrong origin cannot starve the device.
double findCallbackWait(double origin, int64_t framesAfter, double now, int queuedFrames, int callbackFrames,
                        int sampleRate);

// The origins the last callbacks implied. A callback can come late (its thread kept waiting) but
// never before the device has room, so the earliest origin of the last few is the truest: one late
// callback moves nothing, and the window still follows a device clock that drifts. When the device
// ran dry the sound resumed later, and the window starts afresh.
struct OriginWindow {
    static constexpr int kept = 40;
    double origins[kept];
    int count;
};
void clearOriginWindow(OriginWindow &window);
// Notes one callback as findAudibleOrigin takes it and returns the origin to publish.
double findWindowOrigin(OriginWindow &window, double previousOrigin, int64_t framesBefore, double callbackSeconds,
                        int queuedFrames, int sampleRate);

// The sample frame being heard at 'now' from the newest origin, never beyond what was rendered and
// never before lastHeard, the frame the previous read gave: a callback that comes late, early or
// bunched with others moves the origin back, and the read then holds still until the clock catches
// up rather than stepping back.
int64_t estimateAudibleFrame(double origin, int64_t framesRendered, double now, int sampleRate,
                             int64_t lastHeard);

// When the picture of a frame is seen: the loop notes, for each frame, when it read the position
// and when its buffers were swapped; the lead is how long after its read the next frame is
// expected to reach the screen plus half a frame, because a frame stays on screen until the next
// one replaces it, and the sound it shows should be the sound heard midway through that time.
struct FrameLead {
    static constexpr int kept = 8;
    double readSeconds[kept];
    double shownSeconds[kept];
    int count;
};
void clearFrameLead(FrameLead &lead);
void noteFrameShown(FrameLead &lead, double readSeconds, double shownSeconds);
// Seconds to read ahead of the read's own time; 0 until two frames have been shown.
double findFrameLead(const FrameLead &lead);
