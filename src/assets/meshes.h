// Triangle meshes read from 3D Studio ASCII exports into a fixed table.
#pragma once
#include <cstdint>

struct Mesh {
    int32_t faceCount;
    int32_t vertexCount;
    int32_t *faceA, *faceB, *faceC;
    float *x, *y, *z;
    float *nx, *ny, *nz;
    float *u, *v;
    uint8_t mapped;
};

// The range of table indices one file produced: first + 1 to last.
struct MeshGroup {
    int32_t first;
    int32_t last;
};

// Record 0 plus every mesh of the show's three files, with room to spare; checked on load.
constexpr int meshCapacity = 512;
constexpr int meshGroupSlots = 8;
// Counts are read from the file and untrusted: a block whose arrays would need more entries than
// this (or a negative count) fails as an allocation of that array.
constexpr int64_t meshEntryLimit = int64_t(1) << 20;

extern Mesh meshTable[meshCapacity];
extern int32_t meshCount;
extern MeshGroup meshGroups[meshGroupSlots];

// Reads every Tri-mesh block of the file into the table and records the file's group in slot.
// Ends the process on an unopenable file, a failed allocation, an invalid face or a full table.
void loadAscFile(const char *path, int slot);
// Emits the mesh's triangles; changes nothing but the current normal and texture coordinate.
void drawMesh(int index);
