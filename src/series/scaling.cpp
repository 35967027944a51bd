// The scaling rules: measured values as the integers a run resolves.

#include "tarnvex/scaling.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>

#include "convert.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

namespace {

// A number for a message: whole numbers in full, others to nine digits.
std::string number(double v) {
    char buf[40];
    if (std::trunc(v) == v && std::fabs(v) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", v);
    } else {
        std::snprintf(buf, sizeof buf, "%.9g", v);
    }
    return buf;
}

// The refusals of a series before any factor: none, too many, or one that is not finite.
// The advice speaks to the Python package's callers, who scale this way.
void check_values(std::span<const double> v) {
    const std::size_t n = v.size();
    if (n == 0) throw ScalingError("the series is empty");
    if (n > static_cast<std::size_t>(kMaxSamples)) {
        throw ScalingError("the series has " + std::to_string(n) +
                           " samples; a run takes at most " + std::to_string(kMaxSamples) +
                           ": run a window of it, e.g. x[:" + std::to_string(kMaxSamples) +
                           "], or several windows with tarnvex.batch");
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) {
            throw ScalingError(
                "sample " + std::to_string(i) + " (counting from 0) is " +
                (std::isnan(v[i]) ? "NaN" : (v[i] > 0 ? "+inf" : "-inf")) +
                ": every sample must be a finite number; remove or fill the gap first");
        }
    }
}

// The first sample whose truncation does not fit 32 bits, or -1.
std::ptrdiff_t first_unfit(const std::vector<float>& s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!fits_i32(s[i])) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

// float32(x[i] * factor) for every sample: the product in double, rounded once.
void convert(std::span<const double> x, double factor, std::vector<float>& out) {
    out.resize(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = static_cast<float>(x[i] * factor);
}

// max - min of single-precision samples, in double.
double span_of(const std::vector<float>& s) {
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    return static_cast<double>(*hi) - static_cast<double>(*lo);
}

}  // namespace

ScaledSeries scale_by(std::span<const double> values, double factor) {
    check_values(values);
    if (!(std::isfinite(factor) && factor > 0.0)) {
        throw ScalingError("scale must be a positive finite number, not " + number(factor));
    }
    ScaledSeries out;
    out.factor = factor;
    convert(values, factor, out.samples);
    const std::ptrdiff_t bad = first_unfit(out.samples);
    if (bad >= 0) {
        const auto i = static_cast<std::size_t>(bad);
        throw ScalingError("sample " + std::to_string(i) + " (" + number(values[i]) +
                           ") times the scale " + number(factor) + " is " +
                           number(static_cast<double>(out.samples[i])) +
                           ", whose truncation does not fit a 32-bit integer: give a smaller "
                           "scale or subtract an offset (e.g. the mean) first");
    }
    return out;
}

ScaledSeries scale_by_power_of_ten(std::span<const double> values) {
    check_values(values);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const bool constant = *lo == *hi;
    ScaledSeries out;
    for (int k = 0;; ++k) {
        const double factor = std::pow(10.0, k);  // exact up to 10^22
        convert(values, factor, out.samples);
        const std::ptrdiff_t bad = first_unfit(out.samples);
        if (bad >= 0) {
            const auto i = static_cast<std::size_t>(bad);
            const std::string why =
                k == 0 ? "is " + number(values[i]) + ", whose truncation"
                       : "becomes " + number(static_cast<double>(out.samples[i])) +
                             " at the factor 10^" + std::to_string(k) +
                             " the series needs to span 10000 integer steps, and its truncation";
            throw ScalingError("sample " + std::to_string(i) + " " + why +
                               " does not fit a 32-bit integer: subtract an offset (e.g. the "
                               "mean) first, or give scale= yourself");
        }
        if (constant || span_of(out.samples) >= kTargetSpan) {
            out.factor = factor;
            out.power = k;
            return out;
        }
    }
}

OffsetSpanScaling scale_offset_and_span(std::span<const double> values, long steps) {
    if (values.empty()) throw ScalingError("no values to scale");
    if (steps < 1) throw ScalingError("the steps must be at least 1, not " + std::to_string(steps));
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double xmin = *lo, xmax = *hi;
    if (!(xmax > xmin)) throw ScalingError("the column is constant: there is nothing to scale");

    OffsetSpanScaling p;
    p.offset = xmin;
    p.factor = static_cast<double>(steps) / (xmax - xmin);
    // A range beyond the largest double, or so small that the factor is, leaves no integer
    // for some value (infinity times zero).
    if (!std::isfinite(xmax - xmin) || !std::isfinite(p.factor)) {
        char range[96];
        std::snprintf(range, sizeof range, "%.10g to %.10g", xmin, xmax);
        throw ScalingError(std::string("the column's range, ") + range + ", is too " +
                           (std::isfinite(xmax - xmin) ? "small" : "large") + " to scale to " +
                           std::to_string(steps) + " steps");
    }
    std::set<double> before;
    std::set<long long> after;
    p.integers.reserve(values.size());
    for (double v : values) {
        const long long y = std::llround((v - xmin) * p.factor);
        before.insert(v);
        after.insert(y);
        p.integers.push_back(y);
    }
    p.distinct_before = static_cast<long>(before.size());
    p.distinct_after = static_cast<long>(after.size());
    return p;
}

std::vector<std::int32_t> scale_and_truncate(std::span<const double> values, double factor) {
    std::vector<std::int32_t> out;
    out.reserve(values.size());
    for (double v : values) {
        const double s = std::trunc(v * factor);
        if (!(s >= -2147483648.0 && s <= 2147483647.0)) {
            throw ScalingError("a scaled value leaves the 32-bit integer range");
        }
        out.push_back(static_cast<std::int32_t>(s));
    }
    return out;
}

}  // namespace tarnvex
