// The rippling grid textured with a copy of the frame drawn so far.
#pragma once

void bindFeedbackTexture();
void captureFeedbackTexture();
void setFeedbackTextureMatrix();
void setWaveGridProjection(float fov);
void drawWaveGrid(float time);

// One grid vertex: position and texture coordinate.
struct WaveGridVertex {
    float x, y, z;
    float s, t;
};

constexpr int waveGridSize = 17;
// Fills the 17 x 17 grid for a time; vertex (i, j) at index 17 i + j.
void buildWaveGrid(float time, WaveGridVertex grid[waveGridSize * waveGridSize]);
