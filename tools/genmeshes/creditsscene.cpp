// CREDITS1: a landscape about 3600 x 3000 units, flown over in a wide loop under the credits.
// Hills, pine groves beside the flight, boulders and a stone circle with a monolith.
#include "models.h"
#include "scenecommon.h"

#include <algorithm>

namespace {

struct Hill {
    double x, y, radius, height;
};

// A wide, leaning loop over the valley, dipping lower on its long sides.
Vec3 creditsEye(double s)
{
    return {1150.0 * std::cos(s) + 220.0 * std::cos(2 * s), 850.0 * std::sin(s) - 160.0 * std::sin(2 * s),
            175.0 + 55.0 * std::sin(3 * s + 0.6)};
}

std::vector<CameraFrame> makeCreditsTrack()
{
    std::vector<CameraFrame> track;
    for (int i = 0; i < trackFrames; ++i) {
        double s = 2.0 * M_PI * i / trackFrames;
        Vec3 ahead = creditsEye(s + 0.32);
        // Look ahead along the loop and down towards the ground the flight is heading for.
        track.push_back({creditsEye(s), {ahead.x, ahead.y, 35.0}, 0.0});
    }
    return track;
}

double terrainHeight(const std::vector<Hill> &hills, double x, double y)
{
    double top = 0.0;
    for (const Hill &h : hills)
        top = std::fmax(top, hillHeightAt(h.radius, h.height, horizontalDistance(x, y, h.x, h.y)));
    return top;
}

// Only the hills count here: over open ground the flight keeps its own height.
bool isClearOfHills(const std::vector<CameraFrame> &track, const std::vector<Hill> &hills, double margin)
{
    for (const CameraFrame &f : track) {
        double ground = terrainHeight(hills, f.eye.x, f.eye.y);
        if (ground > 0.0 && f.eye.z - ground < margin)
            return false;
    }
    return true;
}

// Up to nine hills that keep apart and leave the flight well above them.
std::vector<Hill> addHills(Scene &scene, Random &random)
{
    std::vector<Hill> hills;
    for (int attempt = 0; attempt < 400 && hills.size() < 9; ++attempt) {
        Hill h{randomBetween(random, -1800, 1800), randomBetween(random, -1500, 1500),
               randomBetween(random, 220, 430), randomBetween(random, 50, 150)};
        bool apart = true;
        for (const Hill &other : hills)
            if (horizontalDistance(h.x, h.y, other.x, other.y) < 0.8 * (h.radius + other.radius))
                apart = false;
        std::vector<Hill> with = hills;
        with.push_back(h);
        if (!apart || !isClearOfHills(scene.track, with, 130.0))
            continue;
        hills.push_back(h);
        AscMesh mesh{numbered("Hill", int(hills.size())), "MEADOW", false, {}, {}};
        addHill(mesh, h.radius, h.height, random, {{h.x, h.y, 0.0}, 0.0, 1.0});
        mapFromAbove(mesh, 0, h.x, h.y, 2.4 * h.radius);
        scene.meshes.push_back(mesh);
    }
    return hills;
}

// A point beside the flight at frame: to its left (side 1) or right (side -1), reach units off.
Vec3 besideTrack(const std::vector<CameraFrame> &track, size_t frame, double side, double reach)
{
    const CameraFrame &here = track[frame % track.size()], &next = track[(frame + 1) % track.size()];
    double dx = next.eye.x - here.eye.x, dy = next.eye.y - here.eye.y;
    double length = std::hypot(dx, dy);
    return {here.eye.x - dy / length * side * reach, here.eye.y + dx / length * side * reach, 0.0};
}

// Eighteen groves of four to seven pines, each one object: twelve spaced along the flight,
// left and right by turns so that they sweep past on both sides, six anywhere.
void addGroves(Scene &scene, const std::vector<Hill> &hills, Random &random)
{
    const int besideFlight = 12, groves = 18;
    int placed = 0;
    for (int attempt = 0; attempt < 4000 && placed < groves; ++attempt) {
        double x, y;
        if (placed < besideFlight) {
            size_t frame = size_t(placed * trackFrames / besideFlight + randomBetween(random, -30, 30) + trackFrames);
            Vec3 at = besideTrack(scene.track, frame, placed % 2 ? 1.0 : -1.0, randomBetween(random, 240, 480));
            x = at.x;
            y = at.y;
        } else {
            x = randomBetween(random, -1900, 1900);
            y = randomBetween(random, -1600, 1600);
        }
        double spread = randomBetween(random, 80, 140);
        const double tallest = 260.0;
        // The grove's highest ground: pines on a slope stand higher than its centre.
        double ground = terrainHeight(hills, x, y);
        for (int k = 0; k < 8; ++k)
            ground = std::fmax(ground, terrainHeight(hills, x + spread * std::cos(k * M_PI / 4),
                                                     y + spread * std::sin(k * M_PI / 4)));
        if (!isClearOfTrack(scene.track, x, y, spread + 90.0, ground + tallest, 50.0))
            continue;
        ++placed;
        AscMesh grove{numbered("Grove", placed), "PINE", false, {}, {}};
        int pines = 4 + int(randomBetween(random, 0, 4));
        for (int p = 0; p < pines; ++p) {
            double angle = randomBetween(random, 0, 2 * M_PI);
            double r = p == 0 ? 0.0 : randomBetween(random, 0.4, 1.0) * spread;
            double px = x + r * std::cos(angle), py = y + r * std::sin(angle);
            PineStyle style;
            style.height = randomBetween(random, 130, tallest);
            style.radius = style.height * randomBetween(random, 0.27, 0.34);
            style.segments = 6;
            style.curvedTiers = false;
            style.trunkRadius = style.height * 0.045;
            style.seed = uint32_t(placed * 16 + p);
            // Sunk a little so that no trunk floats above a slope.
            Placement place{{px, py, terrainHeight(hills, px, py) - 8.0}, randomBetween(random, 0, 6.3), 1.0};
            addPineFoliage(grove, style, place);
            addPineTrunk(grove, style, place);
        }
        scene.keepOuts.push_back({x, y, spread + 90.0, ground + tallest});
        scene.meshes.push_back(grove);
    }
}

// Twenty-four boulders, every other one close beside the flight, all in one object.
void addBoulders(Scene &scene, const std::vector<Hill> &hills, Random &random)
{
    AscMesh rocks{"Boulders", "GRANITE", false, {}, {}};
    for (int placed = 0, attempt = 0; attempt < 2000 && placed < 24; ++attempt) {
        double x = randomBetween(random, -1800, 1800), y = randomBetween(random, -1500, 1500);
        if (placed % 2 == 0) {
            Vec3 at = besideTrack(scene.track, size_t(randomBetween(random, 0, trackFrames)),
                                  nextRandom(random) < 0.5 ? 1.0 : -1.0, randomBetween(random, 120, 300));
            x = at.x;
            y = at.y;
        }
        double radius = randomBetween(random, 30, 90);
        double height = radius * randomBetween(random, 0.7, 1.3);
        double ground = terrainHeight(hills, x, y);
        if (!isClearOfTrack(scene.track, x, y, radius, ground + height, 50.0))
            continue;
        ++placed;
        addRock(rocks, radius, height, random, {{x, y, ground - 3.0}, 0.0, 1.0});
        scene.keepOuts.push_back({x, y, radius * 1.2, ground + height});
    }
    scene.meshes.push_back(rocks);
}

// Nine standing stones in a ring 300 across on open ground beside the loop, a monolith inside.
void addStoneCircle(Scene &scene, const std::vector<Hill> &hills, Random &random)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const CameraFrame &f = scene.track[size_t(randomBetween(random, 0, trackFrames))];
        double side = randomBetween(random, 0, 2 * M_PI);
        double x = f.eye.x + 330.0 * std::cos(side), y = f.eye.y + 330.0 * std::sin(side);
        if (terrainHeight(hills, x, y) > 0.0 || !isClearOfTrack(scene.track, x, y, 190.0, 220.0, 40.0))
            continue;
        AscMesh circle{"StoneCircle", "GRANITE", false, {}, {}};
        const int stones = 9;
        for (int k = 0; k < stones; ++k) {
            double angle = 2 * M_PI * k / stones;
            addStandingStone(circle, 34.0, randomBetween(random, 80, 120), random,
                             {Vec3{x, y, 0.0} + pointOnCircle(150, angle), angle, 1.0});
        }
        scene.meshes.push_back(circle);
        AscMesh monolith{"Monolith", "GRANITE", false, {}, {}};
        addStandingStone(monolith, 55.0, 220.0, random, {{x, y, 0.0}, 0.4, 1.0});
        scene.meshes.push_back(monolith);
        scene.keepOuts.push_back({x, y, 190.0, 220.0});
        return;
    }
}

} // namespace

Scene buildCreditsScene()
{
    Scene scene;
    scene.track = makeCreditsTrack();
    Random random{20240611u};
    // Hills first: everything else stands on them.
    std::vector<Hill> hills = addHills(scene, random);
    addGroves(scene, hills, random);
    addBoulders(scene, hills, random);
    addStoneCircle(scene, hills, random);
    for (const Hill &h : hills)
        scene.mounds.push_back({h.x, h.y, h.radius, h.height});
    // The part opens on groves and hills rather than on open meadow: start the loop 2.5 s on.
    std::rotate(scene.track.begin(), scene.track.begin() + 92, scene.track.end());
    return scene;
}
