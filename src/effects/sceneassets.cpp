#include "effects/meshscenes.h"

#include <cstdio>
#include <cstdlib>

#include "assets/camerapaths.h"
#include "assets/contentfiles.h"
#include "assets/meshes.h"

float treePositions[treeCount][2];
int32_t creditsPathFrames = 0;
int32_t lumirPathFrames = 0;

namespace {

// What the scenes take from each file: the credits scene samples its path with a fixed count
// (creditsPathCount) and draws the meshes of its file, the forest scene singles out one of its
// last seven meshes and follows its path, the tree field draws the first two meshes of the tree
// file. A file with less would leave frames or meshes that do not exist.
constexpr int32_t creditsMeshesNeeded = 1;
constexpr int32_t forestMeshesNeeded = 7;
constexpr int32_t forestFramesNeeded = 1;
constexpr int32_t treeMeshesNeeded = 2;

void requireContent(const char *path, int32_t held, int32_t needed, const char *what)
{
    if (held >= needed)
        return;
    printf("Error: %s holds %i %s, the show needs %i\n", path, held, what, needed);
    stopOnAssetFailure(1);
}

int32_t countGroupMeshes(int group)
{
    return meshGroups[group].last - meshGroups[group].first;
}

} // namespace

void loadSceneAssets()
{
    for (int i = 0; i < treeCount; ++i) {
        treePositions[i][0] = float(rand() % 8000 - 4000);
        treePositions[i][1] = float(rand() % 8000 - 4000);
    }

    const char *const creditsMesh = "data\\meshes\\CREDITS1.ASC";
    const char *const creditsPath = "data\\meshes\\CREDITS1.VUE";
    const char *const forestMesh = "data\\meshes\\LUMIR3D2.ASC";
    const char *const forestPath = "data\\meshes\\LUMIR3D2.VUE";
    const char *const treeMesh = "data\\meshes\\TREE.ASC";
    loadAscFile(creditsMesh, 6);
    requireContent(creditsMesh, countGroupMeshes(6), creditsMeshesNeeded, "meshes");
    creditsPathFrames = loadVueFile(6, creditsPath);
    requireContent(creditsPath, creditsPathFrames, creditsPathCount, "camera frames");
    loadAscFile(forestMesh, 7);
    requireContent(forestMesh, countGroupMeshes(7), forestMeshesNeeded, "meshes");
    lumirPathFrames = loadVueFile(7, forestPath);
    requireContent(forestPath, lumirPathFrames, forestFramesNeeded, "camera frames");
    loadAscFile(treeMesh, 4);
    requireContent(treeMesh, countGroupMeshes(4), treeMeshesNeeded, "meshes");
}
