// The score: which composition of effects each part draws.
#pragma once
#include <cstdint>

// Draws the frame for a part with the current frame clocks; parts outside 0..50 draw nothing.
void drawPart(int32_t part);
