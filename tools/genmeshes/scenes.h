// The three scene files and their camera tracks.
#pragma once

#include "ascmesh.h"
#include "vuefile.h"

#include <string>
#include <vector>

// Something the camera must stay clear of: a vertical cylinder standing on the ground.
struct KeepOut {
    double x, y, radius, top;
};

// A rounded hill (see addHill): the camera keeps above its surface.
struct Mound {
    double x, y, radius, height;
};

struct Scene {
    std::vector<AscMesh> meshes;
    std::vector<CameraFrame> track;
    std::vector<KeepOut> keepOuts;  // every solid the track was checked against
    std::vector<Mound> mounds;
};

std::vector<AscMesh> buildTreeFile();
Scene buildCreditsScene();
Scene buildForestScene();

// Checks what the show relies on: outward faces, the camera's distance to its target, its height
// and its clearance from every solid. Prints the first problem to stderr and returns false.
bool checkScene(const std::string &name, const Scene &scene, double minimumClearance);
bool checkMeshes(const std::string &name, const std::vector<AscMesh> &meshes);
