// The module's current tempo through whichever libopenmpt the build has: 0.7 deprecates
// get_current_tempo() for get_current_tempo2(), which 0.6 does not have.
#pragma once
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>

inline int currentTempo(openmpt::module &module)
{
#if OPENMPT_API_VERSION_AT_LEAST(0, 7, 0)
    return int(std::lround(module.get_current_tempo2()));
#else
    return module.get_current_tempo();
#endif
}
