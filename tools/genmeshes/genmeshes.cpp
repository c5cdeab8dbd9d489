// genmeshes: writes the show's 3D Studio exports into a folder: TREE.ASC (the tree of the tree
// field), CREDITS1.ASC/.VUE (the landscape under the credits and its flight) and
// LUMIR3D2.ASC/.VUE (the forest clearing with the rose, and the orbit around it).
// Usage: genmeshes <output folder>
#include "ascmesh.h"
#include "scenes.h"
#include "vuefile.h"

#include <cstdio>
#include <string>

namespace {

bool writeScene(const std::string &folder, const std::string &name, const Scene &scene)
{
    std::string asc = folder + "/" + name + ".ASC", vue = folder + "/" + name + ".VUE";
    // The export also holds the scene's light and its camera at the track's first frame.
    std::vector<AscLight> lights = {{"Moon01", {1000.0, 1000.0, 1000.0}}};
    std::vector<AscCamera> cameras = {{"Camera01", scene.track[0].eye, scene.track[0].target, 25.0}};
    if (!writeAscFile(asc, scene.meshes, lights, cameras) || !writeVueFile(vue, name, scene.track)) {
        std::fprintf(stderr, "genmeshes: cannot write %s or %s\n", asc.c_str(), vue.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: genmeshes <output folder>\n");
        return 2;
    }
    std::string folder = argv[1];

    std::vector<AscMesh> tree = buildTreeFile();
    Scene credits = buildCreditsScene();
    Scene forest = buildForestScene();
    // The camera keeps well clear of the ground and of every face: the beat shake adds up to 8 units.
    if (!checkMeshes("TREE", tree) || !checkScene("CREDITS1", credits, 60.0) || !checkScene("LUMIR3D2", forest, 60.0))
        return 1;
    if (forest.meshes.size() < 7) {
        std::fprintf(stderr, "genmeshes: LUMIR3D2 needs at least seven meshes\n");
        return 1;
    }

    if (!writeAscFile(folder + "/TREE.ASC", tree)) {
        std::fprintf(stderr, "genmeshes: cannot write %s/TREE.ASC\n", folder.c_str());
        return 1;
    }
    if (!writeScene(folder, "CREDITS1", credits) || !writeScene(folder, "LUMIR3D2", forest))
        return 1;
    return 0;
}
