// Camera tracks in the layout of 3D Studio's VUE output: four header lines, then per frame a
// "frame" line and a "camera" line (eye, target, roll); the file ends with the last camera line.
#pragma once

#include "ascmesh.h"

#include <string>
#include <vector>

struct CameraFrame {
    Vec3 eye;
    Vec3 target;
    double roll;
};

bool writeVueFile(const std::string &path, const std::string &sceneName, const std::vector<CameraFrame> &frames);
