#include "vuefile.h"

#include <cstdio>

bool writeVueFile(const std::string &path, const std::string &sceneName, const std::vector<CameraFrame> &frames)
{
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    std::fprintf(out, "VERSION 201\n");
    std::fprintf(out, "scene \"%s\"\n", sceneName.c_str());
    std::fprintf(out, "frames %zu\n", frames.size());
    std::fprintf(out, "\n");
    for (size_t i = 0; i < frames.size(); ++i) {
        const CameraFrame &f = frames[i];
        std::fprintf(out, "frame %zu\n", i);
        // No line break after the last camera line: the show's loader would read that line twice,
        // and the camera would stand still for a frame where the loop closes.
        std::fprintf(out, "camera  %.4f %.4f %.4f  %.4f %.4f %.4f  %.4f%s", f.eye.x, f.eye.y, f.eye.z, f.target.x,
                     f.target.y, f.target.z, f.roll, i + 1 < frames.size() ? "\n" : "");
    }
    return std::fclose(out) == 0;
}
