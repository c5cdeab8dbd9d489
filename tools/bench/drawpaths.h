// The drawing paths the show can take and what a frame leaves behind on each, so that the shipped
// path can be timed and compared against the literal one (bench, the pixel-identity tests).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "effects/forest.h"

enum DrawPath {
    shippedPath,        // display lists, view culling, banded forests
    previousForestPath, // the same with the forests as first optimised: transparent fragments
                        // dropped by the alpha test, every billboard rasterised whole
    immediatePath,      // every call made as written, in immediate mode
};
void selectDrawPath(DrawPath path);

// The colour and depth buffers (back buffer, bottom row first) and the GL state the scenes rely
// on, one "name: values" line per item.
struct FrameRecord {
    std::vector<uint8_t> colour;
    std::vector<uint32_t> depth;
    std::vector<std::string> state;
};
FrameRecord recordFrame();
// Empty when the records match; otherwise what differs first.
std::string describeDifference(const FrameRecord &a, const FrameRecord &b);

// Both forests as they stand, to start each path from the same place.
struct ForestSnapshot {
    Billboard scroll[billboardCount];
    Billboard rush[billboardCount];
};
ForestSnapshot takeForestSnapshot();
void restoreForestSnapshot(const ForestSnapshot &snapshot);
bool isForestSnapshotEqual(const ForestSnapshot &a, const ForestSnapshot &b);
