#include "assets/meshes.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/contentfiles.h"

Mesh meshTable[meshCapacity];
int32_t meshCount = 0;
MeshGroup meshGroups[meshGroupSlots];

namespace {

bool startsWith(const char *line, const char *prefix)
{
    return strncmp(line, prefix, strlen(prefix)) == 0;
}

// One heap block of entries * 4 + 1 bytes, zeroed so that entries the file never fills hold 0.
void *allocateArray(int64_t entries, int code)
{
    void *block = nullptr;
    if (entries >= 1 && entries <= meshEntryLimit)
        block = calloc(size_t(entries) * 4 + 1, 1);
    if (block == nullptr) {
        printf("Memory allotcation failure %i....", code);
        stopOnAssetFailure(1);
    }
    return block;
}

// count + 1 without overflow; anything past the limit stays past it.
int64_t entriesFor(long long count)
{
    return count > meshEntryLimit ? meshEntryLimit + 1 : int64_t(count) + 1;
}

int32_t clampToInt32(long long value)
{
    if (value < INT32_MIN)
        return INT32_MIN;
    if (value > INT32_MAX)
        return INT32_MAX;
    return int32_t(value);
}

} // namespace

// Each pointer goes into the record as soon as it exists, so a harness that survives a failure
// can still release what was taken.
void allocateMeshArrays(int64_t faceEntries, int64_t vertexEntries)
{
    Mesh &mesh = meshTable[meshCount];
    mesh.faceA = static_cast<int32_t *>(allocateArray(faceEntries, 1));
    mesh.faceB = static_cast<int32_t *>(allocateArray(faceEntries, 2));
    mesh.faceC = static_cast<int32_t *>(allocateArray(faceEntries, 3));
    mesh.u = static_cast<float *>(allocateArray(vertexEntries, 4));
    mesh.v = static_cast<float *>(allocateArray(vertexEntries, 5));
    mesh.x = static_cast<float *>(allocateArray(vertexEntries, 6));
    mesh.y = static_cast<float *>(allocateArray(vertexEntries, 7));
    mesh.z = static_cast<float *>(allocateArray(vertexEntries, 8));
    mesh.nx = static_cast<float *>(allocateArray(vertexEntries, 9));
    mesh.ny = static_cast<float *>(allocateArray(vertexEntries, 10));
    mesh.nz = static_cast<float *>(allocateArray(vertexEntries, 11));
}

void computeVertexNormals()
{
    Mesh &mesh = meshTable[meshCount];
    for (int32_t i = 0; i < mesh.vertexCount; ++i)
        mesh.nx[i] = mesh.ny[i] = mesh.nz[i] = 0.0f;

    for (int32_t f = 0; f < mesh.faceCount; ++f) {
        const int32_t corners[3] = {mesh.faceA[f], mesh.faceB[f], mesh.faceC[f]};
        for (int32_t index : corners) {
            if (index < 0 || index >= mesh.vertexCount) {
                printf("ERROR: invalid faces (face: %i points to invalid point: %i)\n", f, index);
                stopOnAssetFailure(1);
            }
        }
        const int32_t a = corners[0], b = corners[1], c = corners[2];
        const float d1x = mesh.x[a] - mesh.x[b], d1y = mesh.y[a] - mesh.y[b], d1z = mesh.z[a] - mesh.z[b];
        const float d2x = mesh.x[b] - mesh.x[c], d2y = mesh.y[b] - mesh.y[c], d2z = mesh.z[b] - mesh.z[c];
        const float normalX = d1y * d2z - d1z * d2y;
        const float normalY = d1z * d2x - d1x * d2z;
        const float normalZ = d1x * d2y - d1y * d2x;
        for (int32_t index : corners) {
            mesh.nx[index] += normalX;
            mesh.ny[index] += normalY;
            mesh.nz[index] += normalZ;
        }
    }

    // Unmapped meshes carry their normal's X and Y as texture coordinate.
    if (!mesh.mapped) {
        for (int32_t i = 0; i < mesh.vertexCount; ++i) {
            mesh.u[i] = mesh.nx[i];
            mesh.v[i] = mesh.ny[i];
        }
    }
}

namespace {

// The vertex lines of the current block; the end of the file ends the block.
void readVertexBlock(Mesh &mesh)
{
    for (int32_t taken = 0; taken < mesh.vertexCount;) {
        if (!readAssetLine())
            return;
        if (!startsWith(assetLine, "Vertex"))
            continue;
        float x = 0.0f, y = 0.0f, z = 0.0f, u = 0.0f, v = 0.0f;
        if (mesh.mapped)
            sscanf(assetLine, "Vertex %*d: X:%f Y:%f Z:%f U:%f V:%f", &x, &y, &z, &u, &v);
        else
            sscanf(assetLine, "Vertex %*d: X:%f Y:%f Z:%f", &x, &y, &z);
        mesh.x[taken] = x;
        mesh.y[taken] = y;
        mesh.z[taken] = z;
        if (mesh.mapped) {
            mesh.u[taken] = u;
            mesh.v[taken] = v;
            printf("vertnum: %d x: %f\n", taken, x);
        } else {
            printf("tempface %d -- %f\n", taken + 1, x);
        }
        ++taken;
    }
}

// The face lines of the current block; the caption is never a face, annotations are skipped.
void readFaceBlock(Mesh &mesh)
{
    for (int32_t taken = 0; taken < mesh.faceCount;) {
        if (!readAssetLine())
            return;
        if (startsWith(assetLine, "Face list:") && !readAssetLine())
            return;
        if (!startsWith(assetLine, "Face"))
            continue;
        long long a = 0, b = 0, c = 0;
        sscanf(assetLine, "Face %*d: A:%lld B:%lld C:%lld", &a, &b, &c);
        mesh.faceA[taken] = clampToInt32(a);
        mesh.faceB[taken] = clampToInt32(b);
        mesh.faceC[taken] = clampToInt32(c);
        ++taken;
    }
}

} // namespace

void loadAscFile(const char *path, int slot)
{
    assetFile = openContentFile(path, "r");
    if (assetFile == nullptr) {
        printf("Error: File not opened\n\n");
        stopOnAssetFailure(1);
    }
    printf("File %s opened ok\n", path);
    const int32_t first = meshCount;

    // The header counts carry over to the next block when its header does not scan.
    long long vertexCount = 0, faceCount = 0;
    // A read at the end leaves an already handled line in the buffer; it is not looked at again.
    while (readAssetLine()) {
        if (!startsWith(assetLine, "Tri-mesh"))
            continue;
        if (meshCount >= meshCapacity - 1) {
            printf("Error: %s has more meshes than the table holds (%i)\n", path, meshCapacity - 1);
            stopOnAssetFailure(1);
        }
        ++meshCount;
        Mesh &mesh = meshTable[meshCount];
        mesh.mapped = 0;
        sscanf(assetLine, "Tri-mesh, Vertices: %lld Faces: %lld", &vertexCount, &faceCount);
        // At the end of the file this leaves the header in the buffer; the block then reads nothing
        // and its entries stay 0.
        readAssetLine();
        allocateMeshArrays(entriesFor(faceCount), entriesFor(vertexCount));
        // Both counts are within meshEntryLimit once the allocation has returned.
        mesh.faceCount = int32_t(faceCount);
        mesh.vertexCount = int32_t(vertexCount);
        if (startsWith(assetLine, "Mapped")) {
            mesh.mapped = 1;
            readAssetLine();
        }
        readVertexBlock(mesh);
        readFaceBlock(mesh);
        computeVertexNormals();
    }

    if (slot >= 0 && slot < meshGroupSlots)
        meshGroups[slot] = MeshGroup{first, meshCount};
    fclose(assetFile);
    assetFile = nullptr;
}

void drawMesh(int index)
{
    glBegin(GL_TRIANGLES);
    if (index >= 0 && index < meshCapacity) {
        const Mesh &mesh = meshTable[index];
        for (int32_t f = 0; f < mesh.faceCount; ++f) {
            const int32_t corners[3] = {mesh.faceA[f], mesh.faceB[f], mesh.faceC[f]};
            for (int32_t i : corners) {
                glNormal3f(mesh.nx[i], mesh.ny[i], mesh.nz[i]);
                glTexCoord2f(mesh.u[i], mesh.v[i]);
                glVertex3f(mesh.x[i], mesh.y[i], mesh.z[i]);
            }
        }
    }
    glEnd();
}
