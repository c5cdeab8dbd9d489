// Building blocks for the show's low-poly models. Every part is a closed (or ground-sunk) shell
// whose faces run counter-clockwise seen from outside, so the loader's normals point outwards.
#pragma once
#include "../common/random.h"
#include "ascmesh.h"

#include <cstdint>
#include <functional>
#include <vector>


// One point of a lathe profile: radius from the axis and height.
struct ProfilePoint {
    double r, z;
};

struct LatheShape {
    std::vector<ProfilePoint> profile;  // interior on the left going from first to last point
    int segments = 8;
    double phase = 0.0;                 // angle of the first segment, radians
    bool sharpProfile = false;          // each profile step gets its own rings (hard edges)
    // Optional shaping of every generated point: angle, profile index, point in/out.
    std::function<Vec3(double angle, int profileIndex, Vec3 point)> shape;
};

struct Placement {
    Vec3 origin{0, 0, 0};
    double turn = 0.0;   // about +Z, radians
    double scale = 1.0;
};

Vec3 placePoint(const Placement &place, Vec3 local);

// Appends a surface of revolution about +Z. Profile points on the axis (r = 0) become poles.
void addLathe(AscMesh &mesh, const LatheShape &lathe, const Placement &place, int smoothing);

// Appends an axis-aligned box (before placement) with flat faces.
void addBox(AscMesh &mesh, Vec3 low, Vec3 high, const Placement &place, int smoothing);

// Appends a gable roof: a triangular prism along local x from x0 to x1, eaves at y = ±halfWidth.
void addGableRoof(AscMesh &mesh, double x0, double x1, double halfWidth, double eaveZ, double ridgeZ,
                  const Placement &place, int smoothing);

// Appends every vertex and face of part to mesh.
void appendMesh(AscMesh &mesh, const AscMesh &part);

// Moves every vertex by a random amount up to jitter (a low-poly rock from a smooth lathe).
void jitterVertices(AscMesh &mesh, size_t firstVertex, Random &random, double jitter);

// Texture coordinates as an exporter writes them for a "Mapped" object.
// Planar from above: u, v run 0..1 across a square of the given size centred on (x, y).
void mapFromAbove(AscMesh &mesh, size_t firstVertex, double centreX, double centreY, double size);
// Box mapping: each face projected along its dominant axis (faces must not share vertices).
void mapBoxFaces(AscMesh &mesh, double size);
