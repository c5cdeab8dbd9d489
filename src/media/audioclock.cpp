#include "media/audioclock.h"

#include <algorithm>
#include <cmath>
#include <string>

uint64_t packPositionStamp(uint64_t frame, int32_t order, int32_t row)
{
    return (frame << 24) | (uint64_t(order & 0xFFF) << 12) | uint64_t(row & 0xFFF);
}

uint64_t stampFrame(uint64_t stamp)
{
    return stamp >> 24;
}

int32_t stampOrder(uint64_t stamp)
{
    return int32_t((stamp >> 12) & 0xFFF);
}

int32_t stampRow(uint64_t stamp)
{
    return int32_t(stamp & 0xFFF);
}

void clearPositionStamps(PositionStamps &notes)
{
    notes.count.store(0, std::memory_order_release);
}

void notePosition(PositionStamps &notes, uint64_t frame, int32_t order, int32_t row)
{
    uint64_t n = notes.count.load(std::memory_order_relaxed);
    notes.stamps[n % positionStampCapacity].store(packPositionStamp(frame, order, row),
                                                  std::memory_order_relaxed);
    notes.count.store(n + 1, std::memory_order_release);
}

bool findPositionAt(const PositionStamps &notes, uint64_t frame, uint64_t *stamp)
{
    uint64_t count = notes.count.load(std::memory_order_acquire);
    // Leave the oldest quarter alone: the writer may be overwriting it while we look.
    uint64_t window = count < positionStampCapacity * 3 / 4 ? count : positionStampCapacity * 3 / 4;
    for (uint64_t k = 0; k < window; ++k) {
        uint64_t s = notes.stamps[(count - 1 - k) % positionStampCapacity].load(std::memory_order_relaxed);
        if (stampFrame(s) <= frame) {
            *stamp = s;
            return true;
        }
    }
    return false;
}

int estimateQueuedFrames(const char *driver, bool onSdl2, int callbackFrames)
{
    const std::string name = driver ? driver : "";
    // ALSA: the callback comes when a write returns, with the device's two periods of the
    // buffer's size queued; SDL2's path keeps about one period more.
    if (name == "alsa")
        return (onSdl2 ? 3 : 2) * callbackFrames;
    // Classic SDL 1.2 on PulseAudio mixes in halves of the buffer asked for, asks the server for
    // four of them and calls back when one is free.
    if (name == "pulse" && !onSdl2)
        return 3 * callbackFrames;
    // SDL2 on PulseAudio asks for one buffer in all and calls back when it is written; on PipeWire
    // it calls back for the cycle after the one playing; on SDL's dummy driver one buffer waits.
    return callbackFrames;
}

double findAudibleOrigin(double previousOrigin, int64_t framesBefore, double callbackSeconds,
                         int queuedFrames, int sampleRate)
{
    double queued = queuedFrames;
    if (!std::isnan(previousOrigin)) {
        const double heardNow = (callbackSeconds - previousOrigin) * sampleRate;
        queued = std::clamp(double(framesBefore) - heardNow, 0.0, double(queuedFrames));
    }
    return callbackSeconds - (double(framesBefore) - queued) / sampleRate;
}

int64_t estimateAudibleFrame(double origin, int64_t framesRendered, double now, int sampleRate,
                             int64_t lastHeard)
{
    int64_t frame = std::llround((now - origin) * sampleRate);
    if (frame > framesRendered)
        frame = framesRendered;
    if (frame < lastHeard)
        frame = lastHeard;
    if (frame < 0)
        frame = 0;
    return frame;
}

void clearFrameLead(FrameLead &lead)
{
    lead.count = 0;
}

void noteFrameShown(FrameLead &lead, double readSeconds, double shownSeconds)
{
    lead.readSeconds[lead.count % FrameLead::kept] = readSeconds;
    lead.shownSeconds[lead.count % FrameLead::kept] = shownSeconds;
    ++lead.count;
}

double findFrameLead(const FrameLead &lead)
{
    const int frames = std::min(lead.count, FrameLead::kept);
    if (frames < 2)
        return 0;
    // Means over the frames kept: one slow frame should not throw the next one's read far off.
    double toScreen = 0, onScreen = 0;
    for (int k = 0; k < frames; ++k) {
        const int i = (lead.count - 1 - k) % FrameLead::kept;
        toScreen += lead.shownSeconds[i] - lead.readSeconds[i];
        if (k + 1 < frames)
            onScreen += lead.shownSeconds[i] - lead.shownSeconds[(i + FrameLead::kept - 1) % FrameLead::kept];
    }
    return std::max(0.0, toScreen / frames + onScreen / (frames - 1) / 2);
}
