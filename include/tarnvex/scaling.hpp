#pragma once
// Measured values as the integer steps a run resolves. A run truncates every sample toward
// zero, so a series must span enough integer steps before it is run:
// - scale_by_power_of_ten: the smallest factor 10^k (k >= 0) that makes the series span at
//   least kTargetSpan steps, as single-precision samples (the Python package's default);
// - scale_by: a factor the caller gives (the Python package's scale=);
// - scale_offset_and_span: the smallest value to 0 and the range to a number of steps,
//   rounded to the nearest integer (tarnvex-kit prep);
// - scale_and_truncate: the values times a factor, truncated toward zero in double
//   precision (tarnvex-kit gen).

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace tarnvex {

// Values a scaling rule cannot turn into integers; the message says why and what to do.
class ScalingError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// The span the power-of-ten rule aims at, in integer steps of the truncated samples.
inline constexpr double kTargetSpan = 10000.0;

// Samples as a run takes them: float32(x * factor), the product in double, rounded once.
struct ScaledSeries {
    std::vector<float> samples;
    double factor = 1.0;
    std::optional<int> power;  // k of the factor 10^k the power-of-ten rule chose
};

// The smallest power of ten 10^k, k >= 0, whose samples span at least kTargetSpan integer
// steps; a series that does already, or a constant one, keeps the factor 1. Refused
// (ScalingError): no values, more than kMaxSamples, a value that is not finite, and a
// sample whose truncation leaves the 32-bit range on the way to the span.
ScaledSeries scale_by_power_of_ten(std::span<const double> values);

// The samples at the given factor (no power). Refused as scale_by_power_of_ten refuses,
// and a factor that is not positive and finite.
ScaledSeries scale_by(std::span<const double> values, double factor);

// The values of one column of measurements as integers from 0 to `steps`:
// round((x - offset) * factor), offset the smallest value, factor steps / range.
struct OffsetSpanScaling {
    std::vector<long long> integers;
    double offset = 0.0;
    double factor = 0.0;       // integers per unit of the values
    long distinct_before = 0;  // distinct values
    long distinct_after = 0;   // distinct integers; fewer when values merged
};

// Refused (ScalingError): no values, steps < 1, a constant column, and a range too large
// or too small for every value to get an integer.
OffsetSpanScaling scale_offset_and_span(std::span<const double> values, long steps);

// trunc(x * factor) for every value, the product in double. Refused (ScalingError): a
// result outside the 32-bit range.
std::vector<std::int32_t> scale_and_truncate(std::span<const double> values, double factor);

}  // namespace tarnvex
