#include "renderer.h"

#include <GL/glew.h>
#include <SDL/SDL.h>
#include <libopenmpt/libopenmpt.h>
#include <png.h>

#include <cmath>
#include <cstdio>

#include "assets/contentfiles.h"
#include "driver/demo.h"
#include "driver/schedule.h"
#include "media/display.h"
#include "media/music.h"

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

// The module as the offline passes play it: from order 0, looping so that its return to order 0
// ends the show as it does live, and without dither, whose noise differs from run to run.
openmpt_module *createOfflineModule()
{
    FILE *file = openContentFile(modulePath, "rb");
    if (!file)
        return nullptr;
    std::vector<char> bytes;
    char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    fclose(file);
    openmpt_module *module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                                nullptr, openmpt_error_func_ignore, nullptr,
                                                                nullptr, nullptr, nullptr);
    if (!module)
        return nullptr;
    openmpt_module_set_repeat_count(module, -1);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    openmpt_module_set_position_order_row(module, 0, 0);
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

int64_t countSamplesToWrap()
{
    openmpt_module *module = createOfflineModule();
    if (!module)
        return -1;
    // A pass of the song and some slack: a module that has not wrapped by then never will.
    const double limit = (openmpt_module_get_duration_seconds(module) + 10) * renderSampleRate;
    int16_t scratch[1024 * 2];
    int64_t rendered = 0, wrap = 0;
    int32_t order = 0;
    while (wrap == 0 && rendered < limit) {
        // Sample by sample through the last order, so that the sample the order turns to 0 on is exact.
        const size_t chunk = order == 50 ? 1 : 1024;
        if (openmpt_module_read_interleaved_stereo(module, renderSampleRate, chunk, scratch) == 0)
            break;
        rendered += int64_t(chunk);
        const int32_t now = openmpt_module_get_current_order(module);
        if (order == 50 && now == 0)
            wrap = rendered - 1; // the position read is that of the last sample rendered
        order = now;
    }
    openmpt_module_destroy(module);
    return wrap;
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

// 3x5 digits, one row a value, the high bit of three the left column.
const uint8_t digitRows[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

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

void drawLabel(Picture *picture, int x, int y, const std::string &digits, int scale)
{
    const int advance = 4 * scale;
    fillBox(picture, x, y, int(digits.size()) * advance + scale, 7 * scale, 0, 0, 0);
    for (size_t k = 0; k < digits.size(); ++k) {
        if (digits[k] < '0' || digits[k] > '9')
            continue;
        const uint8_t *rows = digitRows[digits[k] - '0'];
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column)
                if (rows[row] & (4 >> column))
                    fillBox(picture, x + scale + int(k) * advance + column * scale, y + scale + row * scale,
                            scale, scale, 255, 255, 255);
    }
}

Picture composeContactSheet(const std::vector<Picture> &framesByPart)
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
        drawLabel(&sheet, x0, y0, std::to_string(p), 2);
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
