#include "driver/schedule.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdio>

#include "assets/camerapaths.h"
#include "assets/meshes.h"
#include "driver/demo.h"
#include "effects/celshading.h"
#include "effects/forest.h"
#include "effects/meshscenes.h"
#include "effects/overlays.h"
#include "effects/voxeltext.h"
#include "effects/wavegrid.h"

namespace {

constexpr GLbitfield clearMask = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT;
constexpr float shakeAmount = 60.0f;
constexpr float waveGridFov = 45.0f;
constexpr float forestSpeedUp = 4.0f;

using CameraMove = void (*)(float);
const CameraMove treeFieldMoves[8] = {
    cameraSweepA,        cameraSweepB,        cameraSweepC,        cameraSweepD,
    cameraSweepAFlipped, cameraSweepBFlipped, cameraSweepCFlipped, cameraSweepDFlipped,
};

void clearFrame()
{
    glClear(clearMask);
}

void drawForestIntro(int32_t part)
{
    clearFrame();
    drawForestScroll(frameClocks.demoTime, frameClocks.frameDelta);
    if (part == 7)
        fadeToBlackByRow();
    if (part >= 4)
        drawTitleText(frameClocks.partTime);
}

void drawTreeFlight(int32_t part)
{
    clearFrame();
    drawSkyFill();
    treeFieldMoves[part - 8](frameClocks.partTime);
    drawTreeField();
    flashByRow();
    if (part == 11 || part == 15)
        fadeToBlackByRow();
}

// Words of the first credit sentence, each with the clock that restarts on its part.
void drawRushCredits(int32_t part)
{
    clearFrame();
    drawForestRush(frameClocks.frameDelta);
    if (part == 16)
        flashByRow();
    if (part >= 18)
        drawCreditWord("plork ", frameClocks.partTime);
    if (part >= 19)
        drawCreditWord("er", frameClocks.wordTime1);
    if (part >= 20)
        drawCreditWord("en", frameClocks.wordTime2);
    if (part >= 21)
        drawCreditWord("sjukdom ", frameClocks.wordTime3);
}

// The fly-throughs keep the modelview that setupSceneLighting left and widen the view to 70 degrees.
void setFlightProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(70.0, double(4.0f / 3.0f), double(0.1f), 49900.0);
    glMatrixMode(GL_MODELVIEW);
}

void drawCreditsFlight(int32_t part)
{
    clearFrame();
    drawSkyFill();
    setupSceneLighting();
    setFlightProjection();
    placeCameraFromPath(6, pathFrameAt(frameClocks.partTime, creditsPathCount), creditsPathCount);
    applyBeatShake(shakeAmount);
    drawGroundPlane();
    setCelPresetGreen();
    for (int index = meshGroups[6].first + 1; index <= meshGroups[6].last; ++index)
        drawCelMesh(index);
    glUseProgramObjectARB(0);
    setOrthoProjection();
    drawCreditsOverlay();
    if (part == 29)
        fadeToBlackByRow();
}

void drawScrollerWave(int32_t part)
{
    clearFrame();
    drawScrollerText(frameClocks.partTime);
    captureFeedbackTexture();
    clearFrame();
    // Only the forest sees the faster delta; the clocks were advanced with the plain one.
    if (part >= 38)
        frameClocks.frameDelta *= forestSpeedUp;
    drawForestScroll(frameClocks.demoTime, frameClocks.frameDelta);
    setFeedbackTextureMatrix();
    glDisable(GL_DEPTH_TEST);
    setWaveGridProjection(waveGridFov);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawWaveGrid(frameClocks.demoTime);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    if (part >= 38)
        flashPerBeat();
}

void drawForestFlight()
{
    drawSkyFill();
    setupSceneLighting();
    setFlightProjection();
    placeCameraFromPath(7, pathFrameAt(frameClocks.partTime, lumirPathFrames), lumirPathFrames);
    printf("%f\n", double(frameClocks.partTime));
    applyBeatShake(shakeAmount);
    drawGroundPlane();
    setCelPresetGreen();
    const int singledOut = meshGroups[7].last - 6;
    for (int index = meshGroups[7].first + 1; index <= meshGroups[7].last; ++index)
        if (index != singledOut)
            drawCelMesh(index);
    setCelPresetRose();
    drawCelMesh(singledOut);
    glUseProgramObjectARB(0);
}

void drawClosing(int32_t part)
{
    clearFrame();
    if (part <= 49)
        drawForestFlight();
    if (part == 49)
        fadeToBlackByRow();
    if (part >= 48)
        drawCreditWord("vOTE", frameClocks.wordTime1);
    if (part >= 49)
        drawCreditWord("fOR", frameClocks.wordTime2);
    if (part >= 50)
        drawCreditWord("gRUNKA pELDO ", frameClocks.wordTime3);
}

using Composition = void (*)(int32_t);

// One entry per part: 17 compositions serve the 51 parts.
const Composition compositions[51] = {
    drawForestIntro,   drawForestIntro,   drawForestIntro,   drawForestIntro,   // 0-3
    drawForestIntro,   drawForestIntro,   drawForestIntro,   drawForestIntro,   // 4-7
    drawTreeFlight,    drawTreeFlight,    drawTreeFlight,    drawTreeFlight,    // 8-11
    drawTreeFlight,    drawTreeFlight,    drawTreeFlight,    drawTreeFlight,    // 12-15
    drawRushCredits,   drawRushCredits,   drawRushCredits,   drawRushCredits,   // 16-19
    drawRushCredits,   drawRushCredits,                                         // 20-21
    drawCreditsFlight, drawCreditsFlight, drawCreditsFlight, drawCreditsFlight, // 22-25
    drawCreditsFlight, drawCreditsFlight, drawCreditsFlight, drawCreditsFlight, // 26-29
    drawScrollerWave,  drawScrollerWave,  drawScrollerWave,  drawScrollerWave,  // 30-33
    drawScrollerWave,  drawScrollerWave,  drawScrollerWave,  drawScrollerWave,  // 34-37
    drawScrollerWave,  drawScrollerWave,  drawScrollerWave,  drawScrollerWave,  // 38-41
    drawClosing,       drawClosing,       drawClosing,       drawClosing,       // 42-45
    drawClosing,       drawClosing,       drawClosing,       drawClosing,       // 46-49
    drawClosing,                                                                // 50
};

} // namespace

void drawPart(int32_t part)
{
    if (part < 0 || part > 50)
        return;
    compositions[part](part);
}
