// What a module's timing means for the pictures: how long the sliding texts stay on screen in
// each of their parts and how often each flight goes round its camera track, from the times at
// which the module's orders begin and the effects' own formulas.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The orders one pass of the module enters, in playing order, each with the second it begins at,
// and the second the pass ends at: where the show ends, or the module's own length when the show
// would not end on it.
struct PartVisit {
    int32_t part;
    double start;
};
struct OrderTimes {
    std::vector<PartVisit> visits;
    double end = 0.0;
    bool ends = true;    // the show ends on the module
    std::string endless; // otherwise the line that says so
};

// Plays the module as the show does (modulepass) and notes where each order begins. False, with a
// one-line reason, only when libopenmpt rejects it.
bool readOrderTimes(const std::vector<char> &moduleBytes, OrderTimes *times, std::string *reason);

// One measured point: a text's seconds on screen in one part, or a flight's passes round its track.
struct PacePoint {
    std::string what;
    int firstPart, lastPart;
    double partTimeFrom, partTimeTo; // the span of partTime the parts show
    double value;                    // seconds on screen, or passes round the track
    double least, most;              // the range the pictures need
    std::string note;                // where a flight's track starts again, or why nothing was measured
    bool holds;
    bool measured;                   // false: its parts are not played so that it can be
};

// The title in parts 4-7 and the scroller in 30-41 (each at least minimumTextSeconds on screen),
// the credits flight (22-29) and the forest flight (42-49, its track forestPathFrames long) each
// between 0.9 and 1.3 passes.
constexpr double minimumTextSeconds = 0.4;
std::vector<PacePoint> measurePace(const OrderTimes &times, int32_t forestPathFrames);

// The points as a Markdown table.
std::string formatPaceTable(const std::vector<PacePoint> &points);
