#pragma once
// Real-to-integer conversion as the program defines it: truncation toward zero, and the
// most negative integer for a value outside the 32-bit range or not a number.

#include <cmath>
#include <cstdint>
#include <limits>

namespace tarnvex {

inline std::int32_t trunc_to_i32(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(std::trunc(v));
}

inline std::int32_t trunc_to_i32(float v) {
    return trunc_to_i32(static_cast<double>(v));
}

// True when the truncation of v is a 32-bit integer.
inline bool fits_i32(float v) {
    const double d = static_cast<double>(v);
    return d > -2147483649.0 && d < 2147483648.0;
}

}  // namespace tarnvex
