#pragma once

#include "duration.h"

#include <vector>

namespace timing {

// What a series of achieved durations came to against the one asked for: the durations
// themselves, and the error (how far each was from what was asked, either way) at its median
// and 99th percentile.
struct Figures
{
    long count = 0;
    Nanoseconds min{0};
    Nanoseconds mean{0};
    Nanoseconds max{0};
    Nanoseconds errorP50{0};
    Nanoseconds errorP99{0};
};

Figures figuresOf(const std::vector<Nanoseconds> &achieved, Nanoseconds requested);

} // namespace timing
