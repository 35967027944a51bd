#pragma once
// The median of a set of values.

#include <algorithm>
#include <limits>
#include <vector>

namespace tarnvex {

// The middle value of an odd count, the mean of the two middle ones of an even count, NaN
// of none. The values must not hold NaN (it has no place in their order).
inline double median(std::vector<double> values) {
    if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

}  // namespace tarnvex
