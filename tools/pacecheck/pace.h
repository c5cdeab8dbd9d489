// What a module's timing means for the pictures: how long the sliding texts stay on screen in
// each of their parts and how often each flight goes round its camera track, from the times at
// which the module's orders begin and the effects' own formulas.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// When each order of one pass begins, in seconds of playback, and when the pass ends (the
// module back at order 0).
struct OrderTimes {
    std::vector<double> starts; // by order; negative for an order the pass never reaches
    double end = 0.0;
};

// Plays the module once with libopenmpt, as the show hears it, and notes where each order
// begins. False, with a one-line reason, when libopenmpt rejects it or it never returns to 0.
bool readOrderTimes(const std::vector<char> &moduleBytes, OrderTimes *times, std::string *reason);

// One measured point: a text's seconds on screen in one part, or a flight's passes round its track.
struct PacePoint {
    std::string what;
    int firstPart, lastPart;
    double partTimeFrom, partTimeTo; // the span of partTime the parts show
    double value;                    // seconds on screen, or passes round the track
    double least, most;              // the range the pictures need
    std::string note;                // where a flight's track starts again
    bool holds;
};

// The title in parts 4-7 and the scroller in 30-41 (each at least minimumTextSeconds on screen),
// the credits flight (22-29) and the forest flight (42-49, its track forestPathFrames long) each
// between 0.9 and 1.3 passes.
constexpr double minimumTextSeconds = 0.4;
std::vector<PacePoint> measurePace(const OrderTimes &times, int32_t forestPathFrames);

// The points as a Markdown table.
std::string formatPaceTable(const std::vector<PacePoint> &points);
