// What synccheck makes of a run: the recorded sink monitor aligned against libopenmpt's own render
// of the module (gaps are where the alignment jumps), the sink time of each sample frame from the
// recorder's timing notes, and the white flashes polled from the framebuffer against the sound of
// the rows they belong to. Pure functions, so that recordings with known faults can test them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int syncSampleRate = 44100;

// Stereo 16-bit frames to one mono channel in -1..1.
std::vector<float> mixToMono(const std::vector<int16_t> &stereo);

// Where block of the render that starts at referenceFrame was found in the recording:
// recording frame = referenceFrame + shift.
struct AlignedBlock {
    int64_t referenceFrame;
    int64_t shift;
};

struct SoundGap {
    int64_t referenceFrame; // the first aligned block after it
    int64_t frames;         // silence put in (positive) or sound left out (negative)
};

struct Alignment {
    std::vector<AlignedBlock> blocks;
    std::vector<SoundGap> gaps;
    int audibleBlocks; // blocks of the render loud enough to be looked for
    std::vector<int64_t> lostFrames; // where those of them found nowhere near start in the render
};

// Follows the render through the recording block by block. The start is looked for anywhere in the
// recording; after that each block is expected where the previous one put it, and a jump of more
// than gapFrames (either way, up to maxJumpFrames) is a gap.
Alignment alignRecording(const std::vector<float> &reference, const std::vector<float> &recording,
                         int gapFrames = syncSampleRate / 500, int64_t maxJumpFrames = 8 * syncSampleRate);
// The recording frame where referenceFrame was heard, from the nearest aligned block; -1 when
// nothing was aligned.
int64_t findRecordingFrame(const Alignment &alignment, int64_t referenceFrame);

// The recorder's notes, one a read of the monitor: the monotonic time it arrived, the frames
// recorded with it, and the recording frame that the sink was playing then by the server's account
// (a monitor records what the sink has yet to play).
struct SinkClockNote {
    int64_t frame;
    int64_t recorded;
    double seconds;
};
// The time the sink played a recording frame. Reads arrive late now and then but never early, so
// the earliest arrivals around it time the recording; how far behind them the sink plays is the
// server's account, which wanders from read to read (by tens of milliseconds on PipeWire), so its
// median over the run is taken. NaN without notes.
double findSinkSeconds(const std::vector<SinkClockNote> &notes, int64_t frame);

// The framebuffer polls: monotonic time and the share of probed pixels that were white.
struct ScreenPoll {
    double seconds;
    float whiteShare;
};
// The times white frames appeared: a poll at least 90 % white after one at most 10 % white since
// the last flash, taken halfway between that poll and the one before it.
std::vector<double> findFlashOnsets(const std::vector<ScreenPoll> &polls);

struct FlashMatch {
    int order;
    double soundSeconds;
    double offsetMs; // picture minus sound; NaN when no flash came within the window
};
// The nearest flash onset within windowSeconds of each sound time.
std::vector<FlashMatch> matchFlashes(const std::vector<int> &orders, const std::vector<double> &soundSeconds,
                                     const std::vector<double> &onsets, double windowSeconds = 0.25);

struct OffsetSummary {
    int matched;
    int missed;
    double meanMs;
    double sdMs;
};
OffsetSummary summarizeOffsets(const std::vector<FlashMatch> &matches);

// A copy of an XM module in which every order outside firstOrder..lastOrder plays one new empty
// row instead, so the show passes through the other parts in a moment. Empty with a message in
// *error when the bytes are not an XM module this can change.
std::vector<uint8_t> makeStageModule(const std::vector<uint8_t> &xm, int firstOrder, int lastOrder,
                                     std::string *error);

// An XWD file's header as Xvfb -fbdir writes it: where the pixels start and how they are laid out.
struct XwdLayout {
    uint32_t pixelOffset;
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerLine;
    uint32_t bitsPerPixel;
};
// False when the header is short, not version 7 or not 32 bits a pixel, or the pixels pass size.
bool readXwdLayout(const uint8_t *bytes, size_t size, XwdLayout *layout);
// The share of a 16 x 12 grid of pixels whose three colour bytes are all at least 250.
float measureWhiteShare(const uint8_t *bytes, const XwdLayout &layout);
