// The offline renderer: the show's own start-up, frame step and schedule, driven by a virtual
// clock and a module rendered in step, so frames can be looked at as pictures.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int frameWidth = 800;
constexpr int frameHeight = 600;

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
    int64_t index; // 1 for the first frame of the loop
    int32_t part;
    int32_t row;
    bool partChanged;
    bool drawn; // false: the step ran without drawPart (see PlayOptions::drawEveryFrame)
};

struct PlayOptions {
    int fps = 25;
    int64_t maxFrames = 0; // 0: until the show ends
    // False: frames that are neither wanted nor in a part whose drawing moves the forests (0-7,
    // 16-21, 30-41) run the frame step without drawPart. Clocks, part changes and the forests'
    // motion stay as played; only the camera shake's rand draws of the skipped frames are missed.
    bool drawEveryFrame = true;
};

// Whether drawing a part moves a forest, so that later frames depend on it being drawn.
bool partMovesForests(int32_t part);

// Plays the show from order 0: frame k reads the virtual clock at k / fps seconds after the
// stamp, and the module has been rendered by exactly k / fps seconds of audio when its position
// is read. wanted(index, order, row) is asked before each frame is stepped, onFrame after it;
// onFrame returns false to stop. Stops when the show ends (order 50 back to 0) or after
// maxFrames. Returns the frames played; -1 if the module will not load.
int64_t playShow(const PlayOptions &options,
                 const std::function<bool(int64_t index, int32_t order, int32_t row)> &wanted,
                 const std::function<bool(const PlayedFrame &)> &onFrame);

// Box-filters a picture down by an integer factor.
Picture shrinkPicture(const Picture &picture, int factor);
// Draws digits with a built-in 3x5 font, scale pixels a font pixel, on a black box.
void drawLabel(Picture *picture, int x, int y, const std::string &digits, int scale);
// One labelled thumbnail per part (shrunk by 4), 8 a row; parts without a frame stay dark.
Picture composeContactSheet(const std::vector<Picture> &framesByPart);

bool writePicture(const std::string &path, const Picture &picture);
