// The two billboard forests of pine silhouettes over the backdrop.
#pragma once
#include <cstdint>

struct Billboard {
    float depth;
    float lateral;
    float heightScale;
    int32_t variant;
};

constexpr int billboardCount = 200;
extern Billboard scrollForest[billboardCount];
extern Billboard rushForest[billboardCount];

// true: the literal drawing, every fragment blended; false (shipped): transparent fragments skipped.
extern bool forestImmediateMode;

// The forest images, then both forests filled from rand.
void loadForestAssets();
void fillForests();
void drawForestScroll(float time, float delta);
void drawForestRush(float delta);
