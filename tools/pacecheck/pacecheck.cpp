// pacecheck <module.xm> [content root]: plays the module once with libopenmpt, notes where its
// orders begin, and prints what that pace means for the pictures: the seconds the title is on
// screen in each of parts 4-7 and the scroller in each of 30-41, and how many times each flight
// goes round its camera track (the forest track's length is read from the content root's
// data/meshes/LUMIR3D2.VUE, default the current directory). Exit 0 when every point holds, 1 when
// one misses, 2 on bad usage or input.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/camerapaths.h"
#include "assets/contentfiles.h"
#include "pace.h"

namespace {

const char *const forestTrackPath = "data\\meshes\\LUMIR3D2.VUE";
const int forestTrackSlot = 7;

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: pacecheck <module.xm> [content root]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "pacecheck: cannot read %s\n", argv[1]);
        return 2;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    OrderTimes times;
    std::string reason;
    if (!readOrderTimes(bytes, &times, &reason)) {
        std::fprintf(stderr, "pacecheck: %s: %s\n", argv[1], reason.c_str());
        return 2;
    }
    if (argc == 3 && chdir(argv[2]) != 0) {
        std::fprintf(stderr, "pacecheck: cannot enter the content root %s\n", argv[2]);
        return 2;
    }
    FILE *track = openContentFile(forestTrackPath, "r");
    if (track == nullptr) {
        std::fprintf(stderr, "pacecheck: cannot read data/meshes/LUMIR3D2.VUE under the content root\n");
        return 2;
    }
    std::fclose(track);
    const int32_t forestFrames = loadVueFile(forestTrackSlot, forestTrackPath);

    const std::vector<PacePoint> points = measurePace(times, forestFrames);
    int misses = 0;
    for (const PacePoint &point : points)
        misses += point.holds ? 0 : 1;
    std::printf("%s\none pass %.2f s, %zu orders; ", formatPaceTable(points).c_str(), times.end, times.starts.size());
    if (misses)
        std::printf("pacecheck: %d point%s MISS\n", misses, misses == 1 ? "" : "s");
    else
        std::printf("pacecheck: every point holds\n");
    return misses ? 1 : 0;
}
