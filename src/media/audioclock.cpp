#include "media/audioclock.h"

#include <algorithm>
#include <cmath>

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
