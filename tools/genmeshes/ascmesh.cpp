#include "ascmesh.h"

#include <algorithm>
#include <cstdio>

namespace {

// Exporters print fixed six decimals; -0.000000 would look like a glitch, so zero is unsigned.
double tidy(double value)
{
    return (value > -0.0000005 && value < 0.0000005) ? 0.0 : value;
}

void writeMesh(FILE *out, const AscMesh &mesh)
{
    std::fprintf(out, "Named object: \"%s\"\n", mesh.name.c_str());
    std::fprintf(out, "Tri-mesh, Vertices: %zu     Faces: %zu\n", mesh.vertices.size(), mesh.faces.size());
    if (mesh.mapped)
        std::fprintf(out, "Mapped\n");
    std::fprintf(out, "Vertex list:\n");
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        const AscVertex &v = mesh.vertices[i];
        char label[32];
        std::snprintf(label, sizeof label, "Vertex %zu:", i);
        std::fprintf(out, "%-13s X:%12.6f     Y:%12.6f     Z:%12.6f", label, tidy(v.position.x),
                     tidy(v.position.y), tidy(v.position.z));
        if (mesh.mapped)
            std::fprintf(out, "     U:%9.6f     V:%9.6f", tidy(v.u), tidy(v.v));
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "Face list:\n");
    for (size_t i = 0; i < mesh.faces.size(); ++i) {
        const AscFace &f = mesh.faces[i];
        char label[32];
        std::snprintf(label, sizeof label, "Face %zu:", i);
        std::fprintf(out, "%-11s A:%d B:%d C:%d AB:1 BC:1 CA:1\n", label, f.a, f.b, f.c);
        std::fprintf(out, "Material:\"%s\"\n", mesh.material.c_str());
        if (f.smoothing > 0)
            std::fprintf(out, "Smoothing:  %d\n", f.smoothing);
    }
    std::fprintf(out, "\n");
}

} // namespace

bool writeAscFile(const std::string &path, const std::vector<AscMesh> &meshes, const std::vector<AscLight> &lights,
                  const std::vector<AscCamera> &cameras)
{
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    std::fprintf(out, "Ambient light color: Red=0.039216 Green=0.039216 Blue=0.039216\n\n");
    for (const AscMesh &mesh : meshes)
        writeMesh(out, mesh);
    for (const AscLight &light : lights) {
        std::fprintf(out, "Named object: \"%s\"\n", light.name.c_str());
        std::fprintf(out, "Direct light\n");
        std::fprintf(out, "Position:  X:%.6f Y:%.6f Z:%.6f\n", light.position.x, light.position.y, light.position.z);
        std::fprintf(out, "Light color: Red=1.000000 Green=0.800000 Blue=0.700000\n\n");
    }
    for (const AscCamera &camera : cameras) {
        std::fprintf(out, "Named object: \"%s\"\n", camera.name.c_str());
        std::fprintf(out, "Camera (%.6fmm)\n", camera.lens);
        std::fprintf(out, "Position:  X:%.6f Y:%.6f Z:%.6f\n", camera.position.x, camera.position.y, camera.position.z);
        std::fprintf(out, "Target:  X:%.6f Y:%.6f Z:%.6f\n", camera.target.x, camera.target.y, camera.target.z);
        std::fprintf(out, "Bank angle: 0.000000 degrees\n\n");
    }
    return std::fclose(out) == 0;
}

double signedVolume(const AscMesh &mesh)
{
    double volume = 0.0;
    for (const AscFace &f : mesh.faces) {
        Vec3 a = mesh.vertices[f.a].position, b = mesh.vertices[f.b].position, c = mesh.vertices[f.c].position;
        volume += dot(a, cross(b, c)) / 6.0;
    }
    return volume;
}

Bounds meshBounds(const AscMesh &mesh)
{
    Bounds box{{1e30, 1e30, 1e30}, {-1e30, -1e30, -1e30}};
    for (const AscVertex &v : mesh.vertices) {
        box.low = {std::min(box.low.x, v.position.x), std::min(box.low.y, v.position.y),
                   std::min(box.low.z, v.position.z)};
        box.high = {std::max(box.high.x, v.position.x), std::max(box.high.y, v.position.y),
                    std::max(box.high.z, v.position.z)};
    }
    return box;
}
