// libFuzzer target: one ASC file through the mesh loader, then the table released again.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "assets/meshes.h"
#include "fuzzinput.h"

namespace {

void releaseMeshes()
{
    for (int i = 0; i <= meshCount && i < meshCapacity; ++i) {
        Mesh &mesh = meshTable[i];
        void *arrays[] = {mesh.faceA, mesh.faceB, mesh.faceC, mesh.x, mesh.y, mesh.z,
                          mesh.nx,    mesh.ny,    mesh.nz,    mesh.u, mesh.v};
        for (void *array : arrays)
            free(array);
        memset(&mesh, 0, sizeof mesh);
    }
    meshCount = 0;
    memset(meshGroups, 0, sizeof meshGroups);
}

// Loads the file and checks what a finished load promises the renderers.
void loadAndCheck(const char *path, const uint8_t *, size_t)
{
    loadAscFile(path, 6);
    if (meshGroups[6].first != 0 || meshGroups[6].last != meshCount || meshCount >= meshCapacity)
        abort();
    for (int i = 1; i <= meshCount; ++i) {
        const Mesh &mesh = meshTable[i];
        if (mesh.vertexCount < 0 || mesh.faceCount < 0 || mesh.vertexCount > meshEntryLimit ||
            mesh.faceCount > meshEntryLimit)
            abort();
        for (int32_t f = 0; f < mesh.faceCount; ++f)
            for (int32_t index : {mesh.faceA[f], mesh.faceB[f], mesh.faceC[f]})
                if (index < 0 || index >= mesh.vertexCount)
                    abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    runFuzzInput("ASC", data, size, loadAndCheck, releaseMeshes);
    return 0;
}
