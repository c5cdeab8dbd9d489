// libFuzzer target: one VUE file through the camera-path loader and the frame selection.
#include <cstdlib>
#include <initializer_list>
#include <cstring>

#include "assets/camerapaths.h"
#include "fuzzinput.h"

namespace {

void releasePath(CameraPath &path)
{
    float *arrays[] = {path.eyeX, path.eyeY, path.eyeZ, path.targetX, path.targetY, path.targetZ,
                       path.value7};
    for (float *array : arrays)
        free(array);
    memset(&path, 0, sizeof path);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    prepareFuzzInput("VUE");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = writeFuzzInput(data, size);
    try {
        const int32_t frames = loadVueFile(6, path);
        if (frames < 0 || frames > cameraPathCapacity)
            abort();
        // Every frame a scene could ask for must be one that is stored.
        float frame = 0.0f;
        memcpy(&frame, data, size < sizeof frame ? size : sizeof frame);
        for (float asked : {frame, frame * 1100.0f, float(frames), float(frames) - 0.1f}) {
            const int32_t index = selectPathFrame(asked, frames);
            if (frames < 1 ? index != -1 : index < 0 || index >= frames)
                abort();
            volatile float touched = cameraPaths[6].eyeX[index < 0 ? 0 : index];
            (void)touched;
        }
    } catch (const AssetStop &stop) {
        if (stop.status != 1)
            abort();
    }
    closeAssetFile();
    releasePath(cameraPaths[6]);
    return 0;
}
