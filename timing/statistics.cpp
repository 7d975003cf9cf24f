#include "statistics.h"

#include <algorithm>
#include <cmath>

namespace timing {

namespace {

// Nearest rank: the smallest error that at least that share of the series stays within.
Nanoseconds percentile(const std::vector<Nanoseconds> &sorted, int percent)
{
    const auto rank = (sorted.size() * std::size_t(percent) + 99) / 100;
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

} // namespace

Figures figuresOf(const std::vector<Nanoseconds> &achieved, Nanoseconds requested)
{
    Figures f;
    if (achieved.empty())
        return f;
    f.count = long(achieved.size());
    f.min = *std::min_element(achieved.begin(), achieved.end());
    f.max = *std::max_element(achieved.begin(), achieved.end());
    Nanoseconds sum{0};
    std::vector<Nanoseconds> errors;
    for (const Nanoseconds d : achieved) {
        sum += d;
        errors.push_back(Nanoseconds(std::abs((d - requested).count())));
    }
    f.mean = sum / f.count;
    std::sort(errors.begin(), errors.end());
    f.errorP50 = percentile(errors, 50);
    f.errorP99 = percentile(errors, 99);
    return f;
}

} // namespace timing
