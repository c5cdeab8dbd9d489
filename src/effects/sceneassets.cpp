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

// The credits scene samples its path with a fixed count (creditsPathCount), and the forest scene
// singles out one of its last seven meshes: files with less would leave frames or meshes that do
// not exist.
constexpr int32_t forestMeshesNeeded = 7;

} // namespace

void loadSceneAssets()
{
    for (int i = 0; i < treeCount; ++i) {
        treePositions[i][0] = float(rand() % 8000 - 4000);
        treePositions[i][1] = float(rand() % 8000 - 4000);
    }

    loadAscFile("data\\meshes\\CREDITS1.ASC", 6);
    creditsPathFrames = loadVueFile(6, "data\\meshes\\CREDITS1.VUE");
    if (creditsPathFrames < creditsPathCount) {
        printf("Error: data\\meshes\\CREDITS1.VUE holds %i camera frames, the show needs %i\n",
               creditsPathFrames, creditsPathCount);
        stopOnAssetFailure(1);
    }
    loadAscFile("data\\meshes\\LUMIR3D2.ASC", 7);
    const int32_t forestMeshes = meshGroups[7].last - meshGroups[7].first;
    if (forestMeshes < forestMeshesNeeded) {
        printf("Error: data\\meshes\\LUMIR3D2.ASC holds %i meshes, the show needs %i\n", forestMeshes,
               forestMeshesNeeded);
        stopOnAssetFailure(1);
    }
    lumirPathFrames = loadVueFile(7, "data\\meshes\\LUMIR3D2.VUE");
    loadAscFile("data\\meshes\\TREE.ASC", 4);
}
