// Camera tracks read from 3D Studio VUE files: one recorded frame per camera line.
#pragma once
#include <cstdint>

constexpr int cameraPathCapacity = 20000;
constexpr int cameraPathSlots = 8;

struct CameraPath {
    float *eyeX, *eyeY, *eyeZ;
    float *targetX, *targetY, *targetZ;
    float *value7;
};

extern CameraPath cameraPaths[cameraPathSlots];

// Fills the slot from the file's camera lines and returns the number of frames filled.
int32_t loadVueFile(int slot, const char *path);
// Multiplies the current matrix by the look-at view of frame (truncated) modulo count.
void placeCameraFromPath(int slot, float frame, int32_t count);
// A path is traversed once per pathSpanSeconds of a scene's clock: the frame (in path frames) at
// clock t for a path of count frames, in double precision and stored in single precision.
constexpr double pathSpanSeconds = 30.0;
float pathFrameAt(float t, int32_t count);
// The frame that placeCameraFromPath uses: frame truncated towards zero, remainder by count
// (count capped at the path's capacity); -1 when count is below 1, so nothing is placed.
int32_t selectPathFrame(float frame, int32_t count);
