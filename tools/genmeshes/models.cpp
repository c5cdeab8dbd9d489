#include "models.h"

#include <cmath>

namespace {

// A point rotated about the y axis, used to lay leaves and sepals out from the stem.
Vec3 tiltAboutY(Vec3 p, double angle)
{
    double c = std::cos(angle), s = std::sin(angle);
    return {p.x * c + p.z * s, p.y, -p.x * s + p.z * c};
}

} // namespace

void addPineFoliage(AscMesh &mesh, const PineStyle &style, const Placement &place)
{
    Random random{style.seed * 2654435761u + 12345u};
    double h = style.height;
    for (int i = 0; i < style.tiers; ++i) {
        double f = style.tiers > 1 ? double(i) / (style.tiers - 1) : 0.0;
        double base = h * (0.18 + 0.43 * f);
        double apex = i + 1 == style.tiers ? h : base + 0.42 * h;
        double radius = style.radius * (1.0 - 0.55 * f);
        double clumps = style.segments / 2;
        double clumpPhase = randomBetween(random, 0.0, 2.0 * M_PI);
        LatheShape tier;
        tier.segments = style.segments;
        tier.phase = randomBetween(random, 0.0, 2.0 * M_PI);
        tier.sharpProfile = true;
        // Underside centre, rim, (flank), apex.
        tier.profile.push_back({0.0, base + 0.07 * h});
        tier.profile.push_back({radius, base});
        if (style.curvedTiers)
            tier.profile.push_back({radius * 0.42, base + (apex - base) * 0.55});
        tier.profile.push_back({0.0, apex});
        int rimIndex = 1;
        tier.shape = [=](double angle, int index, Vec3 p) {
            if (index != rimIndex)
                return p;
            // Branch clumps stick out and droop; the gaps between them ride higher.
            double wave = std::cos(clumps * angle + clumpPhase);
            double grow = 1.0 + 0.13 * wave;
            return Vec3{p.x * grow, p.y * grow, p.z - 0.03 * h * wave};
        };
        addLathe(mesh, tier, place, 1);
    }
}

void addPineTrunk(AscMesh &mesh, const PineStyle &style, const Placement &place)
{
    LatheShape trunk;
    trunk.segments = style.segments > 8 ? 8 : 5;
    trunk.sharpProfile = true;
    double top = style.height * 0.32;
    trunk.profile = {{style.trunkRadius, 0.0}, {style.trunkRadius * 0.65, top}, {0.0, top}};
    addLathe(mesh, trunk, place, 2);
}

double hillHeightAt(double radius, double height, double r)
{
    // The rim bulges by up to 15 %; the profile is a cosine bump.
    double reach = radius * 1.15;
    if (r >= reach)
        return 0.0;
    return height * (0.5 + 0.5 * std::cos(M_PI * r / reach));
}

void addHill(AscMesh &mesh, double radius, double height, Random &random, const Placement &place)
{
    LatheShape hill;
    hill.segments = 14;
    hill.phase = randomBetween(random, 0.0, 1.0);
    const int rings = 5;
    for (int i = 0; i < rings; ++i) {
        double r = radius * (1.0 - double(i) / rings);
        double z = height * (0.5 + 0.5 * std::cos(M_PI * r / radius));
        hill.profile.push_back({r, i == 0 ? -6.0 : z});
    }
    hill.profile.push_back({0.0, height});
    double p1 = randomBetween(random, 0, 2 * M_PI), p2 = randomBetween(random, 0, 2 * M_PI);
    hill.shape = [=](double angle, int, Vec3 p) {
        double bulge = 1.0 + 0.09 * std::cos(2 * angle + p1) + 0.06 * std::cos(3 * angle + p2);
        return Vec3{p.x * bulge, p.y * bulge, p.z};
    };
    addLathe(mesh, hill, place, 4);
}

void addRock(AscMesh &mesh, double radius, double height, Random &random, const Placement &place)
{
    LatheShape rock;
    rock.segments = 7;
    rock.phase = randomBetween(random, 0.0, 1.0);
    rock.profile = {{radius, -4.0}, {radius * 0.95, height * 0.45}, {radius * 0.55, height * 0.9}, {0.0, height}};
    size_t first = mesh.vertices.size();
    addLathe(mesh, rock, place, 8);
    jitterVertices(mesh, first, random, radius * 0.12 * place.scale);
}

void addStandingStone(AscMesh &mesh, double width, double height, Random &random, const Placement &place)
{
    LatheShape stone;
    stone.segments = 4;
    stone.phase = M_PI / 4;
    stone.sharpProfile = true;
    double r = width * 0.7071;
    stone.profile = {{r, -5.0}, {r * 0.8, height * 0.92}, {0.0, height}};
    double lean = randomBetween(random, -0.06, 0.06);
    stone.shape = [=](double, int, Vec3 p) {
        return Vec3{p.x * 1.0 + lean * p.z, p.y * 0.45, p.z};
    };
    size_t first = mesh.vertices.size();
    addLathe(mesh, stone, place, 16);
    jitterVertices(mesh, first, random, width * 0.05);
}

void addRoseBloom(AscMesh &mesh, Vec3 centre, double radius)
{
    Placement place{centre, 0.0, 1.0};
    // Rings of petals, open and flaring outside, closing towards the bud. Each ring is a closed
    // lens (outer and inner skin meeting at the rim) so that both of its sides are front faces;
    // deep notches split the rim into petals, and the petal tips rise and curl outwards.
    struct PetalRing {
        double rim, base, depth, flare;
        int petals;
        double phase;
    };
    const PetalRing rings[] = {
        {1.00, -0.28, 0.34, 0.22, 5, 0.0},
        {0.80, -0.20, 0.46, 0.14, 5, 0.63},
        {0.60, -0.10, 0.56, 0.06, 4, 0.2},
        {0.42, 0.00, 0.60, 0.00, 3, 1.1},
    };
    for (const PetalRing &ring : rings) {
        double rim = radius * ring.rim, base = radius * ring.base, depth = radius * ring.depth;
        double thick = radius * 0.08;
        LatheShape cup;
        cup.segments = 40;
        cup.profile = {
            {0.0, base},                                          // outer skin, from below
            {rim * 0.40, base + depth * 0.10},
            {rim * 0.80, base + depth * 0.50},
            {rim, base + depth},                                  // rim
            {rim * (1.0 + ring.flare), base + depth * (1.0 - ring.flare * 0.8) + thick},  // curled lip
            {rim * 0.92, base + depth + thick * 0.6},             // inner skin, back down
            {rim * 0.74, base + depth * 0.50 + thick},
            {rim * 0.36, base + depth * 0.10 + thick},
            {0.0, base + thick},
        };
        int petals = ring.petals;
        double phase = ring.phase;
        cup.shape = [=](double angle, int index, Vec3 p) {
            // 1 in the middle of a petal, 0 in the notch between two.
            double lobe = std::sqrt(0.5 + 0.5 * std::cos(petals * angle + phase));
            static const double weight[] = {0.0, 0.15, 0.5, 1.0, 1.0, 1.0, 0.5, 0.15, 0.0};
            double w = weight[index];
            double grow = 1.0 + w * (0.22 * lobe - 0.18);
            return Vec3{p.x * grow, p.y * grow, p.z + w * radius * 0.16 * (lobe - 0.6)};
        };
        addLathe(mesh, cup, place, 32);
    }
    // The tight bud in the middle, twisted so it reads as wrapped petals.
    LatheShape bud;
    bud.segments = 15;
    double budR = radius * 0.24;
    double budBase = radius * 0.10;
    bud.profile = {{0.0, budBase}, {budR * 0.9, budBase + radius * 0.12}, {budR, budBase + radius * 0.30},
                   {budR * 0.55, budBase + radius * 0.48}, {0.0, budBase + radius * 0.44}};
    bud.shape = [=](double angle, int, Vec3 p) {
        double grow = 1.0 + 0.16 * std::cos(3 * angle + p.z * 0.09);
        return Vec3{p.x * grow, p.y * grow, p.z};
    };
    addLathe(mesh, bud, place, 64);
}

void addRoseStem(AscMesh &mesh, Vec3 foot, double height)
{
    LatheShape stem;
    stem.segments = 8;
    const int rings = 8;
    for (int i = 0; i <= rings; ++i)
        stem.profile.push_back({i == rings ? 0.0 : 8.0 - 2.0 * i / rings, height * i / rings - (i == 0 ? 4.0 : 0.0)});
    stem.profile.back().r = 0.0;
    stem.shape = [=](double, int, Vec3 p) {
        double bend = 14.0 * std::sin(p.z / height * M_PI);
        return Vec3{p.x + bend, p.y, p.z};
    };
    addLathe(mesh, stem, {foot, 0.0, 1.0}, 1);
}

void addRoseLeaves(AscMesh &mesh, Vec3 foot, double stemHeight, double bloomRadius)
{
    // Leaves: flattened spindles leaning out from the stem, alternating sides.
    const int leafCount = 4;
    for (int i = 0; i < leafCount; ++i) {
        double z = stemHeight * (0.22 + 0.17 * i);
        double length = 70.0 - 8.0 * i;
        double bend = 14.0 * std::sin(z / stemHeight * M_PI);
        LatheShape leaf;
        leaf.segments = 8;
        leaf.profile = {{0.0, 0.0}, {length * 0.16, length * 0.3}, {length * 0.12, length * 0.7}, {0.0, length}};
        leaf.shape = [=](double, int, Vec3 p) {
            Vec3 flat{p.x, p.y * 0.25, p.z};
            return tiltAboutY(flat, 1.15);
        };
        addLathe(mesh, leaf, {foot + Vec3{bend, 0.0, z}, 2.1 * i + 0.4, 1.0}, 2);
    }
    // Sepals under the bloom, pointing out and down.
    const int sepals = 5;
    for (int i = 0; i < sepals; ++i) {
        double length = bloomRadius * 0.75;
        LatheShape sepal;
        sepal.segments = 6;
        sepal.profile = {{0.0, 0.0}, {length * 0.14, length * 0.35}, {0.0, length}};
        sepal.shape = [=](double, int, Vec3 p) {
            Vec3 flat{p.x, p.y * 0.3, p.z};
            return tiltAboutY(flat, 1.95);
        };
        double top = stemHeight - bloomRadius * 0.25;
        addLathe(mesh, sepal, {foot + Vec3{0.0, 0.0, top}, 2.0 * M_PI * i / sepals, 1.0}, 2);
    }
}
