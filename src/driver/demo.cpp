#include "driver/demo.h"

#include <GL/glew.h>
#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>

#include "assets/textures.h"
#include "driver/schedule.h"
#include "driver/showpass.h"
#include "driver/waysout.h"
#include "effects/celshading.h"
#include "effects/forest.h"
#include "effects/meshscenes.h"
#include "effects/voxeltext.h"
#include "media/audioclock.h"
#include "media/display.h"
#include "media/music.h"

FrameClocks frameClocks;
int32_t part = 0;
int32_t previousPart = -1;
bool endRequested = false;

void resetFrameState()
{
    frameClocks.demoTime = 0;
    frameClocks.partTime = 0;
    frameClocks.wordTime1 = 0;
    frameClocks.wordTime2 = 0;
    frameClocks.wordTime3 = 0;
    endRequested = false;
    previousPart = -1;
}

void stampFrameClocks(uint32_t ticks)
{
    frameClocks.frameStamp = float(double(ticks) / 1000.0);
}

void advanceFrameClocks(uint32_t firstTicks, uint32_t secondTicks)
{
    // Measured from the previous frame's second reading: the gap between the two readings counts nowhere.
    frameClocks.frameDelta = float(double(firstTicks) / 1000.0 - double(frameClocks.frameStamp));
    frameClocks.frameStamp = float(double(secondTicks) / 1000.0);
    frameClocks.demoTime += frameClocks.frameDelta;
    frameClocks.partTime += frameClocks.frameDelta;
    frameClocks.wordTime1 += frameClocks.frameDelta;
    frameClocks.wordTime2 += frameClocks.frameDelta;
    frameClocks.wordTime3 += frameClocks.frameDelta;
}

void applyPartChange(int32_t enteredPart, int32_t previous)
{
    switch (enteredPart) {
    case 0:
        if (endsShow(enteredPart, previous))
            endRequested = true;
        break;
    case 4: case 8: case 9: case 10: case 11: case 12: case 13: case 14: case 15:
    case 18: case 22: case 30: case 42:
        frameClocks.partTime = 0;
        break;
    case 19: case 48:
        frameClocks.wordTime1 = 0;
        break;
    case 20: case 49:
        frameClocks.wordTime2 = 0;
        break;
    case 21: case 50:
        frameClocks.wordTime3 = 0;
        break;
    default:
        break;
    }
}

void advanceFrame(const FrameSource &source)
{
    uint32_t firstTicks = source.readTicks();
    uint32_t secondTicks = source.readTicks();
    advanceFrameClocks(firstTicks, secondTicks);
    int32_t row = musicRow;
    source.readMusicPosition(&part, &row);
    musicRow = row;
    if (part != previousPart) {
        printf("Go part %i\n", part);
        applyPartChange(part, previousPart);
    }
    previousPart = part;
}

void stepFrame(const FrameSource &source)
{
    advanceFrame(source);
    drawPart(part);
}

namespace {

uint32_t readSdlTicks()
{
    return SDL_GetTicks();
}

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The live loop reads the position for the moment its frame will be on screen.
FrameLead frameLead;
double positionReadSeconds;

void readLiveMusicPosition(int32_t *order, int32_t *row)
{
    positionReadSeconds = steadySeconds();
    readMusicPositionAhead(order, row, findFrameLead(frameLead));
}

const FrameSource liveSource = {readSdlTicks, readLiveMusicPosition};

bool mustLockScreen()
{
    return SDL_MUSTLOCK(screenSurface);
}

void drainEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event))
        if (event.type == SDL_KEYDOWN || event.type == SDL_QUIT)
            endRequested = true;
    // SIGTERM, SIGINT and SIGHUP end the show as a quit request does.
    if (isQuitSignalled())
        endRequested = true;
}

} // namespace

void loadShowContent()
{
    printf("Init\n");
    loadFont();
    loadSceneAssets();
    openDisplay();
    glewInit();
    initCelShading();
    glViewport(0, 0, 800, 600);
    loadForestAssets();
    loadCreditsImage();
    // Made here, not on first use, so that no part's first frame stalls; no drawing, no rand.
    compileCelMeshLists();
    compileGlyphLists();
}

int runDemo(int, char **)
{
    resetFrameState();
    loadShowContent();
    startMusic();
    stampFrameClocks(SDL_GetTicks());
    startPlayback();

    beginFrameLoop();
    clearFrameLead(frameLead);
    for (;;) {
        if (mustLockScreen()) {
            int locked = SDL_LockSurface(screenSurface);
            if (locked < 0)
                return locked;
        }
        stepFrame(liveSource);
        SDL_GL_SwapBuffers();
        noteFrameShown(frameLead, positionReadSeconds, steadySeconds());
        if (mustLockScreen())
            SDL_UnlockSurface(screenSurface);
        drainEvents();
        if (endRequested)
            return 0;
    }
}
