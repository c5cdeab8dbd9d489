#include "synccheck/syncanalysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

constexpr int blockFrames = 1024;
constexpr int decimation = 8;
constexpr float audibleRms = 0.01f;   // -40 dBFS
constexpr double foundCorrelation = 0.8;
// The start is looked for with this much of the render: long enough that a repeated bar does not
// match as well as the real start.
constexpr int probeFrames = 16384;

std::vector<float> decimate(const std::vector<float> &x)
{
    std::vector<float> y(x.size() / decimation);
    for (size_t i = 0; i < y.size(); ++i) {
        float sum = 0;
        for (int k = 0; k < decimation; ++k)
            sum += x[i * decimation + k];
        y[i] = sum / decimation;
    }
    return y;
}

// Normalised correlation of a[aStart..] and b[bStart..] over n samples; -1 where b runs out.
double correlate(const std::vector<float> &a, int64_t aStart, const std::vector<float> &b, int64_t bStart, int64_t n)
{
    if (aStart < 0 || bStart < 0 || aStart + n > int64_t(a.size()) || bStart + n > int64_t(b.size()))
        return -1;
    double ab = 0, aa = 0, bb = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double x = a[aStart + i], y = b[bStart + i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
}

float rms(const std::vector<float> &x, int64_t start, int64_t n)
{
    double sum = 0;
    for (int64_t i = start; i < start + n; ++i)
        sum += double(x[i]) * x[i];
    return float(std::sqrt(sum / double(n)));
}

struct Candidate {
    int64_t shift;
    double correlation;
};

// The best full-rate shift within radius of around.
Candidate refineShift(const std::vector<float> &reference, int64_t start, int64_t n,
                      const std::vector<float> &recording, int64_t around, int radius)
{
    Candidate best{around, -1};
    for (int64_t s = around - radius; s <= around + radius; ++s) {
        const double c = correlate(reference, start, recording, start + s, n);
        if (c > best.correlation)
            best = {s, c};
    }
    return best;
}

// The shifts from lowShift to highShift at which the block at start is found: peaks of the
// correlation of the decimated signals, each refined at the full rate.
std::vector<Candidate> findCandidates(const std::vector<float> &reference, const std::vector<float> &recording,
                                      const std::vector<float> &referenceLow, const std::vector<float> &recordingLow,
                                      int64_t start, int64_t n, int64_t lowShift, int64_t highShift)
{
    const int64_t s0 = start / decimation, len = n / decimation;
    const int64_t d0 = lowShift / decimation, d1 = highShift / decimation;
    std::vector<double> c;
    for (int64_t d = d0; d <= d1; ++d)
        c.push_back(correlate(referenceLow, s0, recordingLow, s0 + d, len));
    std::vector<Candidate> peaks;
    for (size_t i = 0; i < c.size(); ++i)
        if (c[i] >= 0.5 && (i == 0 || c[i] >= c[i - 1]) && (i + 1 == c.size() || c[i] > c[i + 1]))
            peaks.push_back(refineShift(reference, start, n, recording, (d0 + int64_t(i)) * decimation, decimation));
    return peaks;
}

// Of the candidates that correlate nearly as well as the best, the one nearest preferShift:
// music repeats itself, and the nearest match is the likely one.
Candidate chooseNearest(const std::vector<Candidate> &candidates, int64_t preferShift)
{
    double best = -1;
    for (const Candidate &c : candidates)
        best = std::max(best, c.correlation);
    Candidate chosen{preferShift, -1};
    for (const Candidate &c : candidates)
        if (c.correlation >= best - 0.02 &&
            (chosen.correlation < 0 || std::llabs(c.shift - preferShift) < std::llabs(chosen.shift - preferShift)))
            chosen = c;
    return chosen;
}

uint32_t readBig32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t readLittle32(const uint8_t *p)
{
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint16_t readLittle16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void writeLittle16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

} // namespace

std::vector<float> mixToMono(const std::vector<int16_t> &stereo)
{
    std::vector<float> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = (float(stereo[2 * i]) + float(stereo[2 * i + 1])) / 65536.0f;
    return mono;
}

Alignment alignRecording(const std::vector<float> &reference, const std::vector<float> &recording, int gapFrames,
                         int64_t maxJumpFrames)
{
    Alignment result{{}, {}, 0, {}};
    const int64_t blocks = int64_t(reference.size()) / blockFrames;
    int64_t first = 0;
    while (first < blocks && rms(reference, first * blockFrames, blockFrames) < audibleRms)
        ++first;
    const int64_t probeStart = first * blockFrames;
    const int64_t probeLength = std::min<int64_t>(probeFrames, int64_t(reference.size()) - probeStart);
    if (first >= blocks || probeLength < blockFrames || recording.size() < reference.size() / 4)
        return result;
    const std::vector<float> referenceLow = decimate(reference), recordingLow = decimate(recording);

    // The recording starts before the show does, so the start lies at a shift of zero or more.
    const Candidate start =
        chooseNearest(findCandidates(reference, recording, referenceLow, recordingLow, probeStart, probeLength,
                                     -probeStart, int64_t(recording.size()) - probeStart - probeLength),
                      -probeStart);
    if (start.correlation < foundCorrelation)
        return result;
    int64_t shift = start.shift;
    bool haveBlock = false;
    for (int64_t b = first; b < blocks; ++b) {
        const int64_t at = b * blockFrames;
        if (rms(reference, at, blockFrames) < audibleRms)
            continue;
        ++result.audibleBlocks;
        Candidate found = refineShift(reference, at, blockFrames, recording, shift, 24);
        // Around a dropout a block half silence can match a held note anywhere: a new shift needs a
        // strong match, and the next block to agree with it. Within a second first: the music
        // repeats its bars, and a match a bar or an order away is far likelier a repeat than a gap.
        const int64_t next = at + blockFrames;
        const bool nextAudible = next + blockFrames <= int64_t(reference.size()) && rms(reference, next, blockFrames) >= audibleRms;
        for (int64_t reach : {int64_t(syncSampleRate), maxJumpFrames}) {
            if (found.correlation >= foundCorrelation)
                break;
            found = chooseNearest(findCandidates(reference, recording, referenceLow, recordingLow, at, blockFrames,
                                                 shift - reach, shift + reach),
                                  shift);
            if (nextAudible && found.correlation >= foundCorrelation &&
                refineShift(reference, next, blockFrames, recording, found.shift, 24).correlation < foundCorrelation)
                found.correlation = -1;
        }
        if (found.correlation < foundCorrelation) {
            result.lostFrames.push_back(at);
            continue;
        }
        if (haveBlock && std::llabs(found.shift - shift) > gapFrames)
            result.gaps.push_back({at, found.shift - shift});
        shift = found.shift;
        haveBlock = true;
        result.blocks.push_back({at, shift});
    }
    // Jumps close together are one dropout seen through blocks that straddle it: what counts is
    // where the sound is found again.
    std::vector<SoundGap> merged;
    for (const SoundGap &g : result.gaps)
        if (!merged.empty() && g.referenceFrame - merged.back().referenceFrame < syncSampleRate / 2)
            merged.back().frames += g.frames;
        else
            merged.push_back(g);
    result.gaps.clear();
    for (const SoundGap &g : merged)
        if (std::llabs(g.frames) > gapFrames)
            result.gaps.push_back(g);
    return result;
}

int64_t findRecordingFrame(const Alignment &alignment, int64_t referenceFrame)
{
    if (alignment.blocks.empty())
        return -1;
    auto after = std::lower_bound(alignment.blocks.begin(), alignment.blocks.end(), referenceFrame,
                                  [](const AlignedBlock &b, int64_t f) { return b.referenceFrame < f; });
    const AlignedBlock *nearest = after == alignment.blocks.end() ? &alignment.blocks.back() : &*after;
    if (after != alignment.blocks.begin()) {
        const AlignedBlock &before = *(after - 1);
        if (after == alignment.blocks.end() || referenceFrame - before.referenceFrame <= after->referenceFrame - referenceFrame)
            nearest = &before;
    }
    return referenceFrame + nearest->shift;
}

namespace {

// The earliest arrival origin (arrival time less the recording's length) of the reads around each
// second of the recording: reads come late now and then, never early.
struct ArrivalEnvelope {
    std::vector<double> earliest; // by second of the sink's frames; NaN where no read fell
};

constexpr int envelopeReachSeconds = 2;

ArrivalEnvelope findArrivalEnvelope(const std::vector<SinkClockNote> &notes)
{
    ArrivalEnvelope envelope;
    for (const SinkClockNote &n : notes) {
        const int64_t second = std::max<int64_t>(0, n.frame / syncSampleRate);
        if (second > 24 * 3600)
            continue;
        if (int64_t(envelope.earliest.size()) <= second)
            envelope.earliest.resize(size_t(second + 1), std::nan(""));
        const double origin = n.seconds - double(n.recorded) / syncSampleRate;
        double &slot = envelope.earliest[size_t(second)];
        if (!(slot <= origin))
            slot = origin;
    }
    return envelope;
}

// The envelope within reach of a frame; from the nearest second that has one when none is.
double findEnvelopeAt(const ArrivalEnvelope &envelope, int64_t frame)
{
    const int64_t count = int64_t(envelope.earliest.size());
    const int64_t second = std::clamp<int64_t>(frame / syncSampleRate, 0, count - 1);
    double earliest = std::nan("");
    for (int64_t s = second - envelopeReachSeconds; s <= second + envelopeReachSeconds; ++s)
        if (s >= 0 && s < count && !(earliest <= envelope.earliest[size_t(s)]))
            earliest = envelope.earliest[size_t(s)];
    for (int64_t d = 0; std::isnan(earliest) && d < count; ++d)
        for (int64_t s : {second - d, second + d})
            if (s >= 0 && s < count && !std::isnan(envelope.earliest[size_t(s)]))
                earliest = envelope.earliest[size_t(s)];
    return earliest;
}

} // namespace

double findSinkSeconds(const std::vector<SinkClockNote> &notes, int64_t frame)
{
    if (notes.empty())
        return std::nan("");
    const ArrivalEnvelope envelope = findArrivalEnvelope(notes);
    if (envelope.earliest.empty())
        return std::nan("");
    // How far behind the earliest arrivals the server says the sink plays, over the whole run.
    std::vector<double> lags;
    for (const SinkClockNote &n : notes)
        lags.push_back(n.seconds - double(n.frame) / syncSampleRate - findEnvelopeAt(envelope, n.frame));
    std::nth_element(lags.begin(), lags.begin() + int64_t(lags.size() / 2), lags.end());
    return findEnvelopeAt(envelope, frame) + lags[lags.size() / 2] + double(frame) / syncSampleRate;
}

std::vector<double> findFlashOnsets(const std::vector<ScreenPoll> &polls)
{
    std::vector<double> onsets;
    bool dark = false;
    for (size_t i = 0; i < polls.size(); ++i) {
        if (polls[i].whiteShare <= 0.1f) {
            dark = true;
        } else if (dark && polls[i].whiteShare >= 0.9f) {
            onsets.push_back(i > 0 ? (polls[i - 1].seconds + polls[i].seconds) / 2 : polls[i].seconds);
            dark = false;
        }
    }
    return onsets;
}

std::vector<FlashMatch> matchFlashes(const std::vector<int> &orders, const std::vector<double> &soundSeconds,
                                     const std::vector<double> &onsets, double windowSeconds)
{
    std::vector<FlashMatch> matches;
    for (size_t i = 0; i < orders.size() && i < soundSeconds.size(); ++i) {
        FlashMatch m{orders[i], soundSeconds[i], std::nan("")};
        double nearest = windowSeconds;
        for (double onset : onsets)
            if (std::fabs(onset - soundSeconds[i]) <= nearest) {
                nearest = std::fabs(onset - soundSeconds[i]);
                m.offsetMs = (onset - soundSeconds[i]) * 1000.0;
            }
        matches.push_back(m);
    }
    return matches;
}

OffsetSummary summarizeOffsets(const std::vector<FlashMatch> &matches)
{
    OffsetSummary s{0, 0, std::nan(""), std::nan("")};
    std::vector<double> offsets;
    for (const FlashMatch &m : matches)
        if (std::isnan(m.offsetMs))
            ++s.missed;
        else
            offsets.push_back(m.offsetMs);
    s.matched = int(offsets.size());
    if (offsets.empty())
        return s;
    s.meanMs = std::accumulate(offsets.begin(), offsets.end(), 0.0) / double(offsets.size());
    double squares = 0;
    for (double o : offsets)
        squares += (o - s.meanMs) * (o - s.meanMs);
    s.sdMs = offsets.size() > 1 ? std::sqrt(squares / double(offsets.size() - 1)) : 0.0;
    return s;
}

std::vector<uint8_t> makeStageModule(const std::vector<uint8_t> &xm, int firstOrder, int lastOrder, std::string *error)
{
    static const char id[] = "Extended Module: ";
    if (xm.size() < 80 || memcmp(xm.data(), id, 17) != 0 || readLittle16(&xm[58]) != 0x0104) {
        *error = "not an XM module of version 1.04";
        return {};
    }
    const uint32_t headerSize = readLittle32(&xm[60]);
    const uint16_t songLength = readLittle16(&xm[64]);
    const uint16_t patterns = readLittle16(&xm[70]);
    if (headerSize < 20 + 256 || 60 + uint64_t(headerSize) > xm.size() || songLength > 256 || patterns >= 256) {
        *error = "XM header out of range";
        return {};
    }
    if (firstOrder < 0 || lastOrder < firstOrder || lastOrder >= songLength) {
        *error = "the stage's orders are not in the module";
        return {};
    }
    uint64_t at = 60 + uint64_t(headerSize);
    for (int p = 0; p < patterns; ++p) {
        if (at + 9 > xm.size()) {
            *error = "XM pattern header past the end of the file";
            return {};
        }
        at += readLittle32(&xm[at]) + uint64_t(readLittle16(&xm[at + 7]));
        if (at > xm.size()) {
            *error = "XM pattern data past the end of the file";
            return {};
        }
    }
    std::vector<uint8_t> out(xm.begin(), xm.begin() + int64_t(at));
    // Header length 9, no packing, one row, no data: an empty row.
    const uint8_t emptyRow[9] = {9, 0, 0, 0, 0, 1, 0, 0, 0};
    out.insert(out.end(), emptyRow, emptyRow + 9);
    out.insert(out.end(), xm.begin() + int64_t(at), xm.end());
    writeLittle16(&out[70], uint16_t(patterns + 1));
    for (int order = 0; order < songLength; ++order)
        if (order < firstOrder || order > lastOrder)
            out[80 + order] = uint8_t(patterns);
    return out;
}

bool readXwdLayout(const uint8_t *bytes, size_t size, XwdLayout *layout)
{
    if (size < 100 || readBig32(bytes + 4) != 7)
        return false;
    const uint32_t headerSize = readBig32(bytes), ncolors = readBig32(bytes + 76);
    layout->width = readBig32(bytes + 16);
    layout->height = readBig32(bytes + 20);
    layout->bitsPerPixel = readBig32(bytes + 44);
    layout->bytesPerLine = readBig32(bytes + 48);
    const uint64_t offset = uint64_t(headerSize) + uint64_t(ncolors) * 12;
    if (layout->bitsPerPixel != 32 || uint64_t(layout->width) * 4 > layout->bytesPerLine || ncolors > 65536 ||
        offset + uint64_t(layout->bytesPerLine) * layout->height > size)
        return false;
    layout->pixelOffset = uint32_t(offset);
    return true;
}

float measureWhiteShare(const uint8_t *bytes, const XwdLayout &layout)
{
    int white = 0;
    constexpr int columns = 16, rows = 12;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const uint64_t x = (uint64_t(i) * 2 + 1) * layout.width / (2 * columns);
            const uint64_t y = (uint64_t(j) * 2 + 1) * layout.height / (2 * rows);
            const uint8_t *p = bytes + layout.pixelOffset + y * layout.bytesPerLine + x * 4;
            white += p[0] >= 250 && p[1] >= 250 && p[2] >= 250;
        }
    return float(white) / float(columns * rows);
}
