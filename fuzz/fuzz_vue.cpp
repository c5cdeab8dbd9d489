// libFuzzer target: one VUE file through the camera-path loader and the frame selection.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "assets/camerapaths.h"
#include "fuzzinput.h"

namespace {

void releasePath()
{
    CameraPath &path = cameraPaths[6];
    for (float *array : {path.eyeX, path.eyeY, path.eyeZ, path.targetX, path.targetY, path.targetZ, path.value7})
        free(array);
    memset(&path, 0, sizeof path);
}

// Every frame a scene could ask for must be one that is stored.
void loadAndCheck(const char *path, const uint8_t *data, size_t size)
{
    const int32_t frames = loadVueFile(6, path);
    if (frames < 0 || frames > cameraPathCapacity)
        abort();
    float frame = 0.0f;
    memcpy(&frame, data, size < sizeof frame ? size : sizeof frame);
    for (float asked : {frame, frame * 1100.0f, float(frames), float(frames) - 0.1f}) {
        const int32_t index = selectPathFrame(asked, frames);
        if (frames < 1 ? index != -1 : index < 0 || index >= frames)
            abort();
        volatile float touched = cameraPaths[6].eyeX[index < 0 ? 0 : index];
        (void)touched;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    runFuzzInput("VUE", data, size, loadAndCheck, releasePath);
    return 0;
}
