// The show's models, each built from lathes and boxes into an AscMesh.
#pragma once

#include "shapes.h"

struct PineStyle {
    double height = 190.0;
    double radius = 60.0;      // of the lowest branch tier
    int tiers = 3;
    int segments = 10;
    bool curvedTiers = true;   // a middle ring per tier gives the concave pine flank
    double trunkRadius = 9.0;
    uint32_t seed = 1;         // varies the branch clumps
};

// Branch tiers: stacked cones with clumped, drooping rims and a shallow underside.
void addPineFoliage(AscMesh &mesh, const PineStyle &style, const Placement &place);
// A tapering trunk from the ground into the lowest tier, open at the foot (it stands in the ground).
void addPineTrunk(AscMesh &mesh, const PineStyle &style, const Placement &place);

// A rounded hill of radius and height whose rim sinks just under the ground.
void addHill(AscMesh &mesh, double radius, double height, Random &random, const Placement &place);
// Height of such a hill at distance r from its centre, at its highest rim bulge.
double hillHeightAt(double radius, double height, double r);

// A low-poly boulder about radius wide and height tall.
void addRock(AscMesh &mesh, double radius, double height, Random &random, const Placement &place);

// A rough standing stone: a four-sided pillar, slightly tapered and leaning.
void addStandingStone(AscMesh &mesh, double width, double height, Random &random, const Placement &place);

// The rose: bloom (nested petal cups around a bud), stem, and its leaves and sepals.
void addRoseBloom(AscMesh &mesh, Vec3 centre, double radius);
void addRoseStem(AscMesh &mesh, Vec3 foot, double height);
void addRoseLeaves(AscMesh &mesh, Vec3 foot, double stemHeight, double bloomRadius);
