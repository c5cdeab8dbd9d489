// Helpers shared by the scene builders (not part of the generator's interface).
#pragma once

#include "scenes.h"
#include "shapes.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// One loop per 30 s, sampled by the show with 1100 frames.
constexpr int trackFrames = 1100;

inline double horizontalDistance(double ax, double ay, double bx, double by)
{
    return std::hypot(ax - bx, ay - by);
}

// "Grove07": object names as a modeller numbers its copies.
inline std::string numbered(const char *stem, int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d", stem, n);
    return name;
}

// True when every eye of the track is far enough aside from, or high enough above, a solid.
inline bool isClearOfTrack(const std::vector<CameraFrame> &track, double x, double y, double radius, double top,
                           double margin)
{
    for (const CameraFrame &f : track)
        if (horizontalDistance(f.eye.x, f.eye.y, x, y) < radius + margin && f.eye.z < top + margin)
            return false;
    return true;
}

inline Vec3 pointOnCircle(double radius, double angle, double z = 0.0)
{
    return {radius * std::cos(angle), radius * std::sin(angle), z};
}
