// The content generators' fixed-seed generator: xorshift32, tiny and the same on every machine,
// so that regenerated content comes out byte for byte as committed.
#pragma once
#include <cstdint>

struct Random {
    uint32_t state;
};

// The next value in [0, 1).
inline double nextRandom(Random &random)
{
    uint32_t x = random.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    random.state = x;
    return (x >> 8) / 16777216.0;
}

inline double randomBetween(Random &random, double low, double high)
{
    return low + (high - low) * nextRandom(random);
}
