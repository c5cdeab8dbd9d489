#include "composer/instruments.h"

#include <cmath>

namespace {

const double sampleRate = 44100.0;
const double pi = 3.14159265358979323846;

// sin(2 pi turns) from a polynomial, so no libm rounding differences reach the samples.
double sineTurns(double turns) {
    double x = turns - std::floor(turns);
    double sign = 1.0;
    if (x >= 0.5) {
        x -= 0.5;
        sign = -1.0;
    }
    if (x > 0.25)
        x = 0.5 - x;
    double t = 2.0 * pi * x;
    double t2 = t * t;
    double term = t, sum = t;
    for (int k = 1; k <= 8; k++) {
        term *= -t2 / ((2.0 * k) * (2.0 * k + 1.0));
        sum += term;
    }
    return sign * sum;
}

// e^x for the envelopes of the one-shot drums, again from a series.
double expSeries(double x) {
    // Halve until small, then square back up.
    int halvings = 0;
    while (x < -0.5 || x > 0.5) {
        x *= 0.5;
        halvings++;
    }
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 12; k++) {
        term *= x / k;
        sum += term;
    }
    for (int i = 0; i < halvings; i++)
        sum *= sum;
    return sum;
}

struct NoiseSource {
    uint32_t state;
};

double nextNoise(NoiseSource &noise) {
    noise.state ^= noise.state << 13;
    noise.state ^= noise.state >> 17;
    noise.state ^= noise.state << 5;
    return static_cast<double>(noise.state) / 2147483648.0 - 1.0;
}

// Scales a waveform so that its largest magnitude is peak (of full scale) and stores it.
std::vector<int16_t> quantise(const std::vector<double> &wave, double peak, bool sixteenBit) {
    double largest = 1e-9;
    for (double v : wave)
        largest = std::fabs(v) > largest ? std::fabs(v) : largest;
    double scale = (sixteenBit ? 32767.0 : 127.0) * peak / largest;
    std::vector<int16_t> data;
    data.reserve(wave.size());
    for (double v : wave)
        data.push_back(static_cast<int16_t>(std::lround(v * scale)));
    return data;
}

// Partials of a looped voice: 'cycles' turns of its fundamental over the loop, summed as
// band-limited harmonics, so the loop is seamless because every partial completes whole turns.
struct HarmonicVoice {
    int cycles;        // turns of the fundamental over the loop
    double level;
    int harmonicStep;  // 1: all harmonics (saw-like), 2: odd only (square-like)
    double brightness; // harmonic number where the roll-off sets in
};

int framesFor(double seconds) { return static_cast<int>(seconds * sampleRate); }

const double highestPartial = 18000.0; // Hz, at the highest note a sample is played at

double noteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 58) / 12.0); }

// A loop of 'periods' periods of baseNote at about 44.1 kHz. Partials stay below
// highestPartial even at topNote, the highest note this sample serves.
XmSample makeLoopedSample(const char *name, int baseNote, int topNote, int periods,
                          const std::vector<HarmonicVoice> &voices, double peak) {
    int framesPerPeriod = static_cast<int>(std::lround(sampleRate / noteFrequency(baseNote)));
    int frames = framesPerPeriod * periods;
    double topFundamental = noteFrequency(topNote);
    std::vector<double> wave(static_cast<size_t>(frames), 0.0);
    for (const HarmonicVoice &voice : voices) {
        double voiceTop = topFundamental * voice.cycles / periods;
        for (int h = 1; h * voiceTop < highestPartial && h * voice.cycles * 2 < frames; h += voice.harmonicStep) {
            double rolloff = 1.0 / (1.0 + (h / voice.brightness) * (h / voice.brightness));
            double amplitude = voice.level * rolloff / h;
            double step = static_cast<double>(h) * voice.cycles / frames;
            // Offset the phases per harmonic so the summed voices do not line up into a spike.
            double phase = 0.137 * h * voice.cycles;
            for (int n = 0; n < frames; n++)
                wave[static_cast<size_t>(n)] += amplitude * sineTurns(phase + step * n);
        }
    }
    XmSample sample;
    sample.name = name;
    sample.data = quantise(wave, peak, true);
    sample.loop = XM_LOOP_FORWARD;
    sample.loopStart = 0;
    sample.loopLength = static_cast<uint32_t>(frames);
    tuneXmSample(sample, noteFrequency(baseNote) * framesPerPeriod, baseNote);
    return sample;
}

// One sample per octave from firstBase up to topNote, the highest note played (the note map
// picks the sample), so the high notes carry no partials above the audible band and the low
// ones keep their brightness.
XmInstrument makeKeyboardInstrument(const char *name, int firstBase, int topNote, int periods,
                                    const std::vector<HarmonicVoice> &voices, double peak) {
    XmInstrument instrument;
    instrument.name = name;
    instrument.noteSamples.assign(96, 0);
    for (int base = firstBase, zone = 0; base <= topNote; base += 12, zone++) {
        int top = base + 11 < topNote ? base + 11 : topNote;
        instrument.samples.push_back(makeLoopedSample(name, base, top, periods, voices, peak));
        for (int note = base; note <= 96; note++)
            instrument.noteSamples[static_cast<size_t>(note - 1)] = static_cast<uint8_t>(zone);
    }
    return instrument;
}

XmSample makeOneShot(const char *name, const std::vector<double> &wave, double peak, bool sixteenBit) {
    XmSample sample;
    sample.name = name;
    sample.sixteenBit = sixteenBit;
    sample.data = quantise(wave, peak, sixteenBit);
    tuneXmSample(sample, sampleRate, XM_NOTE_C4);
    return sample;
}

XmSample makeKick() {
    std::vector<double> wave(static_cast<size_t>(framesFor(0.42)));
    NoiseSource noise = {0x1234567u};
    double phase = 0.0;
    for (size_t n = 0; n < wave.size(); n++) {
        double t = n / sampleRate;
        double frequency = 46.0 + 120.0 * expSeries(-t / 0.035);
        phase += frequency / sampleRate;
        double body = sineTurns(phase) * expSeries(-t / 0.22);
        double click = t < 0.004 ? nextNoise(noise) * (1.0 - t / 0.004) * 0.3 : 0.0;
        wave[n] = body + click;
    }
    return makeOneShot("kick", wave, 0.95, true);
}

XmSample makeSnare() {
    std::vector<double> wave(static_cast<size_t>(framesFor(0.28)));
    NoiseSource noise = {0x2468ACEu};
    double previous = 0.0;
    for (size_t n = 0; n < wave.size(); n++) {
        double t = n / sampleRate;
        double white = nextNoise(noise);
        double bright = white - 0.6 * previous; // tilt the noise upwards
        previous = white;
        double tone = sineTurns(185.0 * t) * expSeries(-t / 0.045) + 0.5 * sineTurns(330.0 * t) * expSeries(-t / 0.03);
        wave[n] = 0.6 * tone + bright * expSeries(-t / 0.075);
    }
    return makeOneShot("snare", wave, 0.95, true);
}

XmSample makeHat(const char *name, double seconds, double decay, uint32_t seed) {
    std::vector<double> wave(static_cast<size_t>(framesFor(seconds)));
    NoiseSource noise = {seed};
    double previous = 0.0;
    for (size_t n = 0; n < wave.size(); n++) {
        double t = n / sampleRate;
        double white = nextNoise(noise);
        // Metallic colour from square partials at inharmonic ratios, then high-passed noise.
        double metal = 0.0;
        const double partials[4] = {3527.0, 4961.0, 6217.0, 8341.0};
        for (double partial : partials)
            metal += sineTurns(partial * t) > 0.0 ? 0.12 : -0.12;
        double high = white - previous;
        previous = white;
        wave[n] = (0.7 * high + metal * 0.5) * expSeries(-t / decay);
    }
    return makeOneShot(name, wave, 0.9, false);
}

std::vector<double> renderCymbalNoise(int frames, uint32_t seed) {
    std::vector<double> wave(static_cast<size_t>(frames));
    NoiseSource noise = {seed};
    double previous = 0.0;
    for (size_t n = 0; n < wave.size(); n++) {
        double t = n / sampleRate;
        double white = nextNoise(noise);
        double metal = 0.0;
        const double partials[6] = {2113.0, 3061.0, 3911.0, 5279.0, 6637.0, 7481.0};
        for (double partial : partials)
            metal += sineTurns(partial * t + 0.31 * sineTurns(partial * 0.37 * t));
        wave[n] = 0.8 * (white - 0.85 * previous) + 0.08 * metal;
        previous = white;
    }
    return wave;
}

XmSample makeCrash() {
    std::vector<double> wave = renderCymbalNoise(framesFor(2.6), 0x13579BDu);
    for (size_t n = 0; n < wave.size(); n++) {
        double t = n / sampleRate;
        double attack = t < 0.003 ? t / 0.003 : 1.0;
        wave[n] *= attack * (0.75 * expSeries(-t / 0.55) + 0.25 * expSeries(-t / 0.09));
    }
    return makeOneShot("crash", wave, 0.92, true);
}

// The crash reversed: rises over one bar (32 rows at speed 3, 1.92 s) into the next downbeat.
XmSample makeSwell() {
    int frames = framesFor(1.92);
    std::vector<double> wave = renderCymbalNoise(frames, 0x0BADF00u);
    for (size_t n = 0; n < wave.size(); n++) {
        double left = (frames - static_cast<double>(n)) / sampleRate;
        double release = n + 200 > static_cast<size_t>(frames) ? (frames - static_cast<double>(n)) / 200.0 : 1.0;
        wave[n] *= expSeries(-left / 0.45) * release;
    }
    return makeOneShot("swell", wave, 0.85, true);
}

XmSample makeBell() {
    std::vector<double> wave(static_cast<size_t>(framesFor(2.2)));
    // Inharmonic partials with their own decays: a glassy bell pitched on C-5.
    const double base = 523.2511306011972; // C-5
    const double ratios[5] = {1.0, 2.0, 2.76, 4.07, 5.43};
    const double levels[5] = {1.0, 0.5, 0.35, 0.18, 0.1};
    const double decays[5] = {0.9, 0.6, 0.35, 0.2, 0.12};
    for (size_t n = 0; n < wave.size(); n++) {
        double t = n / sampleRate;
        double v = 0.0;
        for (int p = 0; p < 5; p++)
            v += levels[p] * sineTurns(base * ratios[p] * t) * expSeries(-t / decays[p]);
        double attack = t < 0.002 ? t / 0.002 : 1.0;
        wave[n] = v * attack;
    }
    XmSample sample = makeOneShot("bell", wave, 0.9, true);
    tuneXmSample(sample, sampleRate, 61);
    return sample;
}

XmInstrument makeInstrument(const char *name, const XmSample &sample) {
    XmInstrument instrument;
    instrument.name = name;
    instrument.samples.push_back(sample);
    return instrument;
}

} // namespace

std::vector<XmInstrument> makeShowInstruments() {
    std::vector<XmInstrument> instruments;

    instruments.push_back(makeInstrument("kick", makeKick()));
    instruments.push_back(makeInstrument("snare", makeSnare()));
    // The hats stand a little apart: closed to the right, open to the left.
    XmSample closedHat = makeHat("closed hat", 0.07, 0.016, 0x51u);
    closedHat.panning = 156;
    instruments.push_back(makeInstrument("closed hat", closedHat));
    XmSample openHat = makeHat("open hat", 0.4, 0.11, 0x77u);
    openHat.panning = 100;
    instruments.push_back(makeInstrument("open hat", openHat));
    instruments.push_back(makeInstrument("crash", makeCrash()));

    // Bass: a warm saw with a little square under it, plucked, then held until released.
    // Played from E-1 to about D-3.
    {
        XmInstrument bass = makeKeyboardInstrument("bass", 25, 40, 1, {{1, 1.0, 1, 7.0}, {1, 0.35, 2, 3.0}}, 0.95);
        bass.volumeEnvelope.points = {{0, 64}, {6, 50}, {30, 40}, {60, 36}};
        bass.volumeEnvelope.sustainPoint = 3;
        bass.fadeout = 2400;
        instruments.push_back(bass);
    }
    // Pad: three saws a few cents apart and a soft octave, the loop holding whole turns of each
    // (128 periods of C-3, about half a second). Played between F#3 and F-4.
    {
        XmInstrument pad = makeKeyboardInstrument(
            "pad", 37, 54, 128, {{128, 1.0, 1, 5.0}, {127, 0.8, 1, 5.0}, {129, 0.8, 1, 5.0}, {256, 0.25, 1, 3.0}}, 0.9);
        pad.volumeEnvelope.points = {{0, 0}, {30, 54}, {60, 64}, {120, 56}};
        pad.volumeEnvelope.sustainPoint = 3;
        pad.fadeout = 380;
        pad.vibratoSweep = 80;
        pad.vibratoDepth = 2;
        pad.vibratoRate = 6;
        instruments.push_back(pad);
    }
    // Lead: a hollow square with a delayed vibrato, from C-4 to C-7.
    {
        XmInstrument lead = makeKeyboardInstrument("lead", 49, 85, 4, {{4, 1.0, 2, 6.0}, {8, 0.3, 1, 4.0}}, 0.9);
        lead.volumeEnvelope.points = {{0, 0}, {2, 64}, {16, 52}, {40, 46}};
        lead.volumeEnvelope.sustainPoint = 3;
        lead.fadeout = 900;
        lead.vibratoSweep = 60;
        lead.vibratoDepth = 5;
        lead.vibratoRate = 10;
        instruments.push_back(lead);
    }
    // Arpeggio: a bright pluck, from C-4 to G-6; the composer sweeps it between the speakers.
    {
        XmInstrument arp = makeKeyboardInstrument("arp", 49, 79, 2, {{2, 1.0, 1, 12.0}, {4, 0.4, 2, 6.0}}, 0.9);
        arp.volumeEnvelope.points = {{0, 64}, {4, 40}, {12, 20}, {30, 6}, {60, 0}};
        // Each pluck leans a little outwards from where the pattern placed it, then settles.
        arp.panningEnvelope.points = {{0, 32}, {10, 26}, {30, 36}, {50, 32}};
        arp.fadeout = 1500;
        instruments.push_back(arp);
    }
    // Stab: root, fifth and octave in the just ratios 2:3:4, a brassy hit on the downbeats.
    {
        XmInstrument stab =
            makeKeyboardInstrument("stab", 37, 48, 2, {{2, 1.0, 1, 9.0}, {3, 0.8, 1, 8.0}, {4, 0.6, 1, 7.0}}, 0.9);
        stab.volumeEnvelope.points = {{0, 64}, {6, 48}, {24, 24}, {60, 8}, {100, 0}};
        stab.fadeout = 1200;
        instruments.push_back(stab);
    }
    instruments.push_back(makeInstrument("bell", makeBell()));
    instruments.push_back(makeInstrument("swell", makeSwell()));
    return instruments;
}
