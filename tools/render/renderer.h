// The offline renderer: the show's own start-up, frame step and schedule, driven by a virtual
// clock and a module rendered in step, so frames can be looked at as pictures.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "modulepass/modulepass.h"

constexpr int frameWidth = 800;
constexpr int frameHeight = 600;
// The offline module's output: 16-bit stereo at this rate.
constexpr int renderSampleRate = 44100;

// The clocks and row one part is drawn at.
struct PartClocks {
    float demoTime = 20;
    float partTime = 4;
    float frameDelta = 0.02f;
    float wordTime1 = 2;
    float wordTime2 = 2;
    float wordTime3 = 2;
    int32_t musicRow = 8;
};

// RGBA pixels, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Start-up steps of the show in their order (the rand draws depend on it), without the audio
// device; stamps the frame clocks at the virtual clock's start.
void startRenderer();
// Draws one part at the given clocks and reads the frame back.
Picture renderPart(int32_t part, const PartClocks &clocks);
Picture readFrame();

// One played frame, handed to the caller after its step.
struct PlayedFrame {
    int64_t index; // PlayOptions::firstIndex for the first frame of the loop
    int32_t part;
    int32_t row;
    bool partChanged;
    bool drawn; // false: the step ran without drawPart (see PlayOptions::drawEveryFrame)
};

// Interleaved stereo samples the module rendered in step, with the index of their first sample frame.
using AudioSink = std::function<void(const int16_t *stereo, int64_t firstFrame, size_t frames)>;

struct PlayOptions {
    int fps = 25;
    int64_t maxFrames = 0; // 0: until the show ends
    // Index of the first frame; 0 steps it at the stamp itself, with a frame delta of 0.
    int64_t firstIndex = 1;
    // False: frames that are neither wanted nor in a part whose drawing moves the forests (0-7,
    // 16-21, 30-41) run the frame step without drawPart. Clocks, part changes and the forests'
    // motion stay as played; only the camera shake's rand draws of the skipped frames are missed.
    bool drawEveryFrame = true;
    AudioSink onAudio; // optional
};

// Whether drawing a part moves a forest, so that later frames depend on it being drawn.
bool partMovesForests(int32_t part);

// The sample frame at the instant of frame index: index / fps seconds after the stamp.
int64_t sampleAtFrame(int64_t index, int fps);
// One pass of the content tree's module as the show plays it (modulepass: to the change from
// order 50 to 0, or, when the show would not end on it, as far as was looked). False, with the
// reason, when the module will not load.
bool findShowPass(ShowPass *pass, std::string *reason);

// The order and row a frame will read, told before anything is drawn.
using FramePlanSink = std::function<void(int64_t index, int32_t order, int32_t row)>;
// The frames to play, found before any is drawn by rendering the module to each frame's instant
// as playShow will: to the show's end (through the first frame at or past the pass's change back
// to order 0, which must be the frame the show ends on) or maxFrames (0: no limit), whichever
// comes first. Each frame's position goes to onFrame (may be empty), their count to *frames.
// False, with one line, when the show would not end on the module and maxFrames does not bound
// the play, or when the frames miss the change.
bool planPassFrames(const PlayOptions &options, const ShowPass &pass, int64_t maxFrames, const FramePlanSink &onFrame,
                    int64_t *frames, std::string *reason);

// The module's samples from order 0 up to sample frame endFrame, rendered in the chunks that
// playShow with these options renders them in: libopenmpt's output differs slightly with the
// chunking, and this way it is sample for sample what the frames are played against.
bool renderModuleAsPlayed(const PlayOptions &options, int64_t endFrame, std::vector<int16_t> *stereo);

// Plays the show: frame k reads the virtual clock at k / fps seconds after the stamp, and the
// module has been rendered through the sample frame at that instant (sampleAtFrame) when its
// order and row are read, so the frame shows the row being heard then. wanted(index, order, row)
// is asked before each frame is stepped, onFrame after it; onFrame returns false to stop. Stops
// when the show ends (order 50 back to 0; that frame is still stepped and handed over) or after
// maxFrames. Returns the frames played; -1 if the module will not load.
int64_t playShow(const PlayOptions &options,
                 const std::function<bool(int64_t index, int32_t order, int32_t row)> &wanted,
                 const std::function<bool(const PlayedFrame &)> &onFrame);

// Box-filters a picture down by an integer factor.
Picture shrinkPicture(const Picture &picture, int factor);
// Draws digits and the captions' capital letters with a built-in 3x5 font, scale pixels a font
// pixel, on a black box.
void drawLabel(Picture *picture, int x, int y, const std::string &text, int scale);
// One thumbnail per part (shrunk by 4), 8 a row, labelled with the part's number and its caption
// (none when empty); parts without a frame stay dark.
Picture composeContactSheet(const std::vector<Picture> &framesByPart, const std::vector<std::string> &captions = {});

bool writePicture(const std::string &path, const Picture &picture);
