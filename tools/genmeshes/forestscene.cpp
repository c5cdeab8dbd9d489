// LUMIR3D2: a clearing in a pine forest with a giant rose in its middle, a garden fence round it,
// a cabin at the edge; the camera orbits the rose once per loop, swinging close and away again.
// Object order matters: the rose's bloom is the seventh object from the end of the file, the one
// the show draws last in rose.
#include "models.h"
#include "scenecommon.h"

namespace {

const double stemHeight = 170.0, bloomRadius = 95.0;
const double clearingRadius = 640.0;  // the forest starts here, outside the widest orbit

// One orbit per loop, swinging in from 460 to 200 units and back, always above the bloom.
Vec3 forestEye(double s)
{
    double reach = 330.0 + 130.0 * std::cos(s);
    double angle = s + 0.35 * std::sin(s);
    return {reach * std::cos(angle), reach * std::sin(angle), 315.0 + 55.0 * std::cos(2 * s + 0.5)};
}

std::vector<CameraFrame> makeForestTrack()
{
    std::vector<CameraFrame> track;
    for (int i = 0; i < trackFrames; ++i) {
        double s = 2.0 * M_PI * i / trackFrames;
        // The gaze drifts around the bloom so that the forest behind it sweeps past too.
        Vec3 target{25.0 * std::sin(3 * s), 25.0 * std::cos(2 * s), stemHeight + 10.0 + 25.0 * std::sin(2 * s)};
        track.push_back({forestEye(s), target, 0.0});
    }
    return track;
}

// Eight groves of nine pines in a ring round the clearing, 640 to 1250 units out.
void addForestRing(Scene &scene, Random &random)
{
    const int groves = 8;
    for (int g = 0; g < groves; ++g) {
        AscMesh grove{numbered("Pines", g + 1), "PINE", false, {}, {}};
        double middle = 2 * M_PI * (g + 0.5) / groves;
        for (int p = 0; p < 9; ++p) {
            double angle = middle + randomBetween(random, -0.38, 0.38);
            double r = randomBetween(random, clearingRadius, 1250);
            PineStyle style;
            style.height = randomBetween(random, 170, 330);
            style.radius = style.height * randomBetween(random, 0.26, 0.33);
            style.segments = 8;
            style.curvedTiers = false;
            style.trunkRadius = style.height * 0.045;
            style.seed = uint32_t(100 + g * 16 + p);
            Placement place{pointOnCircle(r, angle), angle, 1.0};
            addPineFoliage(grove, style, place);
            addPineTrunk(grove, style, place);
            scene.keepOuts.push_back({place.origin.x, place.origin.y, style.radius * 1.15, style.height});
        }
        scene.meshes.push_back(grove);
    }
}

// Nine boulders in the clearing, low enough to fly over.
void addClearingBoulders(Scene &scene, Random &random)
{
    AscMesh rocks{"Boulders", "GRANITE", false, {}, {}};
    for (int k = 0; k < 9; ++k) {
        double angle = randomBetween(random, 0, 2 * M_PI), r = randomBetween(random, 220, 560);
        double radius = randomBetween(random, 18, 40);
        Vec3 at = pointOnCircle(r, angle);
        addRock(rocks, radius, radius * 0.9, random, {at, 0.0, 1.0});
        scene.keepOuts.push_back({at.x, at.y, radius * 1.2, radius * 0.9});
    }
    scene.meshes.push_back(rocks);
}

// A log cabin at the clearing's edge with its gable towards the rose: walls, then roof and chimney.
void addCabin(Scene &scene)
{
    Placement cabin{{560.0, -420.0, 0.0}, std::atan2(420.0, -560.0), 1.0};
    AscMesh walls{"CabinWalls", "TIMBER", false, {}, {}};
    addBox(walls, {-60, -45, -2}, {60, 45, 70}, cabin, 0);
    mapBoxFaces(walls, 120.0);
    scene.meshes.push_back(walls);
    AscMesh roof{"CabinRoof", "TIMBER", false, {}, {}};
    addGableRoof(roof, -72, 72, 58, 62, 118, cabin, 0);
    addBox(roof, {20, -25, 80}, {38, -10, 132}, cabin, 0);
    mapBoxFaces(roof, 120.0);
    scene.meshes.push_back(roof);
    scene.keepOuts.push_back({cabin.origin.x, cabin.origin.y, 95.0, 132.0});
}

// The rose: bloom (the singled-out object), then stem, then leaves and sepals.
void addRose(Scene &scene)
{
    AscMesh bloom{"RoseBloom", "ROSE PETAL", false, {}, {}};
    addRoseBloom(bloom, {0.0, 0.0, stemHeight + bloomRadius * 0.25}, bloomRadius);
    scene.meshes.push_back(bloom);
    AscMesh stem{"RoseStem", "ROSE STEM", false, {}, {}};
    addRoseStem(stem, {0.0, 0.0, 0.0}, stemHeight);
    scene.meshes.push_back(stem);
    AscMesh leaves{"RoseLeaves", "ROSE LEAF", false, {}, {}};
    addRoseLeaves(leaves, {0.0, 0.0, 0.0}, stemHeight, bloomRadius);
    scene.meshes.push_back(leaves);
    scene.keepOuts.push_back({0.0, 0.0, bloomRadius * 1.3, stemHeight + bloomRadius * 0.9});
}

// A low garden fence 270 across round the rose: 18 posts, then two rails in every gap but the gate.
void addGardenFence(Scene &scene)
{
    AscMesh posts{"FencePosts", "TIMBER", false, {}, {}};
    AscMesh rails{"FenceRails", "TIMBER", false, {}, {}};
    const int postCount = 18;
    const double fence = 135.0, halfGap = M_PI / postCount;
    for (int k = 0; k < postCount; ++k) {
        double angle = 2 * M_PI * k / postCount;
        addBox(posts, {-3.5, -3.5, -2}, {3.5, 3.5, 38}, {pointOnCircle(fence, angle), angle, 1.0}, 0);
        if (k == 0)
            continue;  // the gate
        double half = fence * std::sin(halfGap);
        Placement rail{pointOnCircle(fence * std::cos(halfGap), angle - halfGap), angle - halfGap + M_PI / 2, 1.0};
        addBox(rails, {-half, -1.5, 14}, {half, 1.5, 18}, rail, 0);
        addBox(rails, {-half, -1.5, 28}, {half, 1.5, 32}, rail, 0);
    }
    scene.meshes.push_back(posts);
    scene.meshes.push_back(rails);
    scene.keepOuts.push_back({0.0, 0.0, fence + 5.0, 38.0});
}

// A woodpile by the cabin and a cairn across the clearing.
void addWoodpileAndCairn(Scene &scene, Random &random)
{
    AscMesh woodpile{"Woodpile", "TIMBER", false, {}, {}};
    for (int k = 0; k < 4; ++k)
        addBox(woodpile, {-40, -8, 10.0 * k}, {40, 8, 10.0 * k + 10}, {{470.0, -520.0 + 18 * k, 0.0}, 0.9, 1.0}, 0);
    scene.meshes.push_back(woodpile);
    scene.keepOuts.push_back({470.0, -490.0, 80.0, 40.0});
    AscMesh cairn{"Cairn", "GRANITE", false, {}, {}};
    for (int k = 0; k < 4; ++k)
        addRock(cairn, 26.0 - 5 * k, 16.0, random, {{-380.0, 330.0, 14.0 * k}, 0.5 * k, 1.0});
    scene.meshes.push_back(cairn);
    scene.keepOuts.push_back({-380.0, 330.0, 40.0, 72.0});
}

} // namespace

Scene buildForestScene()
{
    Scene scene;
    scene.track = makeForestTrack();
    Random random{7719u};
    addForestRing(scene, random);
    addClearingBoulders(scene, random);
    addCabin(scene);
    // From here on six objects follow the bloom.
    addRose(scene);
    addGardenFence(scene);
    addWoodpileAndCairn(scene, random);
    return scene;
}
