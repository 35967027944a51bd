#pragma once
// When not to believe a run: figures of every dimension (the exponents sorted, the largest
// with its standard error, the sum, the Kaplan-Yorke dimension) and the checks of a run,
// each with a stable code, the measured figure, its threshold and one sentence of advice.
// Every check ends passed, warned or not checked (with the reason and how to check it), so
// a verdict never claims more than was looked at. Everything is computed from result
// objects, never from text.
//
// Some checks need more than the run itself: the same run at half the initial radius
// (radius-dependence, and the radius part of the standard error) and the run of the
// time-reversed series (time-symmetric, spurious-largest). `probe` makes those runs;
// `diagnose` without them reports these checks as not checked.

#include <cstdint>
#include <optional>
#include <span>
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
// Two estimates of lambda1 from the same samples agree when they differ by at most the
// largest of a relative part of the larger magnitude, a multiple of their combined
// trajectory standard errors, and an absolute floor (bits per unit time).
// dimension-drift: lambda1 settles from the lowest dimension from which every two
// dimensions agree (at least three of them in a run of four or more).
inline constexpr double kDriftRelative = 0.10;
inline constexpr double kDriftErrors = 2.0;
inline constexpr double kDriftFloor = 0.05;
// radius-dependence: the run at kRadiusProbe times the initial radius against the run.
inline constexpr double kRadiusProbe = 0.5;
inline constexpr double kRadiusRelative = 0.15;
inline constexpr double kRadiusErrors = 2.0;
inline constexpr double kRadiusFloor = 0.05;
// stalled: fewer than this many consecutive steps given up, and at most this share of all
// iterations.
inline constexpr std::int64_t kStallRun = 200;
inline constexpr double kStallShare = 0.20;
// The trajectory standard error of lambda1: batch means of the report intervals of the
// counted steps, in round(sqrt(M)) batches for M intervals, kMinBatches to kMaxBatches
// (none below kMinBatches intervals).
inline constexpr int kMinBatches = 8;
inline constexpr int kMaxBatches = 30;
// The radius part of the standard error: the spread of log(extent) over this many
// consecutive segments of the samples, each of at least kMinSegmentSamples.
inline constexpr int kExtentSegments = 8;
inline constexpr std::int64_t kMinSegmentSamples = 250;
// unconverged: the trajectory standard error of the largest exponent may be at most
// kRelativeError of its magnitude, or kAbsoluteError when the magnitude is below
// kSmallExponent.
inline constexpr double kRelativeError = 0.10;
inline constexpr double kSmallExponent = 0.2;
inline constexpr double kAbsoluteError = 0.02;
// wide-neighbourhoods: at most this many radius enlargements per counted step on average.
inline constexpr double kMaxMeanEnlargements = 4.0;
// time-symmetric: a reversed exponent g copies a forward one f when |f - g| is at most
// kCopyTolerance * max(|f|, |g|) or kCopyFloor (bits per unit time); the forward spectrum
// is symmetric about zero when every f_i copies -f_(m+1-i) in the same sense.
inline constexpr double kCopyTolerance = 0.25;
inline constexpr double kCopyFloor = 0.05;
// A forward exponent f and a negated reversed one g are partners when |f - g| is at most
// kReverseTolerance * max(|f|, |g|, kReverseFloor) (bits per unit time).
inline constexpr double kReverseTolerance = 0.25;
inline constexpr double kReverseFloor = 0.1;
}  // namespace thresholds

// One warning: a stable code, the figure that was measured, the threshold it passed, what
// it means and what to do.
struct Warning {
    std::string code;  // non-finite, short, coarse, positive-sum, dimension-drift, stalled,
                       // unconverged, wide-neighbourhoods, radius-dependence,
                       // time-symmetric, spurious-largest
    double figure = 0.0;
    double threshold = 0.0;
    std::string message;
    std::string advice;
};

// What became of one check.
enum class CheckState : std::uint8_t { Passed, Warned, NotChecked };
const char* check_state_name(CheckState s);  // "passed", "warned", "not checked"

struct CheckStatus {
    std::string code;  // a warning's code, or "surrogates"
    CheckState state = CheckState::Passed;
    // Not checked: why, and how to check it. Passed: what was found, when there is more to
    // say than the pass (dimension-drift names the dimension from which lambda1 settles).
    std::string note;
};

// Figures of the counted steps: the radius enlargements and the neighbours of the highest
// dimension at the accepted search of each.
struct StepFigures {
    std::int64_t counted_steps = 0;
    std::int64_t enlargements = 0;  // over all counted steps
    double mean_enlargements = 0.0;
    std::int64_t max_enlargements = 0;
    double mean_neighbours = 0.0;
};
StepFigures step_figures(const Result& r);

// lambda1 of one dimension: its largest final exponent, bits per unit time (a value that is
// not a number counts as the smallest; NaN only when every one is).
double lambda1_of(const DimensionEstimates& d);

// The figures of one dimension, in bits per unit time.
struct DimensionFigures {
    int dimension = 0;
    std::vector<double> sorted;  // the final exponents from the largest to the smallest
    double lambda1 = 0.0;        // the largest
    // The standard error of lambda1: the trajectory part and, when the half-radius run was
    // made, the radius part, combined in quadrature. None when the run holds fewer report
    // intervals than kMinBatches.
    std::optional<double> lambda1_error;
    // Batch means of the counted steps: how far the trajectory's own fluctuations move the
    // running estimate.
    std::optional<double> lambda1_trajectory_error;
    // How far the sampling spread of the extent moves lambda1 through the radius, which is
    // a percentage of the extent: the slope of lambda1 against log(radius) between the run
    // and the half-radius run, times the spread of log(extent) over segments of the
    // samples. None without the half-radius run.
    std::optional<double> lambda1_radius_error;
    std::optional<double> lambda1_half_radius;  // lambda1 of the half-radius run
    double sum = 0.0;
    double kaplan_yorke = 0.0;  // j + (sum of the j largest) / |lambda(j+1)|
};

enum class Reversal : std::uint8_t { Confirmed, LikelySpurious, Inconclusive };
const char* reversal_name(Reversal r);

struct ReverseCheck {
    int dimension = 0;             // the run's highest
    std::vector<double> forward;   // final exponents, sorted from the largest
    std::vector<double> reversed;  // of the reversed series, sorted from the largest
    std::vector<int> partner;      // per forward exponent: the index of its partner among
                                   // the negated reversed ones, or -1
    std::vector<Reversal> marks;   // per forward exponent
    bool conclusive = false;
    bool reversed_trusted = true;  // false: the reversed run counted no step, or is short,
                                   // coarse or stalled
    std::string reason;            // why it is inconclusive, or what it found
};

// The extra runs of the full verdict, on the same samples and parameters.
struct Probes {
    std::optional<Result> half_radius;  // the initial radius times kRadiusProbe
    std::optional<Result> reversed;     // the samples in reverse order
    // The standard deviation of log(extent) over kExtentSegments segments of the samples
    // used; none when the segments would be shorter than kMinSegmentSamples.
    std::optional<double> extent_spread;
};

// Runs the probes of the verdict for these samples and parameters (the parameters of the
// run being judged): the reversed run, and unless `half_radius` is false the half-radius
// run with the spread of the extent. ParameterError as run() would throw it.
Probes probe(std::span<const float> samples, const Parameters& p, bool half_radius = true);

// The spread of log(extent) over segments of these samples (see Probes::extent_spread).
std::optional<double> extent_spread(std::span<const float> samples);

struct Diagnosis {
    bool counted_any = false;  // false: no step was counted, there is nothing to judge
    std::vector<DimensionFigures> figures;
    std::vector<Warning> warnings;         // in the order of the codes above
    std::vector<CheckStatus> checks;       // every check, in the same order, then "surrogates"
    std::optional<ReverseCheck> reversal;  // with the reversed run
    std::optional<int> settles_from;       // the dimension from which lambda1 settles

    bool has(const std::string& code) const;
    // The checks that were not made.
    std::vector<CheckStatus> not_checked() const;
};

// The diagnosis of a run; with probes (made by probe() for the same samples and
// parameters) the checks that need them are made too.
Diagnosis diagnose(const Result& r, const Probes* probes = nullptr);

// The checks that need only the series, for front-ends that look before a run.
std::optional<Warning> coarse_check(const SeriesFacts& f);
// `short` before a run: the highest dimension against the number of samples, and the
// steps a run can count at most (its iteration budget less the warm-up).
std::optional<Warning> short_check(int highest_dimension, std::int64_t samples,
                                   std::int64_t counted_steps);
// The highest embedding dimension that `short` allows for N samples: floor(2 log10 N).
int highest_resolvable_dimension(std::int64_t samples);
// A series every sample of which truncates to one integer has no neighbourhood with any
// extent: the message that says so (with what to do), or nothing.
std::optional<std::string> one_integer_refusal(const SeriesFacts& f);

// The Kaplan-Yorke dimension of exponents sorted from the largest: 0 when the largest is
// negative, the count when no partial sum turns negative.
double kaplan_yorke(const std::vector<double>& sorted);

// Pairs the forward exponents with the negated reversed ones (nearest first, relative to
// their size) and marks each: a forward exponent with a partner is confirmed, one without is
// likely spurious. The test is inconclusive (no exponent marked spurious) when
// `reversed_ok` is false, when the reversed spectrum copies the forward one (the mark of a
// time-symmetric process, whose negation would pair by chance: then none is confirmed
// either), when fewer than half
// of the forward exponents find a partner, or when the largest reversed exponent (the most
// contracting forward direction, negated) finds none.
ReverseCheck pair_reversed(const std::vector<double>& forward, const std::vector<double>& reversed,
                           bool reversed_ok, const std::string& why_not);

// True when every reversed exponent copies the forward one of the same rank (both sorted
// from the largest).
bool same_spectrum(const std::vector<double>& forward, const std::vector<double>& reversed);
// The same, while the forward spectrum is not symmetric about zero (a symmetric spectrum
// is its own negation: a copy then tells nothing).
bool copies_forward(const std::vector<double>& forward, const std::vector<double>& reversed);

// Runs the time-reversed series with the same parameters and compares the highest
// dimension of both runs. The reversed run is not trustworthy when it counts no step or
// its verdict has `short`, `coarse` or `stalled`.
ReverseCheck reverse_check(std::span<const float> x, const Parameters& p, const Result& forward);
// The same comparison from a reversed run already made.
ReverseCheck reverse_check(const Result& forward, const Result& reversed);

}  // namespace tarnvex
