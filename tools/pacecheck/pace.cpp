#include "pace.h"

#include <cmath>
#include <cstdio>

#include "assets/camerapaths.h"
#include "driver/demo.h"
#include "effects/meshscenes.h"
#include "effects/voxeltext.h"
#include "modulepass/modulepass.h"

namespace {

const double sampleStep = 0.001; // seconds of partTime between two looks at a text
const double fewestPasses = 0.9, mostPasses = 1.3;
const int rowsPerOrder = 64;

// When the pass leaves visit k: the next visit's start or the pass's end.
double findVisitEnd(const OrderTimes &times, size_t k)
{
    return k + 1 < times.visits.size() ? times.visits[k + 1].start : times.end;
}

// The first visit of a part at or after visit from; times.visits.size() when there is none.
size_t findVisit(const OrderTimes &times, int part, size_t from = 0)
{
    while (from < times.visits.size() && times.visits[from].part != part)
        ++from;
    return from;
}

// When partTime last restarted at or before visit k began, by the show's own rules applied to the
// parts as they were entered: the start of that visit, or the show's start.
double findPartTimeOrigin(const OrderTimes &times, size_t k)
{
    const FrameClocks savedClocks = frameClocks;
    const bool savedEnd = endRequested;
    double origin = 0.0;
    for (size_t visit = 0; visit <= k && visit < times.visits.size(); ++visit) {
        frameClocks.partTime = 1.0f;
        applyPartChange(times.visits[visit].part, visit ? times.visits[visit - 1].part : -1);
        if (frameClocks.partTime == 0.0f)
            origin = times.visits[visit].start;
    }
    frameClocks = savedClocks;
    endRequested = savedEnd;
    return origin;
}

PacePoint makePoint(const char *what, int firstPart, int lastPart, double least, double most)
{
    return PacePoint{what, firstPart, lastPart, 0.0, 0.0, 0.0, least, most, "", false, false};
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
        PacePoint point = makePoint(what, part, part, minimumTextSeconds, INFINITY);
        const size_t visit = findVisit(times, part);
        if (visit == times.visits.size()) {
            point.note = "not measured: the part is never played";
            points.push_back(point);
            continue;
        }
        const double origin = findPartTimeOrigin(times, visit);
        point.partTimeFrom = times.visits[visit].start - origin;
        point.partTimeTo = findVisitEnd(times, visit) - origin;
        point.value = measureSecondsOnScreen(boxAt, point.partTimeFrom, point.partTimeTo);
        point.measured = true;
        point.holds = point.value >= point.least;
        points.push_back(point);
    }
}

// Where the module is at a time of the pass: "part 29 row 52".
std::string describePosition(const OrderTimes &times, double at)
{
    for (size_t k = 0; k < times.visits.size(); ++k) {
        const double from = times.visits[k].start, to = findVisitEnd(times, k);
        if (at >= from && at < to) {
            char text[48];
            std::snprintf(text, sizeof text, "part %d row %d", times.visits[k].part,
                          int((at - from) / (to - from) * rowsPerOrder));
            return text;
        }
    }
    return "after the pass";
}

// From the first part's first visit to the end of the last part's next visit, on one run of partTime.
void addFlightPoint(std::vector<PacePoint> &points, const OrderTimes &times, const char *what, int firstPart,
                    int lastPart, int32_t pathCount)
{
    PacePoint point = makePoint(what, firstPart, lastPart, fewestPasses, mostPasses);
    const size_t first = findVisit(times, firstPart);
    const size_t last = findVisit(times, lastPart, first);
    const double origin = first < times.visits.size() ? findPartTimeOrigin(times, first) : 0.0;
    if (pathCount < 1)
        point.note = "not measured: the track has no frames";
    else if (last == times.visits.size())
        point.note = "not measured: the parts are never played";
    else if (findPartTimeOrigin(times, last) != origin)
        point.note = "not measured: partTime restarts between its parts";
    if (!point.note.empty()) {
        points.push_back(point);
        return;
    }
    point.partTimeFrom = times.visits[first].start - origin;
    point.partTimeTo = findVisitEnd(times, last) - origin;
    // Passes as the scene counts them: path frames gone by, over the frames of one pass.
    point.value = (double(pathFrameAt(float(point.partTimeTo), pathCount)) -
                   double(pathFrameAt(float(point.partTimeFrom), pathCount))) / pathCount;
    point.measured = true;
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
    std::string why;
    openmpt_module *module = openShowModule(moduleBytes.data(), moduleBytes.size(), &why, nullptr);
    if (!module) {
        *reason = "libopenmpt rejects it: " + why;
        return false;
    }
    const ShowPass pass = walkShowPass(module);
    openmpt_module_destroy(module);
    const int64_t end = measuredFrames(pass);
    times->visits.clear();
    for (const OrderVisit &visit : pass.visits)
        if (visit.firstFrame < end)
            times->visits.push_back({visit.order, double(visit.firstFrame) / passSampleRate});
    times->end = double(end) / passSampleRate;
    times->ends = pass.ends;
    times->endless = pass.ends ? "" : describeEndlessPass(pass);
    return true;
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
        if (point.measured && !point.holds)
            note = note.empty() ? "MISSES" : "MISSES; " + note;
        if (point.measured)
            std::snprintf(line, sizeof line, "| %s | %s | %.2f | %.2f | %.*f%s | %s | %s |\n", parts,
                          point.what.c_str(), point.partTimeFrom, point.partTimeTo, flight ? 3 : 2, point.value,
                          flight ? " passes" : " s", formatRange(point, flight ? "" : " s").c_str(), note.c_str());
        else
            std::snprintf(line, sizeof line, "| %s | %s | - | - | - | %s | %s |\n", parts, point.what.c_str(),
                          formatRange(point, flight ? "" : " s").c_str(), note.c_str());
        table += line;
    }
    return table;
}
