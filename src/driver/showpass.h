// The show's pass: from part 0 until the music goes from the last scene's order back to the
// first. The frame loop's part-change rules end the show here, and every tool that plays the
// module (the offline renderer, soundcheck, pacecheck) ends a pass by the same test.
#pragma once
#include <cstdint>

// The last part with a scene; the show ends when the module leaves it for order 0.
constexpr int32_t lastScenePart = 50;

// Whether entering enteredPart from previousPart ends the show.
bool endsShow(int32_t enteredPart, int32_t previousPart);
