// One pass of a module as the show plays it, for the tools: libopenmpt plays it from order 0,
// repeating without end as in the show, until the order goes from 50 back to 0 (endsShow, the
// show's own end rule) or for the module's own length and a margin, whichever comes first.
#pragma once
#include <libopenmpt/libopenmpt.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int passSampleRate = 44100;
// Past the module's own length, how much longer a pass is looked for: the change back to order 0
// comes at the end of the song at the latest, so this only covers libopenmpt's rounding.
constexpr double passMarginSeconds = 10.0;
// No module is played longer than this, whatever length libopenmpt gives it.
constexpr double longestSearchSeconds = 3600.0;

// A module opened as the show plays it: from order 0, repeating without end (the module's own
// return to order 0 is what ends the show), no dither. Null when libopenmpt rejects it, with its
// reason; log (may be null) receives what libopenmpt said while loading, a line each.
openmpt_module *openShowModule(const void *bytes, size_t size, std::string *reason, std::string *log);

struct OrderVisit {
    int32_t order;
    int64_t firstFrame; // the sample frame it was first heard on (to 64 frames)
};

struct ShowPass {
    bool ends = false;          // the order went from 50 to 0
    int64_t endFrame = 0;       // when it ends: the frame order 0 begins on again, to the frame
    int64_t songFrames = 0;     // the module's own length, as libopenmpt gives it
    int64_t searchedFrames = 0; // how far the pass was played
    std::vector<OrderVisit> visits; // each order entered before the end, order 0 at frame 0 first
};

// Plays a module fresh from openShowModule to the end of its pass (the caller destroys it).
ShowPass walkShowPass(openmpt_module *module);

// The frames the tools measure: the pass when the show ends on it, otherwise the module's own length.
int64_t measuredFrames(const ShowPass &pass);

// The one line every tool gives for a module the show does not end on.
std::string describeEndlessPass(const ShowPass &pass);

// Plays a module fresh from openShowModule for frames sample frames, in blocks of blockFrames
// interleaved float stereo, each handed over with the order and row read before it was played.
using PassBlockSink = std::function<void(int32_t order, int32_t row, const float *stereo, size_t frames)>;
void playModuleFrames(openmpt_module *module, int64_t frames, size_t blockFrames, const PassBlockSink &onBlock);

// Sorted numbers as runs: "2-49, 53".
std::string describeNumberRuns(std::vector<int32_t> numbers);
