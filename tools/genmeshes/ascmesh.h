// A triangle mesh as 3D Studio's ASCII export describes it, and the writer of such files.
#pragma once

#include <string>
#include <vector>

struct Vec3 {
    double x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct AscVertex {
    Vec3 position;
    double u, v;
};

struct AscFace {
    int a, b, c;       // counter-clockwise seen from outside
    int smoothing;     // smoothing group, 0 for none
};

struct AscMesh {
    std::string name;
    std::string material;
    bool mapped = false;  // writes U: V: per vertex and the "Mapped" line
    std::vector<AscVertex> vertices;
    std::vector<AscFace> faces;
};

// The other objects a scene export carries after its meshes: lights and the camera. The show
// reads only the meshes; these keep the files whole exports.
struct AscLight {
    std::string name;
    Vec3 position;
};
struct AscCamera {
    std::string name;
    Vec3 position, target;
    double lens;  // millimetres
};

// Writes the objects in the layout of a 3D Studio ASC export; false when the file cannot be written.
bool writeAscFile(const std::string &path, const std::vector<AscMesh> &meshes,
                  const std::vector<AscLight> &lights = {}, const std::vector<AscCamera> &cameras = {});

// Volume enclosed by the mesh's faces, positive when they face outwards (checked for every part).
double signedVolume(const AscMesh &mesh);

struct Bounds {
    Vec3 low, high;
};
Bounds meshBounds(const AscMesh &mesh);
