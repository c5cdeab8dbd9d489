// The show's synthesised instruments. Every waveform is computed with additions and
// multiplications only (own sine, own noise), so the samples come out bit-identical on
// every run and every machine.
#pragma once
#include "xmwriter/xmwriter.h"

// Instrument numbers as the pattern cells name them (1-based, in module order).
enum InstrumentNumber : uint8_t {
    INSTRUMENT_KICK = 1,
    INSTRUMENT_SNARE,
    INSTRUMENT_CLOSED_HAT,
    INSTRUMENT_OPEN_HAT,
    INSTRUMENT_CRASH,
    INSTRUMENT_BASS,
    INSTRUMENT_PAD,
    INSTRUMENT_LEAD,
    INSTRUMENT_ARP,
    INSTRUMENT_STAB,
    INSTRUMENT_BELL,
    INSTRUMENT_SWELL,
    INSTRUMENT_COUNT = INSTRUMENT_SWELL
};

// All instruments, index 0 holding INSTRUMENT_KICK.
std::vector<XmInstrument> makeShowInstruments();
