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

namespace {

// Tenths of the callback's buffer queued behind an on-time callback, by sound server, library and
// backend, as synccheck measured them (the flash against its sound on the sink).
struct QueueAllowance {
    const char *driver;
    bool onSdl2;
    int pipeWireTenths;
    int pulseAudioTenths;
    int noServerTenths;
};

// Classic SDL 1.2 on PulseAudio mixes in halves of the buffer asked for and asks for four of them;
// on ALSA it writes from its own thread into two periods of the buffer's size, and SDL2 keeps about
// one period more. SDL2 asks PulseAudio for one buffer in all; on PipeWire it fills the cycle
// after the one playing, which PipeWire's graph holds a cycle more. PipeWire's pulse layer and its
// ALSA plugin take a stream in a little later than PulseAudio itself.
const QueueAllowance queueAllowances[] = {
    {"pulse", false, 33, 20, 0},
    {"alsa", false, 23, 21, 20},
    {"pulseaudio", true, 11, 10, 0},
    {"pipewire", true, 23, 0, 0},
    {"alsa", true, 37, 30, 30},
};

} // namespace

int estimateQueuedFrames(const char *driver, bool onSdl2, SoundServerKind server, int callbackFrames)
{
    const std::string name = driver ? driver : "";
    for (const QueueAllowance &a : queueAllowances) {
        if (name != a.driver || onSdl2 != a.onSdl2)
            continue;
        // A pipewire driver means PipeWire whatever the pulse library found; a pulse one that no
        // server answered is taken for PulseAudio.
        int tenths = a.pulseAudioTenths;
        if (server == pipeWireServer || name == "pipewire")
            tenths = a.pipeWireTenths;
        else if (server == noSoundServer && a.noServerTenths > 0)
            tenths = a.noServerTenths;
        return callbackFrames * tenths / 10;
    }
    // SDL's dummy driver, and any other: one buffer waits while the next is filled.
    return callbackFrames;
}

bool mustPaceCallback(const char *driver, bool onSdl2)
{
    return !onSdl2 && driver && std::string(driver) == "alsa";
}

double findCallbackWait(double origin, int64_t framesAfter, double now, int queuedFrames, int callbackFrames,
                        int sampleRate)
{
    // The first callback's sound is wanted at once: the device holds nothing yet.
    if (framesAfter <= callbackFrames)
        return 0;
    // A fifth of a buffer early: a wake-up that comes late still finds well over a buffer queued.
    const double nextOnTime = origin + (double(framesAfter) - queuedFrames - callbackFrames / 5.0) / sampleRate;
    return std::clamp(nextOnTime - now, 0.0, 0.8 * callbackFrames / sampleRate);
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

void clearOriginWindow(OriginWindow &window)
{
    window.count = 0;
}

double findWindowOrigin(OriginWindow &window, double previousOrigin, int64_t framesBefore, double callbackSeconds,
                        int queuedFrames, int sampleRate)
{
    const bool ranDry =
        !std::isnan(previousOrigin) && (callbackSeconds - previousOrigin) * sampleRate >= double(framesBefore);
    if (ranDry)
        window.count = 0;
    // Taken alone, as if nothing earlier had been noted: on time, or dry.
    const double own = findAudibleOrigin(ranDry ? previousOrigin : std::nan(""), framesBefore, callbackSeconds,
                                         queuedFrames, sampleRate);
    window.origins[window.count % OriginWindow::kept] = own;
    ++window.count;
    const int noted = std::min(window.count, OriginWindow::kept);
    return *std::min_element(window.origins, window.origins + noted);
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
