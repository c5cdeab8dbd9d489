#include "scenes.h"

#include "models.h"
#include "scenecommon.h"

#include <cmath>
#include <cstdio>

std::vector<AscMesh> buildTreeFile()
{
    // 190 tall, foliage 60 in radius: reads from 200 units and from far above. It must stay below
    // 200: the second camera move of the tree field passes a few units beside one tree at that height.
    PineStyle style;
    AscMesh foliage{"Foliage", "PINE NEEDLES", false, {}, {}};
    addPineFoliage(foliage, style, {});
    AscMesh trunk{"Trunk", "PINE BARK", false, {}, {}};
    addPineTrunk(trunk, style, {});
    return {foliage, trunk};
}

bool checkMeshes(const std::string &name, const std::vector<AscMesh> &meshes)
{
    for (const AscMesh &mesh : meshes) {
        if (signedVolume(mesh) <= 0.0) {
            std::fprintf(stderr, "genmeshes: %s: mesh \"%s\" faces inwards\n", name.c_str(), mesh.name.c_str());
            return false;
        }
    }
    return true;
}

bool checkScene(const std::string &name, const Scene &scene, double minimumClearance)
{
    if (!checkMeshes(name, scene.meshes))
        return false;
    for (size_t i = 0; i < scene.track.size(); ++i) {
        const CameraFrame &f = scene.track[i];
        double reach = std::sqrt(dot(f.target - f.eye, f.target - f.eye));
        const char *problem = nullptr;
        if (reach < 30.0 || reach > 600.0)
            problem = "is not 30 to 600 units from its target";
        else if (f.eye.z < minimumClearance)
            problem = "is too close to the ground";
        for (const KeepOut &k : scene.keepOuts)
            if (!problem && horizontalDistance(f.eye.x, f.eye.y, k.x, k.y) < k.radius + 8.0 &&
                f.eye.z < k.top + minimumClearance)
                problem = "comes too close to a solid";
        for (const Mound &m : scene.mounds)
            if (!problem && f.eye.z - hillHeightAt(m.radius, m.height, horizontalDistance(f.eye.x, f.eye.y, m.x, m.y)) <
                                minimumClearance)
                problem = "comes too close to a hill";
        if (problem) {
            std::fprintf(stderr, "genmeshes: %s: camera frame %zu %s\n", name.c_str(), i, problem);
            return false;
        }
    }
    return true;
}
