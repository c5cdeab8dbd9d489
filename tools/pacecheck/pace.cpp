#include "pace.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include <libopenmpt/libopenmpt.hpp>

#include "assets/camerapaths.h"
#include "driver/demo.h"
#include "effects/meshscenes.h"
#include "effects/voxeltext.h"

namespace {

const int playRate = 44100;
const int playBlockFrames = 64; // the show's audio layer notes the position this often
const double longestPass = 1200.0;
const double sampleStep = 0.001; // seconds of partTime between two looks at a text
const double fewestPasses = 0.9, mostPasses = 1.3;
const int rowsPerOrder = 64;

// The part whose entry last restarted partTime, at or before part, by the show's own rules; 0
// (the show's start) when none did.
int findPartTimeOrigin(int part)
{
    const FrameClocks savedClocks = frameClocks;
    const bool savedEnd = endRequested;
    int origin = 0;
    for (int entered = part; entered > 0 && origin == 0; --entered) {
        frameClocks.partTime = 1.0f;
        applyPartChange(entered, entered - 1);
        if (frameClocks.partTime == 0.0f)
            origin = entered;
    }
    frameClocks = savedClocks;
    endRequested = savedEnd;
    return origin;
}

// A part lasts from its order's start to the next start of any order (or the pass's end).
bool findPartSpan(const OrderTimes &times, int part, double *from, double *to)
{
    if (part < 0 || part >= int(times.starts.size()) || times.starts[size_t(part)] < 0.0)
        return false;
    *from = times.starts[size_t(part)];
    *to = times.end;
    for (double start : times.starts)
        if (start > *from && start < *to)
            *to = start;
    return *to > *from;
}

// Whether any of the box can be seen through setupSceneLighting's view: the box stands in front
// of the eye, so its far face, where the view is widest, decides.
bool isBoxOnScreen(const TextBox &box)
{
    const double depth = -double(box.low[2]);
    if (depth <= 0.0)
        return false;
    const double halfHeight = depth * std::tan(sceneFieldOfView * M_PI / 360.0);
    const double halfWidth = halfHeight * sceneAspect;
    return box.low[0] < halfWidth && box.high[0] > -halfWidth && box.low[1] < halfHeight &&
           box.high[1] > -halfHeight;
}

double measureSecondsOnScreen(TextBox (*boxAt)(float), double from, double to)
{
    long seen = 0;
    const long steps = std::lround((to - from) / sampleStep);
    for (long k = 0; k < steps; ++k)
        seen += isBoxOnScreen(boxAt(float(from + (k + 0.5) * sampleStep)));
    return seen * sampleStep;
}

void addTextPoints(std::vector<PacePoint> &points, const OrderTimes &times, const char *what,
                   TextBox (*boxAt)(float), int firstPart, int lastPart)
{
    for (int part = firstPart; part <= lastPart; ++part) {
        PacePoint point{what, part, part, 0.0, 0.0, 0.0, minimumTextSeconds, INFINITY, "", false};
        double from = 0.0, to = 0.0, origin = 0.0, unused = 0.0;
        if (!findPartSpan(times, part, &from, &to) || !findPartSpan(times, findPartTimeOrigin(part), &origin, &unused)) {
            point.note = "the part is never played";
            points.push_back(point);
            continue;
        }
        point.partTimeFrom = from - origin;
        point.partTimeTo = to - origin;
        point.value = measureSecondsOnScreen(boxAt, point.partTimeFrom, point.partTimeTo);
        point.holds = point.value >= point.least;
        points.push_back(point);
    }
}

// Where the module is at a time of the pass: "part 29 row 52".
std::string describePosition(const OrderTimes &times, double at)
{
    for (int part = 0; part < int(times.starts.size()); ++part) {
        double from = 0.0, to = 0.0;
        if (findPartSpan(times, part, &from, &to) && at >= from && at < to) {
            char text[48];
            std::snprintf(text, sizeof text, "part %d row %d", part, int((at - from) / (to - from) * rowsPerOrder));
            return text;
        }
    }
    return "after the pass";
}

void addFlightPoint(std::vector<PacePoint> &points, const OrderTimes &times, const char *what, int firstPart,
                    int lastPart, int32_t pathCount)
{
    PacePoint point{what, firstPart, lastPart, 0.0, 0.0, 0.0, fewestPasses, mostPasses, "", false};
    double from = 0.0, to = 0.0, origin = 0.0, unused = 0.0;
    if (pathCount < 1 || !findPartSpan(times, firstPart, &from, &unused) || !findPartSpan(times, lastPart, &unused, &to) ||
        !findPartSpan(times, findPartTimeOrigin(firstPart), &origin, &unused)) {
        point.note = pathCount < 1 ? "the track has no frames" : "the parts are never played";
        points.push_back(point);
        return;
    }
    point.partTimeFrom = from - origin;
    point.partTimeTo = to - origin;
    // Passes as the scene counts them: path frames gone by, over the frames of one pass.
    point.value = (double(pathFrameAt(float(point.partTimeTo), pathCount)) -
                   double(pathFrameAt(float(point.partTimeFrom), pathCount))) / pathCount;
    point.holds = point.value >= point.least && point.value <= point.most;
    // The first moment the frame shown goes back to the track's start.
    int32_t previous = selectPathFrame(pathFrameAt(float(point.partTimeFrom), pathCount), pathCount);
    for (double t = point.partTimeFrom; t < point.partTimeTo; t += sampleStep) {
        const int32_t frame = selectPathFrame(pathFrameAt(float(t), pathCount), pathCount);
        if (frame < previous) {
            point.note = "track of " + std::to_string(pathCount) + " frames starts again at " +
                         describePosition(times, origin + t);
            break;
        }
        previous = frame;
    }
    if (point.note.empty())
        point.note = "track of " + std::to_string(pathCount) + " frames never starts again";
    points.push_back(point);
}

std::string formatRange(const PacePoint &point, const char *unit)
{
    char text[64];
    if (std::isinf(point.most))
        std::snprintf(text, sizeof text, "at least %.2f%s", point.least, unit);
    else
        std::snprintf(text, sizeof text, "%.2f to %.2f%s", point.least, point.most, unit);
    return text;
}

} // namespace

bool readOrderTimes(const std::vector<char> &moduleBytes, OrderTimes *times, std::string *reason)
{
    try {
        std::ostringstream log;
        openmpt::module module(moduleBytes, log);
        module.set_repeat_count(-1);
        const int orders = module.get_num_orders();
        times->starts.assign(size_t(orders > 0 ? orders : 0), -1.0);
        std::vector<float> block(playBlockFrames);
        long framesDone = 0;
        int previous = -1;
        while (framesDone < long(longestPass * playRate)) {
            const int order = module.get_current_order();
            if (order != previous && order >= 0 && order < orders) {
                if (order == 0 && previous == orders - 1) {
                    times->end = double(framesDone) / playRate;
                    return true;
                }
                if (times->starts[size_t(order)] < 0.0)
                    times->starts[size_t(order)] = double(framesDone) / playRate;
            }
            previous = order;
            const size_t got = module.read(playRate, playBlockFrames, block.data());
            if (got == 0)
                break;
            framesDone += long(got);
        }
        *reason = "the module never returns from its last order to order 0";
    } catch (const std::exception &error) {
        *reason = std::string("libopenmpt rejects it: ") + error.what();
    }
    return false;
}

std::vector<PacePoint> measurePace(const OrderTimes &times, int32_t forestPathFrames)
{
    std::vector<PacePoint> points;
    addTextPoints(points, times, "title on screen", titleBoxAt, 4, 7);
    addTextPoints(points, times, "scroller on screen", scrollerBoxAt, 30, 41);
    addFlightPoint(points, times, "credits flight", 22, 29, creditsPathCount);
    addFlightPoint(points, times, "forest flight", 42, 49, forestPathFrames);
    return points;
}

std::string formatPaceTable(const std::vector<PacePoint> &points)
{
    std::string table = "| part | what | partTime from | to | measured | needed | note |\n"
                        "|---:|---|---:|---:|---:|---|---|\n";
    for (const PacePoint &point : points) {
        const bool flight = point.firstPart != point.lastPart;
        char line[320];
        char parts[16];
        if (flight)
            std::snprintf(parts, sizeof parts, "%d-%d", point.firstPart, point.lastPart);
        else
            std::snprintf(parts, sizeof parts, "%d", point.firstPart);
        std::string note = point.note;
        if (!point.holds)
            note = note.empty() ? "MISSES" : "MISSES; " + note;
        std::snprintf(line, sizeof line, "| %s | %s | %.2f | %.2f | %.*f%s | %s | %s |\n", parts, point.what.c_str(),
                      point.partTimeFrom, point.partTimeTo, flight ? 3 : 2, point.value, flight ? " passes" : " s",
                      formatRange(point, flight ? "" : " s").c_str(), note.c_str());
        table += line;
    }
    return table;
}
