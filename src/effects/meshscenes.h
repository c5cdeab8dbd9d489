// What the 3D scenes share: their assets, the light set-up, the camera moves, ground, trees, shake.
#pragma once
#include <cstdint>

constexpr int treeCount = 400;
// The view setupSceneLighting sets: vertical field of view in degrees and width over height.
constexpr double sceneFieldOfView = 45.0;
constexpr double sceneAspect = 4.0 / 3.0;
// The credits scene samples its camera path with this fixed count, whatever the file holds.
constexpr int32_t creditsPathCount = 1100;
extern float treePositions[treeCount][2];
extern int32_t creditsPathFrames;
extern int32_t lumirPathFrames;

// Tree positions from rand, then the meshes and camera paths in their fixed order; no GL calls.
void loadSceneAssets();
void setupSceneLighting();
void cameraSweepA(float t);
void cameraSweepB(float t);
void cameraSweepC(float t);
void cameraSweepD(float t);
void cameraSweepAFlipped(float t);
void cameraSweepBFlipped(float t);
void cameraSweepCFlipped(float t);
void cameraSweepDFlipped(float t);
void drawGroundPlane();
void drawTreeField();
void applyBeatShake(float amount);
