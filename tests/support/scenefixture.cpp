#include "support/scenefixture.h"

#include <GL/glew.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "assets/camerapaths.h"
#include "assets/meshes.h"
#include "assets/textures.h"
#include "effects/celshading.h"
#include "effects/forest.h"
#include "effects/meshscenes.h"
#include "support/gltest.h"

namespace {

struct Vertex {
    float x, y, z;
};

int addMesh(const std::vector<Vertex> &vertices, const std::vector<int> &faces)
{
    const int index = ++meshCount;
    Mesh &mesh = meshTable[index];
    const int vertexCount = int(vertices.size());
    const int faceCount = int(faces.size() / 3);
    mesh.vertexCount = vertexCount;
    mesh.faceCount = faceCount;
    mesh.mapped = 0;
    mesh.faceA = new int32_t[faceCount + 1]();
    mesh.faceB = new int32_t[faceCount + 1]();
    mesh.faceC = new int32_t[faceCount + 1]();
    float **arrays[] = {&mesh.x, &mesh.y, &mesh.z, &mesh.nx, &mesh.ny, &mesh.nz, &mesh.u, &mesh.v};
    for (float **array : arrays)
        *array = new float[vertexCount + 1]();
    for (int i = 0; i < vertexCount; ++i) {
        mesh.x[i] = vertices[i].x;
        mesh.y[i] = vertices[i].y;
        mesh.z[i] = vertices[i].z;
    }
    for (int f = 0; f < faceCount; ++f) {
        const int a = faces[3 * f], b = faces[3 * f + 1], c = faces[3 * f + 2];
        mesh.faceA[f] = a;
        mesh.faceB[f] = b;
        mesh.faceC[f] = c;
        // Unnormalised face normals summed per vertex, as the loader does.
        const float ux = mesh.x[b] - mesh.x[a], uy = mesh.y[b] - mesh.y[a], uz = mesh.z[b] - mesh.z[a];
        const float vx = mesh.x[c] - mesh.x[a], vy = mesh.y[c] - mesh.y[a], vz = mesh.z[c] - mesh.z[a];
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        for (int corner : {a, b, c}) {
            mesh.nx[corner] += nx;
            mesh.ny[corner] += ny;
            mesh.nz[corner] += nz;
        }
    }
    return index;
}

void uploadImage(GLuint name, int width, int height, const std::vector<uint8_t> &rgba)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data());
}

void installImages()
{
    const int size = 64;
    std::vector<uint8_t> sky(size * size * 4), pine(size * size * 4), credits(size * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t *s = &sky[(y * size + x) * 4];
            s[0] = 10;
            s[1] = 20;
            s[2] = uint8_t(60 + y * 2);
            s[3] = 255;
            // A triangle, apex on the top row, foot across the bottom row.
            uint8_t *p = &pine[(y * size + x) * 4];
            const bool inside = std::abs(x - size / 2) * 2 <= y;
            p[0] = 5;
            p[1] = 15;
            p[2] = 12;
            p[3] = inside ? 255 : 0;
            // An opaque white band across the middle, transparent elsewhere.
            uint8_t *c = &credits[(y * size + x) * 4];
            const bool band = y >= 28 && y < 36;
            c[0] = c[1] = c[2] = 255;
            c[3] = band ? 255 : 0;
        }
    }
    uploadImage(backdropTexture, size, size, sky);
    for (GLuint name = pineTexture; name < pineTexture + 3; ++name)
        uploadImage(name, size, size, pine);
    uploadImage(creditsTexture, size, size, credits);
}

void installPath(int slot, float radius, float height)
{
    CameraPath &path = cameraPaths[slot];
    float **arrays[] = {&path.eyeX,    &path.eyeY,    &path.eyeZ,  &path.targetX,
                        &path.targetY, &path.targetZ, &path.value7};
    for (float **array : arrays)
        *array = new float[cameraPathCapacity]();
    for (int i = 0; i < 1100; ++i) {
        const double angle = 2.0 * M_PI * i / 1100.0;
        path.eyeX[i] = float(radius * cos(angle));
        path.eyeY[i] = float(radius * sin(angle));
        path.eyeZ[i] = height;
        path.targetZ[i] = 40.0f;
    }
}

int roseMesh = 0;

} // namespace

void openCelTestContext()
{
    static bool built = false;
    // A busy shared X server now and then refuses a connection (EAGAIN, reset); try again before
    // the display set-up, which would end the process. It then finds video already started.
    for (int attempt = 0; attempt < 20 && SDL_WasInit(SDL_INIT_VIDEO) == 0; ++attempt) {
        if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) == 0)
            break;
        SDL_Delay(100);
    }
    openTestDisplay();
    if (built)
        return;
    if (chdir(SHOW_SOURCE_DIR) != 0)
        abort();
    initCelShading();
    built = true;
}

int addBoxMesh(float x0, float y0, float z0, float x1, float y1, float z1)
{
    std::vector<Vertex> vertices;
    for (int n = 0; n < 8; ++n)
        vertices.push_back(Vertex{(n >> 2) & 1 ? x1 : x0, (n >> 1) & 1 ? y1 : y0, n & 1 ? z1 : z0});
    const std::vector<int> faces = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                                    2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};
    return addMesh(vertices, faces);
}

int addConeMesh(float radius, float height, float baseZ, int sides)
{
    std::vector<Vertex> vertices;
    for (int i = 0; i < sides; ++i) {
        const double angle = 2.0 * M_PI * i / sides;
        vertices.push_back(Vertex{float(radius * cos(angle)), float(radius * sin(angle)), baseZ});
    }
    const int apex = sides, centre = sides + 1;
    vertices.push_back(Vertex{0.0f, 0.0f, baseZ + height});
    vertices.push_back(Vertex{0.0f, 0.0f, baseZ});
    std::vector<int> faces;
    for (int i = 0; i < sides; ++i) {
        const int next = (i + 1) % sides;
        faces.insert(faces.end(), {i, next, apex, centre, next, i});
    }
    return addMesh(vertices, faces);
}

void installFixtureScenes()
{
    static bool installed = false;
    openCelTestContext();
    if (installed)
        return;
    installed = true;

    meshGroups[6].first = meshCount;
    addBoxMesh(-300, -300, 0, -200, -200, 120);
    addConeMesh(80, 250, 0, 12);
    addBoxMesh(150, 100, 0, 260, 220, 60);
    meshGroups[6].last = meshCount;

    meshGroups[7].first = meshCount;
    for (int i = 0; i < 8; ++i) {
        const float x = -350.0f + 100.0f * i;
        if (i % 2 == 0)
            addConeMesh(40, 180, 0, 10);
        else
            addBoxMesh(x, 250, 0, x + 60, 310, 70);
    }
    meshGroups[7].last = meshCount;
    roseMesh = meshGroups[7].last - 6;

    meshGroups[4].first = meshCount;
    addConeMesh(60, 150, 30, 12);
    addBoxMesh(-8, -8, 0, 8, 8, 40);
    meshGroups[4].last = meshCount;

    installPath(6, 600.0f, 150.0f);
    installPath(7, 500.0f, 120.0f);
    creditsPathFrames = 1100;
    lumirPathFrames = 1100;

    // The same 400 pseudo-random positions as start-up makes, from the unseeded generator.
    srand(1);
    for (auto &position : treePositions) {
        position[0] = float(rand() % 8000 - 4000);
        position[1] = float(rand() % 8000 - 4000);
    }
    installImages();
    fillForests();
}

int fixtureRoseMesh()
{
    return roseMesh;
}

std::vector<float> readMatrix(unsigned matrixName)
{
    std::vector<float> m(16);
    glGetFloatv(matrixName, m.data());
    return m;
}
