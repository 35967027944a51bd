#include "tarnvex/diagnostics.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace tarnvex {

namespace {

using namespace thresholds;

std::string format(const char* fmt, double a, double b = 0.0, double c = 0.0) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

std::string dimensions_text(const std::vector<int>& dims) {
    std::string s;
    for (std::size_t i = 0; i < dims.size(); ++i)
        s += (i == 0 ? "" : ", ") + std::to_string(dims[i]);
    return s;
}

// Standard error of the mean of the exponent in direction `i` over the second half of
// the counted steps, by batch means: the interval averages between consecutive report
// points (from the differences of the cumulative log sums, so each covers only its own
// steps) grouped into batches of consecutive intervals; none when the second half holds
// fewer intervals than kMinBatches.
std::optional<double> batch_error(const DimensionEstimates& d, std::size_t i, float tfac) {
    // Report points of the counted phase, starting from the warm-up's end (0 steps, sum 0).
    std::vector<std::int64_t> steps{0};
    std::vector<double> sums{0.0};
    const auto m = static_cast<std::size_t>(d.dimension);
    for (std::size_t k = 0; k < d.reports(); ++k) {
        if (d.warmup[k] != 0) continue;
        steps.push_back(d.steps[k]);
        sums.push_back(d.log_sums[k * m + i]);
    }
    const std::int64_t total = steps.back();
    std::size_t first = 0;  // the first interval that starts in the second half
    while (first + 1 < steps.size() && 2 * steps[first] < total)
        ++first;
    const std::size_t intervals = steps.size() - 1 - first;
    if (intervals < static_cast<std::size_t>(kMinBatches)) return std::nullopt;
    const std::size_t batches = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::sqrt(static_cast<double>(intervals))),
        static_cast<std::size_t>(kMinBatches), static_cast<std::size_t>(kMaxBatches));
    std::vector<double> means;
    for (std::size_t b = 0; b < batches; ++b) {
        const std::size_t from = first + b * intervals / batches;
        const std::size_t to = first + (b + 1) * intervals / batches;
        const double span =
            static_cast<double>(steps[to] - steps[from]) * static_cast<double>(tfac);
        means.push_back((sums[to] - sums[from]) / span);
    }
    const double mean =
        std::accumulate(means.begin(), means.end(), 0.0) / static_cast<double>(batches);
    double var = 0.0;
    for (const double x : means)
        var += (x - mean) * (x - mean);
    var /= static_cast<double>(batches - 1);
    return std::sqrt(var / static_cast<double>(batches));
}

DimensionFigures figures_of(const DimensionEstimates& d, float tfac) {
    DimensionFigures f;
    f.dimension = d.dimension;
    f.sorted.assign(d.final_exponents.begin(), d.final_exponents.end());
    // From the largest; a value that is not a number goes last.
    std::sort(f.sorted.begin(), f.sorted.end(),
              [](double a, double b) { return a > b || (std::isnan(b) && !std::isnan(a)); });
    f.lambda1 = f.sorted.front();
    f.sum = std::accumulate(f.sorted.begin(), f.sorted.end(), 0.0);
    f.kaplan_yorke = kaplan_yorke(f.sorted);
    const auto largest = static_cast<std::size_t>(
        std::max_element(d.final_exponents.begin(), d.final_exponents.end()) -
        d.final_exponents.begin());
    f.lambda1_error = batch_error(d, largest, tfac);
    return f;
}

std::optional<Warning> non_finite(const Result& r) {
    int count = 0;
    for (const auto& d : r.dimensions) {
        for (const float v : d.final_exponents)
            count += std::isfinite(v) ? 0 : 1;
    }
    if (count <= kMaxNonFinite) return std::nullopt;
    return Warning{
        "non-finite", static_cast<double>(count), static_cast<double>(kMaxNonFinite),
        format("%.0f final estimates are infinite or not a number", static_cast<double>(count)),
        "the log sums overflowed or a stretching factor was zero: check dt and the "
        "scale of the series"};
}

std::optional<Warning> positive_sum(const Diagnosis& dg) {
    std::vector<int> dims;
    double worst = 0.0;
    for (const auto& f : dg.figures) {
        const double tolerance = std::max(kPositiveSumTolerance, f.lambda1_error.value_or(0.0));
        if (f.dimension < 2 || !(f.sum > tolerance)) continue;
        dims.push_back(f.dimension);
        worst = std::max(worst, f.sum);
    }
    if (dims.empty()) return std::nullopt;
    return Warning{"positive-sum", worst, 0.0,
                   "the exponents of dimension " + dimensions_text(dims) +
                       " sum to more than zero (" + format("%.2f", worst) +
                       "), which no dissipative attractor does",
                   "noise dominates or the embedding does not unfold the attractor: try "
                   "smaller radii, more samples or other delays"};
}

std::optional<Warning> dimension_drift(const Result& r, const Diagnosis& dg) {
    std::vector<double> lambda1;
    for (const auto& f : dg.figures) {
        if (f.dimension > r.parameters.mfrom) lambda1.push_back(f.lambda1);
    }
    if (lambda1.size() < 2) return std::nullopt;
    const auto [lo, hi] = std::minmax_element(lambda1.begin(), lambda1.end());
    const double spread = *hi - *lo;
    std::vector<double> sorted = lambda1;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    const double median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    const double limit = std::max(kDriftFraction * std::fabs(median), kDriftFloor);
    if (!(spread > limit)) return std::nullopt;
    return Warning{"dimension-drift", spread, limit,
                   format("the largest exponent of the dimensions above %.0f spreads by %.2f "
                          "around its median %.2f",
                          r.parameters.mfrom, spread, median),
                   "an exponent that keeps changing with the dimension is no property of "
                   "the system; a steady fall is the mark of noise"};
}

std::optional<Warning> stalled(const Result& r) {
    std::int64_t run = 0, longest = 0, began = 0, longest_began = 0;
    for (std::size_t k = 0; k < r.steps.size(); ++k) {
        if (r.steps[k].outcome == StepOutcome::GivenUp) {
            if (run == 0) began = static_cast<std::int64_t>(k) + 1;
            ++run;
            if (run > longest) {
                longest = run;
                longest_began = began;
            }
        } else {
            run = 0;
        }
    }
    const double share =
        r.iterations > 0 ? static_cast<double>(r.steps_given_up) / static_cast<double>(r.iterations)
                         : 0.0;
    if (longest < kStallRun && !(share > kStallShare)) return std::nullopt;
    const double covered = r.series.samples_used > 0
                               ? static_cast<double>(r.counted_steps) *
                                     static_cast<double>(r.parameters.evolv) /
                                     static_cast<double>(r.series.samples_used)
                               : 0.0;
    const bool by_run = longest >= kStallRun;
    return Warning{
        "stalled", by_run ? static_cast<double>(longest) : share,
        by_run ? static_cast<double>(kStallRun) : kStallShare,
        format("%.0f steps given up in a row from iteration %.0f on; %.0f%% of the iterations "
               "given up",
               static_cast<double>(longest), static_cast<double>(longest_began), 100.0 * share) +
            format(": the estimates rest on %.0f counted steps, %.0f%% of the series",
                   static_cast<double>(r.counted_steps), 100.0 * covered),
        "the neighbourhoods stopped qualifying: try a larger radius or fewer neighbours"};
}

std::optional<Warning> unconverged(const Diagnosis& dg) {
    for (auto f = dg.figures.rbegin(); f != dg.figures.rend(); ++f) {
        if (!f->lambda1_error) continue;
        const double magnitude = std::fabs(f->lambda1);
        const double limit =
            magnitude < kSmallExponent ? kAbsoluteError : kRelativeError * magnitude;
        if (!(*f->lambda1_error > limit)) continue;
        return Warning{"unconverged", *f->lambda1_error, limit,
                       format("the largest exponent of dimension %.0f, %.2f, has a standard "
                              "error of %.3f over the second half of the run",
                              f->dimension, f->lambda1, *f->lambda1_error),
                       "the running estimate has not settled: use more samples"};
    }
    return std::nullopt;
}

std::optional<Warning> wide_neighbourhoods(const Result& r) {
    double sum = 0.0;
    std::int64_t counted = 0;
    for (const StepRecord& s : r.steps) {
        if (s.outcome != StepOutcome::Counted) continue;
        sum += s.ngrow;
        ++counted;
    }
    if (counted == 0) return std::nullopt;
    const double mean = sum / static_cast<double>(counted);
    if (!(mean > kMaxMeanEnlargements)) return std::nullopt;
    return Warning{"wide-neighbourhoods", mean, kMaxMeanEnlargements,
                   format("the radius grew %.1f times per counted step on average", mean),
                   "the neighbourhoods are far from local, so the fitted maps are not: "
                   "start from a larger radius or ask for fewer neighbours"};
}

}  // namespace

bool Diagnosis::has(const std::string& code) const {
    return std::any_of(warnings.begin(), warnings.end(),
                       [&](const Warning& w) { return w.code == code; });
}

double kaplan_yorke(const std::vector<double>& sorted) {
    double sum = 0.0;
    for (std::size_t j = 0; j < sorted.size(); ++j) {
        if (sum + sorted[j] < 0.0) {
            return static_cast<double>(j) + sum / std::fabs(sorted[j]);
        }
        sum += sorted[j];
    }
    return static_cast<double>(sorted.size());
}

std::optional<Warning> short_check(int mto, std::int64_t samples, std::int64_t counted_steps) {
    const double bound =
        kEckmannRuelle * std::log10(static_cast<double>(std::max<std::int64_t>(samples, 1)));
    if (static_cast<double>(mto) > bound) {
        return Warning{"short", static_cast<double>(mto), bound,
                       format("dimension %.0f exceeds 2 log10 N = %.1f for N = %.0f samples", mto,
                              bound, static_cast<double>(samples)),
                       "exponents of that dimension may not be resolvable from so few samples: "
                       "use lower dimensions or a longer series"};
    }
    if (counted_steps < kMinCountedSteps) {
        return Warning{"short", static_cast<double>(counted_steps),
                       static_cast<double>(kMinCountedSteps),
                       format("only %.0f counted steps", static_cast<double>(counted_steps)),
                       "the estimates rest on too few steps: use a longer series or a smaller "
                       "evolution time"};
    }
    return std::nullopt;
}

std::optional<Warning> coarse_check(const SeriesFacts& f) {
    const std::int64_t span = f.int_max - f.int_min;
    const double distinct_limit = std::min(static_cast<double>(kMinDistinctIntegers),
                                           kMinDistinctShare * static_cast<double>(f.samples_used));
    const bool few = static_cast<double>(f.distinct_ints) < distinct_limit;
    if (!few && span >= kMinIntegerSpan) return std::nullopt;
    return Warning{"coarse", static_cast<double>(few ? f.distinct_ints : span),
                   few ? distinct_limit : static_cast<double>(kMinIntegerSpan),
                   format("the samples truncate to %.0f distinct integers over a span of %.0f",
                          static_cast<double>(f.distinct_ints), static_cast<double>(span)),
                   "every sample is truncated to an integer: scale the series first "
                   "(tarnvex-kit prep)"};
}

Diagnosis diagnose(const Result& r) {
    Diagnosis dg;
    dg.counted_any = r.counted_steps > 0;
    if (!dg.counted_any) return dg;
    const float tfac = time_factor(r.parameters.evolv, r.parameters.dt);
    for (const auto& d : r.dimensions)
        dg.figures.push_back(figures_of(d, tfac));
    const auto add = [&](std::optional<Warning> w) {
        if (w) dg.warnings.push_back(std::move(*w));
    };
    add(non_finite(r));
    add(short_check(r.parameters.mto, r.series.samples_used, r.counted_steps));
    add(coarse_check(r.series));
    add(positive_sum(dg));
    add(dimension_drift(r, dg));
    add(stalled(r));
    add(unconverged(dg));
    add(wide_neighbourhoods(r));
    return dg;
}

}  // namespace tarnvex
