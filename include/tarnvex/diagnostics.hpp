#pragma once
// When not to believe a run: figures of every dimension (the exponents sorted, the largest
// with its standard error, the sum, the Kaplan-Yorke dimension) and the checks of a run,
// each with a stable code, the measured figure, its threshold and one sentence of advice.
// Everything is computed from the result object, never from text.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

// The thresholds of the checks, in one place. Their reasons are in the README.
namespace thresholds {
// short: the highest dimension may not exceed kEckmannRuelle * log10(N) for N samples
// (Eckmann and Ruelle's bound for exponents from a series of N points) ...
inline constexpr double kEckmannRuelle = 2.0;
// ... and a run should count at least this many steps.
inline constexpr std::int64_t kMinCountedSteps = 500;
// coarse: the truncated samples should span at least this many integer steps and take at
// least this many distinct integers, or this share of the samples when there are fewer
// than twice as many samples (a short series cannot take many values; that is `short`).
inline constexpr std::int64_t kMinIntegerSpan = 1000;
inline constexpr std::int64_t kMinDistinctIntegers = 1000;
inline constexpr double kMinDistinctShare = 0.5;
// non-finite: no final estimate may be infinite or not a number.
inline constexpr int kMaxNonFinite = 0;
// positive-sum: the exponents of a dimension may sum to more than zero by this much (bits
// per unit time) or by the standard error of its largest exponent, whichever is larger.
inline constexpr double kPositiveSumTolerance = 0.01;
// dimension-drift: the largest exponent of the dimensions above the first may spread by
// this fraction of its median, or by kDriftFloor (bits per unit time) near zero.
inline constexpr double kDriftFraction = 0.25;
inline constexpr double kDriftFloor = 0.05;
// stalled: fewer than this many consecutive steps given up, and at most this share of all
// iterations.
inline constexpr std::int64_t kStallRun = 200;
inline constexpr double kStallShare = 0.20;
// unconverged: the standard error of the largest exponent, from the means of at least
// kMinBatches batches of the second half of the run, may be at most kRelativeError of its
// magnitude, or kAbsoluteError when the magnitude is below kSmallExponent.
inline constexpr int kMinBatches = 8;
inline constexpr int kMaxBatches = 30;
inline constexpr double kRelativeError = 0.10;
inline constexpr double kSmallExponent = 0.2;
inline constexpr double kAbsoluteError = 0.02;
// wide-neighbourhoods: at most this many radius enlargements per counted step on average.
inline constexpr double kMaxMeanEnlargements = 4.0;
}  // namespace thresholds

// One warning: a stable code, the figure that was measured, the threshold it passed, what
// it means and what to do.
struct Warning {
    std::string code;  // non-finite, short, coarse, positive-sum, dimension-drift, stalled,
                       // unconverged, wide-neighbourhoods
    double figure = 0.0;
    double threshold = 0.0;
    std::string message;
    std::string advice;
};

// The figures of one dimension, in bits per unit time.
struct DimensionFigures {
    int dimension = 0;
    std::vector<double> sorted;  // the final exponents from the largest to the smallest
    double lambda1 = 0.0;        // the largest
    // Its standard error from batch means over the second half of the run; none when the
    // second half holds fewer report intervals than batches.
    std::optional<double> lambda1_error;
    double sum = 0.0;
    double kaplan_yorke = 0.0;  // j + (sum of the j largest) / |lambda(j+1)|
};

struct Diagnosis {
    bool counted_any = false;  // false: no step was counted, there is nothing to judge
    std::vector<DimensionFigures> figures;
    std::vector<Warning> warnings;  // in the order of the codes above

    bool has(const std::string& code) const;
};

Diagnosis diagnose(const Result& r);

// The checks that need only the series, for front-ends that look before a run.
std::optional<Warning> coarse_check(const SeriesFacts& f);
// `short` before a run: the highest dimension against the number of samples, and the
// steps a run can count at most (its iteration budget less the warm-up).
std::optional<Warning> short_check(int mto, std::int64_t samples, std::int64_t counted_steps);

// The Kaplan-Yorke dimension of exponents sorted from the largest: 0 when the largest is
// negative, the count when no partial sum turns negative.
double kaplan_yorke(const std::vector<double>& sorted);

}  // namespace tarnvex
