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

namespace {

// Closest point of triangle abc to p (Ericson, Real-Time Collision Detection, 5.1.5).
Vec3 closestPointOnTriangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c)
{
    Vec3 ab = b - a, ac = c - a, ap = p - a;
    double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    Vec3 bp = p - b;
    double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    Vec3 cp = p - c;
    double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    double denominator = 1.0 / (va + vb + vc);
    return a + ab * (vb * denominator) + ac * (vc * denominator);
}

// The distance from p to the nearest face of any mesh.
double distanceToMeshes(const std::vector<AscMesh> &meshes, const std::vector<Bounds> &bounds, Vec3 p, double enough)
{
    double nearest = 1e30;
    for (size_t m = 0; m < meshes.size(); ++m) {
        // Whole objects farther than what matters are skipped by their bounding box.
        const Bounds &box = bounds[m];
        double dx = std::fmax(0.0, std::fmax(box.low.x - p.x, p.x - box.high.x));
        double dy = std::fmax(0.0, std::fmax(box.low.y - p.y, p.y - box.high.y));
        double dz = std::fmax(0.0, std::fmax(box.low.z - p.z, p.z - box.high.z));
        if (std::sqrt(dx * dx + dy * dy + dz * dz) > enough)
            continue;
        for (const AscFace &f : meshes[m].faces) {
            const std::vector<AscVertex> &v = meshes[m].vertices;
            Vec3 q = closestPointOnTriangle(p, v[f.a].position, v[f.b].position, v[f.c].position) - p;
            nearest = std::fmin(nearest, std::sqrt(dot(q, q)));
        }
    }
    return nearest;
}

// The show runs from a track's last frame straight on to its first, so the seam must be as smooth
// as the rest: between two steps of the eye or the target (the one from the last frame back to
// the first included) the step changes by at most a tenth of the average step.
const char *findLoopProblem(const std::vector<CameraFrame> &track)
{
    const size_t n = track.size();
    for (int which = 0; which < 2; ++which) {
        auto at = [&](size_t i) { return which == 0 ? track[i % n].eye : track[i % n].target; };
        double total = 0.0;
        for (size_t i = 0; i < n; ++i)
            total += std::sqrt(dot(at(i + 1) - at(i), at(i + 1) - at(i)));
        for (size_t i = 0; i < n; ++i) {
            Vec3 change = (at(i + 2) - at(i + 1)) - (at(i + 1) - at(i));
            if (std::sqrt(dot(change, change)) > 0.1 * total / n)
                return which == 0 ? "eye does not move on evenly (the loop's seam included)"
                                  : "target does not move on evenly (the loop's seam included)";
        }
    }
    return nullptr;
}

} // namespace

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
    if (scene.track.size() < 3) {
        std::fprintf(stderr, "genmeshes: %s: the camera track needs at least three frames\n", name.c_str());
        return false;
    }
    if (const char *problem = findLoopProblem(scene.track)) {
        std::fprintf(stderr, "genmeshes: %s: camera track's %s\n", name.c_str(), problem);
        return false;
    }
    std::vector<Bounds> bounds;
    for (const AscMesh &mesh : scene.meshes)
        bounds.push_back(meshBounds(mesh));
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
        // The solids were placed round the track with margins; this measures the real faces.
        if (!problem && distanceToMeshes(scene.meshes, bounds, f.eye, minimumClearance) < minimumClearance)
            problem = "comes closer to a face than the clearance";
        if (problem) {
            std::fprintf(stderr, "genmeshes: %s: camera frame %zu %s\n", name.c_str(), i, problem);
            return false;
        }
    }
    return true;
}
