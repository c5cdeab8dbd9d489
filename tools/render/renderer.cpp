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
#include "media/music.h"

namespace {

constexpr uint32_t clockStartTicks = 1000;
constexpr int renderSampleRate = 44100;
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

bool openOfflineModule()
{
    if (offlineModule)
        return true;
    FILE *file = openContentFile(modulePath, "rb");
    if (!file)
        return false;
    std::vector<char> bytes;
    char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    fclose(file);
    offlineModule = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                       nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                                       nullptr, nullptr);
    if (!offlineModule)
        return false;
    // As live: the song keeps playing so that its return to order 0 ends the show.
    openmpt_module_set_repeat_count(offlineModule, -1);
    openmpt_module_set_position_order_row(offlineModule, 0, 0);
    return true;
}

// Renders the module on to an absolute sample frame.
void advanceModuleTo(int64_t targetFrame, int64_t *renderedFrames)
{
    static int16_t scratch[4096 * 2];
    while (*renderedFrames < targetFrame) {
        int64_t chunk = targetFrame - *renderedFrames;
        if (chunk > 4096)
            chunk = 4096;
        size_t got = openmpt_module_read_interleaved_stereo(offlineModule, renderSampleRate, size_t(chunk),
                                                            scratch);
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
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, frameWidth, frameHeight, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
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


int64_t playShow(const PlayOptions &options,
                 const std::function<bool(int64_t index, int32_t order, int32_t row)> &wanted,
                 const std::function<bool(const PlayedFrame &)> &onFrame)
{
    if (!openOfflineModule())
        return -1;
    int64_t renderedFrames = 0;
    int64_t index = 0;
    while (options.maxFrames <= 0 || index < options.maxFrames) {
        ++index;
        virtualTicks = clockStartTicks + uint32_t(std::llround(double(index) * 1000.0 / options.fps));
        advanceModuleTo(std::llround(double(index) * renderSampleRate / options.fps), &renderedFrames);
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
    return index;
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
