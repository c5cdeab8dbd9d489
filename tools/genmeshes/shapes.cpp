#include "shapes.h"

#include <cmath>

Vec3 placePoint(const Placement &place, Vec3 local)
{
    double c = std::cos(place.turn), s = std::sin(place.turn);
    Vec3 turned{local.x * c - local.y * s, local.x * s + local.y * c, local.z};
    return place.origin + turned * place.scale;
}

namespace {

int addVertex(AscMesh &mesh, Vec3 position)
{
    mesh.vertices.push_back({position, 0.0, 0.0});
    return int(mesh.vertices.size()) - 1;
}

void addFace(AscMesh &mesh, int a, int b, int c, int smoothing)
{
    mesh.faces.push_back({a, b, c, smoothing});
}

void addQuad(AscMesh &mesh, int a, int b, int c, int d, int smoothing)
{
    addFace(mesh, a, b, c, smoothing);
    addFace(mesh, a, c, d, smoothing);
}

// One ring of a lathe: a pole (single vertex) or `segments` vertices.
std::vector<int> addRing(AscMesh &mesh, const LatheShape &lathe, const Placement &place, int index)
{
    const ProfilePoint &p = lathe.profile[index];
    std::vector<int> ring;
    if (p.r == 0.0) {
        Vec3 point{0, 0, p.z};
        if (lathe.shape)
            point = lathe.shape(0.0, index, point);
        ring.push_back(addVertex(mesh, placePoint(place, point)));
        return ring;
    }
    for (int j = 0; j < lathe.segments; ++j) {
        double angle = lathe.phase + 2.0 * M_PI * j / lathe.segments;
        Vec3 point{p.r * std::cos(angle), p.r * std::sin(angle), p.z};
        if (lathe.shape)
            point = lathe.shape(angle, index, point);
        ring.push_back(addVertex(mesh, placePoint(place, point)));
    }
    return ring;
}

// Joins a lower ring to the next one; angles grow counter-clockwise seen from above.
void joinRings(AscMesh &mesh, const std::vector<int> &lower, const std::vector<int> &upper, int segments,
               int smoothing)
{
    for (int j = 0; j < segments; ++j) {
        int k = (j + 1) % segments;
        if (lower.size() == 1)
            addFace(mesh, lower[0], upper[k], upper[j], smoothing);
        else if (upper.size() == 1)
            addFace(mesh, lower[j], lower[k], upper[0], smoothing);
        else
            addQuad(mesh, lower[j], lower[k], upper[k], upper[j], smoothing);
    }
}

} // namespace

void addLathe(AscMesh &mesh, const LatheShape &lathe, const Placement &place, int smoothing)
{
    // The ring order follows the profile; a profile running outwards-up on the outside of a shell
    // keeps its interior on the left, which makes (lower j, lower j+1, upper j+1) counter-clockwise.
    int count = int(lathe.profile.size());
    std::vector<int> previous = addRing(mesh, lathe, place, 0);
    for (int i = 1; i < count; ++i) {
        std::vector<int> ring = addRing(mesh, lathe, place, i);
        joinRings(mesh, previous, ring, lathe.segments, smoothing);
        if (lathe.sharpProfile && i + 1 < count)
            previous = addRing(mesh, lathe, place, i);
        else
            previous = ring;
    }
}

void addBox(AscMesh &mesh, Vec3 low, Vec3 high, const Placement &place, int smoothing)
{
    auto corner = [&](int n) {
        return placePoint(place, {n & 4 ? high.x : low.x, n & 2 ? high.y : low.y, n & 1 ? high.z : low.z});
    };
    // Each side lists its corners counter-clockwise seen from outside.
    static const int sides[6][4] = {
        {0, 2, 6, 4}, // bottom (z low), seen from below
        {1, 5, 7, 3}, // top
        {0, 4, 5, 1}, // y low
        {2, 3, 7, 6}, // y high
        {0, 1, 3, 2}, // x low
        {4, 6, 7, 5}, // x high
    };
    for (const auto &side : sides) {
        int a = addVertex(mesh, corner(side[0]));
        int b = addVertex(mesh, corner(side[1]));
        int c = addVertex(mesh, corner(side[2]));
        int d = addVertex(mesh, corner(side[3]));
        addQuad(mesh, a, b, c, d, smoothing);
    }
}

void addGableRoof(AscMesh &mesh, double x0, double x1, double halfWidth, double eaveZ, double ridgeZ,
                  const Placement &place, int smoothing)
{
    auto point = [&](double x, double y, double z) { return addVertex(mesh, placePoint(place, {x, y, z})); };
    // Two slopes, the underside and two gable ends, each with its own corners for hard edges.
    int a = point(x0, -halfWidth, eaveZ), b = point(x1, -halfWidth, eaveZ);
    int c = point(x1, 0, ridgeZ), d = point(x0, 0, ridgeZ);
    addQuad(mesh, a, b, c, d, smoothing);
    a = point(x1, halfWidth, eaveZ), b = point(x0, halfWidth, eaveZ);
    c = point(x0, 0, ridgeZ), d = point(x1, 0, ridgeZ);
    addQuad(mesh, a, b, c, d, smoothing);
    a = point(x0, -halfWidth, eaveZ), b = point(x0, halfWidth, eaveZ);
    c = point(x1, halfWidth, eaveZ), d = point(x1, -halfWidth, eaveZ);
    addQuad(mesh, a, b, c, d, smoothing);
    a = point(x0, -halfWidth, eaveZ), b = point(x0, 0, ridgeZ), c = point(x0, halfWidth, eaveZ);
    addFace(mesh, a, b, c, smoothing);
    a = point(x1, halfWidth, eaveZ), b = point(x1, 0, ridgeZ), c = point(x1, -halfWidth, eaveZ);
    addFace(mesh, a, b, c, smoothing);
}

void appendMesh(AscMesh &mesh, const AscMesh &part)
{
    int base = int(mesh.vertices.size());
    mesh.vertices.insert(mesh.vertices.end(), part.vertices.begin(), part.vertices.end());
    for (const AscFace &f : part.faces)
        mesh.faces.push_back({f.a + base, f.b + base, f.c + base, f.smoothing});
}

void jitterVertices(AscMesh &mesh, size_t firstVertex, Random &random, double jitter)
{
    for (size_t i = firstVertex; i < mesh.vertices.size(); ++i) {
        Vec3 &p = mesh.vertices[i].position;
        p.x += randomBetween(random, -jitter, jitter);
        p.y += randomBetween(random, -jitter, jitter);
        p.z += randomBetween(random, -jitter, jitter);
    }
}

void mapFromAbove(AscMesh &mesh, size_t firstVertex, double centreX, double centreY, double size)
{
    mesh.mapped = true;
    for (size_t i = firstVertex; i < mesh.vertices.size(); ++i) {
        AscVertex &v = mesh.vertices[i];
        v.u = (v.position.x - centreX) / size + 0.5;
        v.v = (v.position.y - centreY) / size + 0.5;
    }
}

void mapBoxFaces(AscMesh &mesh, double size)
{
    mesh.mapped = true;
    for (const AscFace &f : mesh.faces) {
        Vec3 a = mesh.vertices[f.a].position, b = mesh.vertices[f.b].position, c = mesh.vertices[f.c].position;
        Vec3 n = cross(b - a, c - a);
        double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
        for (int index : {f.a, f.b, f.c}) {
            AscVertex &v = mesh.vertices[index];
            Vec3 p = v.position;
            if (az >= ax && az >= ay)
                v.u = p.x / size, v.v = p.y / size;
            else if (ax >= ay)
                v.u = p.y / size, v.v = p.z / size;
            else
                v.u = p.x / size, v.v = p.z / size;
        }
    }
}
