#include "renderer.h"

#include <GL/glew.h>
#include <SDL/SDL.h>
#include <libopenmpt/libopenmpt.h>
#include <png.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "assets/contentfiles.h"
#include "driver/demo.h"
#include "driver/schedule.h"
#include "driver/showpass.h"
#include "media/display.h"
#include "media/music.h"
#include "modulepass/modulepass.h"

namespace {

constexpr uint32_t clockStartTicks = 1000;
const char *const modulePath = "data\\music\\vrimla2.xm";

// The virtual clock and the offline module that the frame step reads.
uint32_t virtualTicks = clockStartTicks;
openmpt_module *offlineModule = nullptr;

uint32_t readVirtualTicks()
{
    return virtualTicks;
}

void readOfflinePosition(int32_t *order, int32_t *row)
{
    *order = openmpt_module_get_current_order(offlineModule);
    *row = openmpt_module_get_current_row(offlineModule);
}

const FrameSource offlineSource = {readVirtualTicks, readOfflinePosition};

bool readModuleBytes(std::vector<char> *bytes)
{
    FILE *file = openContentFile(modulePath, "rb");
    if (!file)
        return false;
    char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes->insert(bytes->end(), block, block + got);
    fclose(file);
    return true;
}

// The module as the show plays it (modulepass): from order 0, looping so that its return to
// order 0 ends the show as it does live, and without dither, whose noise differs from run to run.
openmpt_module *createOfflineModule(std::string *reason = nullptr)
{
    std::vector<char> bytes;
    if (!readModuleBytes(&bytes)) {
        if (reason)
            *reason = "cannot read data/music/vrimla2.xm";
        return nullptr;
    }
    std::string why;
    openmpt_module *module = openShowModule(bytes.data(), bytes.size(), &why, nullptr);
    if (!module && reason)
        *reason = "libopenmpt rejects data/music/vrimla2.xm: " + why;
    return module;
}

bool openOfflineModule()
{
    if (!offlineModule)
        offlineModule = createOfflineModule();
    return offlineModule != nullptr;
}

// Renders a module on to an absolute sample frame, handing each chunk to onAudio.
void advanceModuleTo(openmpt_module *module, int64_t targetFrame, int64_t *renderedFrames, const AudioSink &onAudio)
{
    static int16_t scratch[4096 * 2];
    while (*renderedFrames < targetFrame) {
        int64_t chunk = targetFrame - *renderedFrames;
        if (chunk > 4096)
            chunk = 4096;
        size_t got = openmpt_module_read_interleaved_stereo(module, renderSampleRate, size_t(chunk), scratch);
        if (onAudio)
            onAudio(scratch, *renderedFrames, size_t(chunk));
        *renderedFrames += chunk;
        if (got == 0)
            break;
    }
}

void drainEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
}

} // namespace

void startRenderer()
{
    // runDemo's start-up less the audio device.
    resetFrameState();
    loadShowContent();
    virtualTicks = clockStartTicks;
    stampFrameClocks(virtualTicks);
}

Picture readFrame()
{
    Picture picture;
    picture.width = frameWidth;
    picture.height = frameHeight;
    std::vector<uint8_t> bottomUp(size_t(frameWidth) * frameHeight * 4);
    picture.rgba.resize(bottomUp.size());
    readDrawnPixels(0, 0, frameWidth, frameHeight, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    const size_t rowBytes = size_t(frameWidth) * 4;
    for (int y = 0; y < frameHeight; ++y)
        std::copy(bottomUp.begin() + (frameHeight - 1 - y) * rowBytes,
                  bottomUp.begin() + (frameHeight - y) * rowBytes, picture.rgba.begin() + y * rowBytes);
    for (size_t k = 3; k < picture.rgba.size(); k += 4)
        picture.rgba[k] = 255; // the window has no alpha to show
    return picture;
}

Picture renderPart(int32_t drawnPart, const PartClocks &clocks)
{
    frameClocks.demoTime = clocks.demoTime;
    frameClocks.partTime = clocks.partTime;
    frameClocks.frameDelta = clocks.frameDelta;
    frameClocks.wordTime1 = clocks.wordTime1;
    frameClocks.wordTime2 = clocks.wordTime2;
    frameClocks.wordTime3 = clocks.wordTime3;
    musicRow = clocks.musicRow;
    part = drawnPart;
    previousPart = drawnPart;
    drawPart(drawnPart);
    Picture picture = readFrame();
    SDL_GL_SwapBuffers();
    drainEvents();
    return picture;
}

bool partMovesForests(int32_t p)
{
    return (p >= 0 && p <= 7) || (p >= 16 && p <= 21) || (p >= 30 && p <= 41);
}


int64_t sampleAtFrame(int64_t index, int fps)
{
    return std::llround(double(index) * renderSampleRate / fps);
}

bool findShowPass(ShowPass *pass, std::string *reason)
{
    openmpt_module *module = createOfflineModule(reason);
    if (!module)
        return false;
    *pass = walkShowPass(module);
    openmpt_module_destroy(module);
    return true;
}

bool planPassFrames(const PlayOptions &options, const ShowPass &pass, int64_t maxFrames, const FramePlanSink &onFrame,
                    int64_t *frames, std::string *reason)
{
    if (!pass.ends && maxFrames <= 0) {
        *reason = describeEndlessPass(pass);
        return false;
    }
    // The show ends on the first frame at or past the module's change back to order 0.
    int64_t throughEnd = INT64_MAX;
    if (pass.ends) {
        int64_t endIndex = options.firstIndex;
        while (sampleAtFrame(endIndex, options.fps) < pass.endFrame)
            ++endIndex;
        throughEnd = endIndex - options.firstIndex + 1;
    }
    const int64_t count = maxFrames > 0 ? std::min(maxFrames, throughEnd) : throughEnd;
    openmpt_module *module = createOfflineModule();
    if (!module) {
        *reason = "cannot load the module";
        return false;
    }
    // The module rendered to each frame's instant, as playShow renders it, without drawing.
    int64_t rendered = 0, planned = 0;
    int32_t previous = -1;
    bool ended = false;
    while (planned < count && !ended) {
        const int64_t index = options.firstIndex + planned;
        advanceModuleTo(module, sampleAtFrame(index, options.fps) + 1, &rendered, nullptr);
        const int32_t order = openmpt_module_get_current_order(module);
        if (onFrame)
            onFrame(index, order, openmpt_module_get_current_row(module));
        ended = planned > 0 && endsShow(order, previous);
        previous = order;
        ++planned;
    }
    openmpt_module_destroy(module);
    *frames = planned;
    if (count == throughEnd && !(planned == count && ended)) {
        // An order 50 or 0 shorter than a frame: the live show, at its own rate, may still end.
        char line[200];
        snprintf(line, sizeof line,
                 "at %d frames a second the frames miss the module's change from order %d to order 0 at %.2f s, "
                 "so the show would not end there; a higher --fps sees it",
                 options.fps, lastScenePart, double(pass.endFrame) / renderSampleRate);
        *reason = line;
        return false;
    }
    return true;
}

bool renderModuleAsPlayed(const PlayOptions &options, int64_t endFrame, std::vector<int16_t> *stereo)
{
    openmpt_module *module = createOfflineModule();
    if (!module)
        return false;
    stereo->clear();
    const AudioSink keep = [&](const int16_t *samples, int64_t, size_t frames) {
        stereo->insert(stereo->end(), samples, samples + frames * 2);
    };
    int64_t rendered = 0;
    for (int64_t index = options.firstIndex; rendered < endFrame; ++index)
        advanceModuleTo(module, sampleAtFrame(index, options.fps) + 1, &rendered, keep);
    openmpt_module_destroy(module);
    stereo->resize(size_t(endFrame) * 2);
    return true;
}

int64_t playShow(const PlayOptions &options,
                 const std::function<bool(int64_t index, int32_t order, int32_t row)> &wanted,
                 const std::function<bool(const PlayedFrame &)> &onFrame)
{
    if (!openOfflineModule())
        return -1;
    int64_t renderedFrames = 0;
    int64_t played = 0;
    for (int64_t index = options.firstIndex; options.maxFrames <= 0 || played < options.maxFrames; ++index) {
        ++played;
        virtualTicks = clockStartTicks + uint32_t(std::llround(double(index) * 1000.0 / options.fps));
        // libopenmpt reports the row of the last sample it rendered: render through the sample at
        // the frame's instant, so that the frame shows the row being heard then.
        advanceModuleTo(offlineModule, sampleAtFrame(index, options.fps) + 1, &renderedFrames, options.onAudio);
        int32_t order = 0, row = 0;
        readOfflinePosition(&order, &row);
        bool draw = wanted(index, order, row) || options.drawEveryFrame || partMovesForests(order);
        int32_t before = previousPart;
        if (draw)
            stepFrame(offlineSource);
        else
            advanceFrame(offlineSource);
        PlayedFrame frame{index, part, musicRow, part != before, draw};
        bool more = onFrame(frame);
        if (draw)
            SDL_GL_SwapBuffers();
        drainEvents();
        if (!more || endRequested)
            break;
    }
    return played;
}

Picture shrinkPicture(const Picture &picture, int factor)
{
    Picture small;
    small.width = picture.width / factor;
    small.height = picture.height / factor;
    small.rgba.assign(size_t(small.width) * small.height * 4, 0);
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx)
                        sum += picture.rgba[(size_t(y * factor + dy) * picture.width + x * factor + dx) * 4 + c];
                small.rgba[(size_t(y) * small.width + x) * 4 + c] = uint8_t((sum + factor * factor / 2) /
                                                                            (factor * factor));
            }
    return small;
}

namespace {

// 3x5 glyphs, one row a value, the high bit of three the left column: the digits and the
// letters of the sheet's captions.
struct LabelGlyph {
    char character;
    uint8_t rows[5];
};
const LabelGlyph labelGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'A', {2, 5, 7, 5, 5}}, {'D', {6, 5, 5, 5, 6}},
    {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}}, {'L', {4, 4, 4, 4, 7}}, {'M', {5, 7, 7, 5, 5}},
    {'N', {6, 5, 5, 5, 5}}, {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}}, {'R', {6, 5, 6, 5, 5}},
    {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}}, {'W', {5, 5, 7, 7, 5}}, {'Y', {5, 5, 2, 2, 2}},
};

const uint8_t *findLabelGlyph(char character)
{
    for (const LabelGlyph &glyph : labelGlyphs)
        if (glyph.character == character)
            return glyph.rows;
    return nullptr; // a space, or a character the captions do not use
}

void fillBox(Picture *picture, int x0, int y0, int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    for (int y = y0; y < y0 + height; ++y)
        for (int x = x0; x < x0 + width; ++x) {
            if (x < 0 || y < 0 || x >= picture->width || y >= picture->height)
                continue;
            uint8_t *p = &picture->rgba[(size_t(y) * picture->width + x) * 4];
            p[0] = r;
            p[1] = g;
            p[2] = b;
            p[3] = 255;
        }
}

} // namespace

void drawLabel(Picture *picture, int x, int y, const std::string &text, int scale)
{
    const int advance = 4 * scale;
    fillBox(picture, x, y, int(text.size()) * advance + scale, 7 * scale, 0, 0, 0);
    for (size_t k = 0; k < text.size(); ++k) {
        const uint8_t *rows = findLabelGlyph(text[k]);
        if (!rows)
            continue;
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column)
                if (rows[row] & (4 >> column))
                    fillBox(picture, x + scale + int(k) * advance + column * scale, y + scale + row * scale,
                            scale, scale, 255, 255, 255);
    }
}

Picture composeContactSheet(const std::vector<Picture> &framesByPart, const std::vector<std::string> &captions)
{
    constexpr int columns = 8, factor = 4, gap = 4;
    const int cellWidth = frameWidth / factor, cellHeight = frameHeight / factor;
    const int parts = int(framesByPart.size());
    const int rows = (parts + columns - 1) / columns;
    Picture sheet;
    sheet.width = columns * (cellWidth + gap) + gap;
    sheet.height = rows * (cellHeight + gap) + gap;
    sheet.rgba.assign(size_t(sheet.width) * sheet.height * 4, 0);
    fillBox(&sheet, 0, 0, sheet.width, sheet.height, 48, 48, 48);
    for (int p = 0; p < parts; ++p) {
        const int x0 = gap + (p % columns) * (cellWidth + gap);
        const int y0 = gap + (p / columns) * (cellHeight + gap);
        const Picture &frame = framesByPart[p];
        if (frame.width == frameWidth && frame.height == frameHeight) {
            Picture small = shrinkPicture(frame, factor);
            for (int y = 0; y < cellHeight; ++y)
                std::copy(small.rgba.begin() + size_t(y) * cellWidth * 4,
                          small.rgba.begin() + size_t(y + 1) * cellWidth * 4,
                          sheet.rgba.begin() + (size_t(y0 + y) * sheet.width + x0) * 4);
        } else {
            fillBox(&sheet, x0, y0, cellWidth, cellHeight, 16, 16, 16);
        }
        const bool captioned = size_t(p) < captions.size() && !captions[size_t(p)].empty();
        drawLabel(&sheet, x0, y0, std::to_string(p) + (captioned ? " " + captions[size_t(p)] : ""), 2);
    }
    return sheet;
}

bool writePicture(const std::string &path, const Picture &picture)
{
    if (picture.rgba.size() < size_t(picture.width) * picture.height * 4)
        return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(picture.width);
    image.height = uint32_t(picture.height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, picture.rgba.data(), 0, nullptr) != 0;
}
