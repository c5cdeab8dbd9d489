#include "scenes.h"

#include "models.h"

#include <cmath>
#include <cstdio>

namespace {

const int trackFrames = 1100;  // one loop per 30 s, as the show samples the tracks

double horizontalDistance(double ax, double ay, double bx, double by)
{
    return std::hypot(ax - bx, ay - by);
}

// --- The credits landscape ---------------------------------------------------------------

struct Hill {
    double x, y, radius, height;
};

Vec3 creditsEye(double s)
{
    // A wide, leaning loop over the valley, dipping lower on its long sides.
    return {1150.0 * std::cos(s) + 220.0 * std::cos(2 * s), 850.0 * std::sin(s) - 160.0 * std::sin(2 * s),
            175.0 + 55.0 * std::sin(3 * s + 0.6)};
}

double terrainHeight(const std::vector<Hill> &hills, double x, double y)
{
    double top = 0.0;
    for (const Hill &h : hills)
        top = std::fmax(top, hillHeightAt(h.radius, h.height, horizontalDistance(x, y, h.x, h.y)));
    return top;
}

std::vector<CameraFrame> makeCreditsTrack()
{
    std::vector<CameraFrame> track;
    for (int i = 0; i < trackFrames; ++i) {
        double s = 2.0 * M_PI * i / trackFrames;
        Vec3 eye = creditsEye(s);
        Vec3 ahead = creditsEye(s + 0.32);
        // Look ahead along the loop and down towards the ground the flight is heading for.
        Vec3 target{ahead.x, ahead.y, 35.0};
        track.push_back({eye, target, 0.0});
    }
    return track;
}

// Clear of the track: every eye is far enough aside or high enough above.
bool isClearOfTrack(const std::vector<CameraFrame> &track, double x, double y, double radius, double top,
                    double margin)
{
    for (const CameraFrame &f : track)
        if (horizontalDistance(f.eye.x, f.eye.y, x, y) < radius + margin && f.eye.z < top + margin)
            return false;
    return true;
}

bool isClearOfHills(const std::vector<CameraFrame> &track, const std::vector<Hill> &hills, double margin)
{
    // Only the hills count here: over open ground the flight keeps its own height.
    for (const CameraFrame &f : track) {
        double ground = terrainHeight(hills, f.eye.x, f.eye.y);
        if (ground > 0.0 && f.eye.z - ground < margin)
            return false;
    }
    return true;
}

std::string numbered(const char *stem, int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d", stem, n);
    return name;
}

} // namespace

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

Scene buildCreditsScene()
{
    Scene scene;
    scene.track = makeCreditsTrack();
    Random random{20240611u};

    // Hills first: everything else stands on them.
    std::vector<Hill> hills;
    AscMesh hillMesh;
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

    // Pine groves, many of them close beside the flight so that they sweep past.
    int groves = 0;
    for (int attempt = 0; attempt < 4000 && groves < 15; ++attempt) {
        double x, y;
        if (attempt % 2 == 0) {
            const CameraFrame &f = scene.track[size_t(randomBetween(random, 0, trackFrames))];
            double side = randomBetween(random, 0, 2 * M_PI);
            double reach = randomBetween(random, 230, 520);
            x = f.eye.x + reach * std::cos(side);
            y = f.eye.y + reach * std::sin(side);
        } else {
            x = randomBetween(random, -1900, 1900);
            y = randomBetween(random, -1600, 1600);
        }
        double spread = randomBetween(random, 80, 150);
        double tallest = 260.0;
        // The grove's highest ground: pines on a slope stand higher than its centre.
        double ground = terrainHeight(hills, x, y);
        for (int k = 0; k < 8; ++k)
            ground = std::fmax(ground, terrainHeight(hills, x + spread * std::cos(k * M_PI / 4),
                                                     y + spread * std::sin(k * M_PI / 4)));
        if (!isClearOfTrack(scene.track, x, y, spread + 90.0, ground + tallest, 50.0))
            continue;
        ++groves;
        AscMesh grove{numbered("Grove", groves), "PINE", false, {}, {}};
        int pines = 4 + int(randomBetween(random, 0, 5));
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
            style.seed = uint32_t(groves * 16 + p);
            Placement place{{px, py, terrainHeight(hills, px, py) - 8.0}, randomBetween(random, 0, 6.3), 1.0};
            addPineFoliage(grove, style, place);
            addPineTrunk(grove, style, place);
        }
        scene.keepOuts.push_back({x, y, spread + 90.0, ground + tallest});
        scene.meshes.push_back(grove);
    }

    // Boulders strewn in twos and threes.
    AscMesh rocks{"Boulders", "GRANITE", false, {}, {}};
    for (int placed = 0, attempt = 0; attempt < 800 && placed < 22; ++attempt) {
        double x = randomBetween(random, -1800, 1800), y = randomBetween(random, -1500, 1500);
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

    // A stone circle on open ground beside the loop, with a tall monolith in its middle.
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
                             {{x + 150 * std::cos(angle), y + 150 * std::sin(angle), 0.0}, angle, 1.0});
        }
        scene.meshes.push_back(circle);
        AscMesh monolith{"Monolith", "GRANITE", false, {}, {}};
        addStandingStone(monolith, 55.0, 220.0, random, {{x, y, 0.0}, 0.4, 1.0});
        scene.meshes.push_back(monolith);
        scene.keepOuts.push_back({x, y, 190.0, 220.0});
        break;
    }

    for (const Hill &h : hills)
        scene.mounds.push_back({h.x, h.y, h.radius, h.height});
    return scene;
}

Vec3 forestEye(double s)
{
    // One orbit of the rose per loop, swinging in from 480 to 180 units and back, rising and dipping.
    double reach = 330.0 + 130.0 * std::cos(s);
    double angle = s + 0.35 * std::sin(s);
    return {reach * std::cos(angle), reach * std::sin(angle), 315.0 + 55.0 * std::cos(2 * s + 0.5)};
}

Scene buildForestScene()
{
    Scene scene;
    const double stemHeight = 170.0, bloomRadius = 95.0;
    for (int i = 0; i < trackFrames; ++i) {
        double s = 2.0 * M_PI * i / trackFrames;
        // The gaze drifts around the bloom so that the forest behind it sweeps past too.
        Vec3 target{25.0 * std::sin(3 * s), 25.0 * std::cos(2 * s), stemHeight + 10.0 + 25.0 * std::sin(2 * s)};
        scene.track.push_back({forestEye(s), target, 0.0});
    }
    Random random{7719u};

    // A ring of pine groves around the clearing, outside the orbit.
    const int groves = 8;
    for (int g = 0; g < groves; ++g) {
        AscMesh grove{numbered("Pines", g + 1), "PINE", false, {}, {}};
        double middle = 2 * M_PI * (g + 0.5) / groves;
        int pines = 9;
        for (int p = 0; p < pines; ++p) {
            double angle = middle + randomBetween(random, -0.38, 0.38);
            double r = randomBetween(random, 640, 1250);
            PineStyle style;
            style.height = randomBetween(random, 170, 330);
            style.radius = style.height * randomBetween(random, 0.26, 0.33);
            style.segments = 8;
            style.curvedTiers = false;
            style.trunkRadius = style.height * 0.045;
            style.seed = uint32_t(100 + g * 16 + p);
            addPineFoliage(grove, style, {{r * std::cos(angle), r * std::sin(angle), 0.0}, angle, 1.0});
            addPineTrunk(grove, style, {{r * std::cos(angle), r * std::sin(angle), 0.0}, angle, 1.0});
            scene.keepOuts.push_back({r * std::cos(angle), r * std::sin(angle), style.radius * 1.15, style.height});
        }
        scene.meshes.push_back(grove);
    }

    // Boulders in the clearing, low enough to pass over.
    AscMesh rocks{"Boulders", "GRANITE", false, {}, {}};
    for (int k = 0; k < 9; ++k) {
        double angle = randomBetween(random, 0, 2 * M_PI), r = randomBetween(random, 220, 560);
        double radius = randomBetween(random, 18, 40);
        addRock(rocks, radius, radius * 0.9, random, {{r * std::cos(angle), r * std::sin(angle), 0.0}, 0.0, 1.0});
    }
    scene.meshes.push_back(rocks);

    // The cabin at the clearing's edge, its gable facing the rose.
    Placement cabin{{560.0, -420.0, 0.0}, std::atan2(420.0, -560.0), 1.0};
    AscMesh walls{"CabinWalls", "TIMBER", false, {}, {}};
    addBox(walls, {-60, -45, -2}, {60, 45, 70}, cabin, 0);
    mapBoxFaces(walls, 120.0);
    scene.meshes.push_back(walls);
    AscMesh roof{"CabinRoof", "TIMBER", false, {}, {}};
    addGableRoof(roof, -72, 72, 58, 62, 118, cabin, 0);
    addBox(roof, {20, -25, 80}, {38, -10, 132}, cabin, 0);  // chimney
    mapBoxFaces(roof, 120.0);
    scene.meshes.push_back(roof);

    // The rose in the middle of the clearing: its bloom is the mesh singled out in rose.
    AscMesh bloom{"RoseBloom", "ROSE PETAL", false, {}, {}};
    addRoseBloom(bloom, {0.0, 0.0, stemHeight + bloomRadius * 0.25}, bloomRadius);
    scene.meshes.push_back(bloom);
    AscMesh stem{"RoseStem", "ROSE STEM", false, {}, {}};
    addRoseStem(stem, {0.0, 0.0, 0.0}, stemHeight);
    scene.meshes.push_back(stem);
    AscMesh leaves{"RoseLeaves", "ROSE LEAF", false, {}, {}};
    addRoseLeaves(leaves, {0.0, 0.0, 0.0}, stemHeight, bloomRadius);
    scene.meshes.push_back(leaves);

    // A low garden fence around the rose: posts, then the two rails between them.
    AscMesh posts{"FencePosts", "TIMBER", false, {}, {}};
    AscMesh rails{"FenceRails", "TIMBER", false, {}, {}};
    const int postCount = 18;
    const double fence = 135.0;
    for (int k = 0; k < postCount; ++k) {
        double angle = 2 * M_PI * k / postCount;
        addBox(posts, {-3.5, -3.5, -2}, {3.5, 3.5, 38}, {{fence * std::cos(angle), fence * std::sin(angle), 0}, angle, 1.0}, 0);
        if (k == 0)
            continue;  // the gate
        double middle = angle - M_PI / postCount;
        double half = fence * std::sin(M_PI / postCount);
        Placement rail{{fence * std::cos(middle) * std::cos(M_PI / postCount), fence * std::sin(middle) * std::cos(M_PI / postCount), 0},
                       middle + M_PI / 2, 1.0};
        addBox(rails, {-half, -1.5, 14}, {half, 1.5, 18}, rail, 0);
        addBox(rails, {-half, -1.5, 28}, {half, 1.5, 32}, rail, 0);
    }
    scene.meshes.push_back(posts);
    scene.meshes.push_back(rails);

    // A woodpile and a chopping block by the cabin, and a cairn across the clearing.
    AscMesh woodpile{"Woodpile", "TIMBER", false, {}, {}};
    for (int k = 0; k < 4; ++k)
        addBox(woodpile, {-40, -8 + 0.0 * k, 10.0 * k}, {40, 8, 10.0 * k + 10}, {{470.0, -520.0 + 18 * k, 0.0}, 0.9, 1.0}, 0);
    scene.meshes.push_back(woodpile);
    AscMesh cairn{"Cairn", "GRANITE", false, {}, {}};
    for (int k = 0; k < 4; ++k)
        addRock(cairn, 26.0 - 5 * k, 16.0, random, {{-380.0, 330.0, 14.0 * k}, 0.5 * k, 1.0});
    scene.meshes.push_back(cairn);

    scene.keepOuts.push_back({0.0, 0.0, bloomRadius * 1.3, stemHeight + bloomRadius * 0.9});  // the rose
    scene.keepOuts.push_back({560.0, -420.0, 95.0, 132.0});                                   // cabin
    return scene;
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
