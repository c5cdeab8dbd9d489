#include "support/scenefixture.h"

#include <GL/glew.h>
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

int addMesh(const std::vector<float> &xyz, const std::vector<int> &faces)
{
    const int index = ++meshCount;
    Mesh &mesh = meshTable[index];
    const int vertexCount = int(xyz.size() / 3), faceCount = int(faces.size() / 3);
    mesh.vertexCount = vertexCount;
    mesh.faceCount = faceCount;
    mesh.mapped = 0;
    for (int32_t **array : {&mesh.faceA, &mesh.faceB, &mesh.faceC})
        *array = new int32_t[faceCount + 1]();
    for (float **array :
         {&mesh.x, &mesh.y, &mesh.z, &mesh.nx, &mesh.ny, &mesh.nz, &mesh.u, &mesh.v})
        *array = new float[vertexCount + 1]();
    for (int i = 0; i < vertexCount; ++i) {
        mesh.x[i] = xyz[3 * i];
        mesh.y[i] = xyz[3 * i + 1];
        mesh.z[i] = xyz[3 * i + 2];
    }
    for (int f = 0; f < faceCount; ++f) {
        const int a = mesh.faceA[f] = faces[3 * f], b = mesh.faceB[f] = faces[3 * f + 1],
                  c = mesh.faceC[f] = faces[3 * f + 2];
        // Unnormalised face normals summed per vertex, as the loader does.
        const float ux = mesh.x[b] - mesh.x[a], uy = mesh.y[b] - mesh.y[a];
        const float uz = mesh.z[b] - mesh.z[a], vx = mesh.x[c] - mesh.x[a];
        const float vy = mesh.y[c] - mesh.y[a], vz = mesh.z[c] - mesh.z[a];
        for (int corner : {a, b, c}) {
            mesh.nx[corner] += uy * vz - uz * vy;
            mesh.ny[corner] += uz * vx - ux * vz;
            mesh.nz[corner] += ux * vy - uy * vx;
        }
    }
    return index;
}

// A pine-like cone of the given number of sides.
int addConeMesh(float radius, float height, float baseZ, int sides)
{
    std::vector<float> xyz;
    for (int i = 0; i < sides; ++i) {
        const double angle = 2.0 * M_PI * i / sides;
        xyz.insert(xyz.end(), {float(radius * cos(angle)), float(radius * sin(angle)), baseZ});
    }
    xyz.insert(xyz.end(), {0.0f, 0.0f, baseZ + height, 0.0f, 0.0f, baseZ});
    std::vector<int> faces;
    for (int i = 0; i < sides; ++i)
        faces.insert(faces.end(), {i, (i + 1) % sides, sides, sides + 1, (i + 1) % sides, i});
    return addMesh(xyz, faces);
}

void uploadImage(GLuint name, const std::vector<uint8_t> &rgba)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

// A blue sky, a pine triangle (apex on the top row) and a white credits band across the middle.
void installImages()
{
    std::vector<uint8_t> sky, pine, credits;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            sky.insert(sky.end(), {10, 20, uint8_t(60 + y * 2), 255});
            pine.insert(pine.end(), {5, 15, 12, uint8_t(std::abs(x - 32) * 2 <= y ? 255 : 0)});
            credits.insert(credits.end(), {255, 255, 255, uint8_t(y >= 28 && y < 36 ? 255 : 0)});
        }
    }
    uploadImage(backdropTexture, sky);
    for (GLuint name = pineTexture; name < pineTexture + 3; ++name)
        uploadImage(name, pine);
    uploadImage(creditsTexture, credits);
    readForestPictures();
}

void installPath(int slot, float radius, float height)
{
    CameraPath &path = cameraPaths[slot];
    for (float **array : {&path.eyeX, &path.eyeY, &path.eyeZ, &path.targetX, &path.targetY,
                          &path.targetZ, &path.value7})
        *array = new float[cameraPathCapacity]();
    for (int i = 0; i < 1100; ++i) {
        const double angle = 2.0 * M_PI * i / 1100.0;
        path.eyeX[i] = float(radius * cos(angle));
        path.eyeY[i] = float(radius * sin(angle));
        path.eyeZ[i] = height;
        path.targetZ[i] = 40.0f;
    }
}

} // namespace

void openCelTestContext()
{
    static bool built = false;
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
    std::vector<float> xyz;
    for (int n = 0; n < 8; ++n)
        xyz.insert(xyz.end(), {n & 4 ? x1 : x0, n & 2 ? y1 : y0, n & 1 ? z1 : z0});
    return addMesh(xyz, {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                         2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3});
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
    // Eight meshes, so that last - 6 (the rose) is a box.
    meshGroups[7].first = meshCount;
    for (int i = 0; i < 8; ++i) {
        const float x = -350.0f + 100.0f * i;
        if (i % 2 == 0)
            addConeMesh(40, 180, 0, 10);
        else
            addBoxMesh(x, 250, 0, x + 60, 310, 70);
    }
    meshGroups[7].last = meshCount;
    meshGroups[4].first = meshCount; // foliage, trunk
    addConeMesh(60, 150, 30, 12);
    addBoxMesh(-8, -8, 0, 8, 8, 40);
    meshGroups[4].last = meshCount;
    installPath(6, 600.0f, 150.0f);
    installPath(7, 500.0f, 120.0f);
    creditsPathFrames = lumirPathFrames = 1100;
    // The same 400 positions as start-up makes, from the unseeded generator.
    srand(1);
    for (auto &position : treePositions) {
        position[0] = float(rand() % 8000 - 4000);
        position[1] = float(rand() % 8000 - 4000);
    }
    installImages();
    fillForests();
}

std::vector<float> readMatrix(unsigned matrixName)
{
    std::vector<float> m(16);
    glGetFloatv(matrixName, m.data());
    return m;
}
