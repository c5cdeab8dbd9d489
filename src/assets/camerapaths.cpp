#include "assets/camerapaths.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/contentfiles.h"

CameraPath cameraPaths[cameraPathSlots];

namespace {

float *allocatePathArray(int code)
{
    // Zeroed: frames whose camera line did not fully scan hold 0 in the missing values.
    void *block = calloc(cameraPathCapacity, sizeof(float));
    if (block == nullptr) {
        printf("Memory allotcation failure %i....", code);
        stopOnAssetFailure(1);
    }
    return static_cast<float *>(block);
}

} // namespace

// Each pointer goes into the slot as soon as it exists, so a harness that survives a failure can
// still release what was taken.
void allocateCameraPath(int slot)
{
    CameraPath &path = cameraPaths[slot];
    path.eyeX = allocatePathArray(12);
    path.eyeY = allocatePathArray(13);
    path.eyeZ = allocatePathArray(14);
    path.targetX = allocatePathArray(15);
    path.targetY = allocatePathArray(16);
    path.targetZ = allocatePathArray(17);
    path.value7 = allocatePathArray(18);
}

int32_t loadVueFile(int slot, const char *path)
{
    if (slot < 0 || slot >= cameraPathSlots)
        return 0;
    assetFile = openContentFile(path, "r");
    if (assetFile == nullptr) {
        printf("Error: File not opened\n\n");
        stopOnAssetFailure(1);
    }
    for (int i = 0; i < 4; ++i)
        readAssetLine();
    allocateCameraPath(slot);

    CameraPath &track = cameraPaths[slot];
    int32_t n = 0;
    // The end is noticed only by a read that finds nothing; the line left in the buffer is then
    // looked at once more, so a final camera line with a line break counts twice. Only lines this
    // loop read count that way: a header line never becomes a frame.
    bool readInLoop = false;
    while (!feof(assetFile)) {
        if (readAssetLine())
            readInLoop = true;
        else if (!readInLoop || ferror(assetFile))
            break;
        if (strncmp(assetLine, "camera", 6) != 0)
            continue;
        if (n >= cameraPathCapacity)
            continue;
        char word[sizeof assetLine];
        float values[7] = {0, 0, 0, 0, 0, 0, 0};
        sscanf(assetLine, "%255s  %f %f %f %f %f %f %f", word, &values[0], &values[1], &values[2],
               &values[3], &values[4], &values[5], &values[6]);
        track.eyeX[n] = values[0];
        track.eyeY[n] = values[1];
        track.eyeZ[n] = values[2];
        track.targetX[n] = values[3];
        track.targetY[n] = values[4];
        track.targetZ[n] = values[5];
        track.value7[n] = values[6];
        ++n;
    }
    fclose(assetFile);
    assetFile = nullptr;
    return n;
}

float pathFrameAt(float t, int32_t count)
{
    return float(double(t) / pathSpanSeconds * count);
}

int32_t selectPathFrame(float frame, int32_t count)
{
    if (count < 1)
        return -1;
    if (count > cameraPathCapacity)
        count = cameraPathCapacity;
    // In double precision both the truncation and the remainder are exact for every float, and
    // no out-of-range float-to-int conversion can happen.
    double index = std::fmod(std::trunc(double(frame)), double(count));
    if (!(index == index))
        return 0;
    // The remainder follows the dividend's sign; a negative frame must still select a stored one.
    if (index < 0.0)
        index += count;
    return int32_t(index);
}

void placeCameraFromPath(int slot, float frame, int32_t count)
{
    if (slot < 0 || slot >= cameraPathSlots)
        return;
    const CameraPath &track = cameraPaths[slot];
    const int32_t i = selectPathFrame(frame, count);
    if (i < 0 || track.eyeX == nullptr)
        return;
    gluLookAt(track.eyeX[i], track.eyeY[i], track.eyeZ[i], track.targetX[i], track.targetY[i],
              track.targetZ[i], 0.0, 0.0, 1.0);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}
