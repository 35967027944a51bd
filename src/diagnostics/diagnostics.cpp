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

std::string two(double v) {
    return format("%.2f", v);
}

std::string dimensions_text(const std::vector<int>& dims) {
    std::string s;
    for (std::size_t i = 0; i < dims.size(); ++i)
        s += (i == 0 ? "" : ", ") + std::to_string(dims[i]);
    return s;
}

// The sample standard deviation (n - 1 in the denominator) of at least two values.
double standard_deviation(const std::vector<double>& v) {
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    double var = 0.0;
    for (const double x : v)
        var += (x - mean) * (x - mean);
    return std::sqrt(var / static_cast<double>(v.size() - 1));
}

// Standard error of the mean of the exponent in direction `i` over the counted steps, by
// batch means: the interval averages between consecutive report points (from the
// differences of the cumulative log sums, so each covers only its own steps) grouped into
// batches of consecutive intervals; none when there are fewer intervals than kMinBatches.
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
    const std::size_t intervals = steps.size() - 1;
    if (intervals < static_cast<std::size_t>(kMinBatches)) return std::nullopt;
    const std::size_t batches = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::lround(std::sqrt(static_cast<double>(intervals)))),
        static_cast<std::size_t>(kMinBatches), static_cast<std::size_t>(kMaxBatches));
    std::vector<double> means;
    for (std::size_t b = 0; b < batches; ++b) {
        const std::size_t from = b * intervals / batches;
        const std::size_t to = (b + 1) * intervals / batches;
        const double span =
            static_cast<double>(steps[to] - steps[from]) * static_cast<double>(tfac);
        means.push_back((sums[to] - sums[from]) / span);
    }
    return standard_deviation(means) / std::sqrt(static_cast<double>(batches));
}

// Sorts from the largest; a value that is not a number goes last.
bool larger(double a, double b) {
    return a > b || (std::isnan(b) && !std::isnan(a));
}

DimensionFigures figures_of(const DimensionEstimates& d, float tfac) {
    DimensionFigures f;
    f.dimension = d.dimension;
    f.sorted.assign(d.final_exponents.begin(), d.final_exponents.end());
    std::sort(f.sorted.begin(), f.sorted.end(), larger);
    f.lambda1 = f.sorted.front();
    f.sum = std::accumulate(f.sorted.begin(), f.sorted.end(), 0.0);
    f.kaplan_yorke = kaplan_yorke(f.sorted);
    const auto largest = static_cast<std::size_t>(
        std::max_element(d.final_exponents.begin(), d.final_exponents.end()) -
        d.final_exponents.begin());
    f.lambda1_trajectory_error = batch_error(d, largest, tfac);
    f.lambda1_error = f.lambda1_trajectory_error;
    return f;
}

std::vector<DimensionFigures> figures_of(const Result& r) {
    std::vector<DimensionFigures> figures;
    if (r.counted_steps <= 0) return figures;
    const float tfac = time_factor(r.parameters.evolv, r.parameters.dt);
    for (const auto& d : r.dimensions)
        figures.push_back(figures_of(d, tfac));
    return figures;
}

const DimensionFigures* figure_of(const std::vector<DimensionFigures>& figures, int m) {
    for (const auto& f : figures)
        if (f.dimension == m) return &f;
    return nullptr;
}

// What one check found: a warning, a note on a pass, or why it was not made.
struct Outcome {
    std::optional<Warning> warning;
    std::string note;
    bool checked = true;

    // Implicit, so that a check returns its warning, or nothing for a pass.
    Outcome() = default;
    Outcome(std::optional<Warning> w) : warning(std::move(w)) {}
    Outcome(Warning w) : warning(std::move(w)) {}
};

Outcome not_made(std::string why) {
    Outcome o;
    o.checked = false;
    o.note = std::move(why);
    return o;
}

constexpr const char* kNoHalfRadiusRun = "a quick run: no run at half the radius";
constexpr const char* kNoReversedRun = "a quick run: no run of the reversed series";

// Whether two estimates of lambda1 from the same samples agree, and the tolerance.
struct Agreement {
    bool agree = true;
    double difference = 0.0;
    double tolerance = 0.0;
};

Agreement agreement(const DimensionFigures& a, const DimensionFigures& b, double relative,
                    double errors, double floor) {
    const double ea = a.lambda1_trajectory_error.value_or(0.0);
    const double eb = b.lambda1_trajectory_error.value_or(0.0);
    Agreement g;
    g.difference = std::fabs(a.lambda1 - b.lambda1);
    g.tolerance = std::max({relative * std::max(std::fabs(a.lambda1), std::fabs(b.lambda1)),
                            errors * std::sqrt(ea * ea + eb * eb), floor});
    g.agree = g.difference <= g.tolerance;  // a value that is not a number never agrees
    return g;
}

std::string lambda1_list(const std::vector<DimensionFigures>& figures) {
    std::string s;
    for (std::size_t i = 0; i < figures.size(); ++i) {
        s += (i == 0 ? "" : ", ") + two(figures[i].lambda1) + " (" +
             std::to_string(figures[i].dimension) + ")";
    }
    return s;
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
                       " sum to more than zero (" + two(worst) +
                       "), which no dissipative attractor does",
                   "noise dominates or the embedding does not unfold the attractor: try "
                   "smaller radii, more samples or other delays"};
}

// The first index from which every two dimensions agree, the plateau spanning at least
// three dimensions, or all of a run of fewer (two agreeing at the top of a rise are no
// plateau); none when there is no such index.
std::optional<std::size_t> plateau_from(const std::vector<DimensionFigures>& f) {
    const std::size_t least = std::min<std::size_t>(f.size(), 3);
    for (std::size_t from = 0; from + least <= f.size(); ++from) {
        bool agree = true;
        for (std::size_t i = from; i < f.size() && agree; ++i) {
            for (std::size_t j = i + 1; j < f.size() && agree; ++j)
                agree = agreement(f[i], f[j], kDriftRelative, kDriftErrors, kDriftFloor).agree;
        }
        if (agree) return from;
    }
    return std::nullopt;
}

Outcome dimension_drift(Diagnosis& dg) {
    const auto& f = dg.figures;
    if (f.size() < 2) {
        return not_made(
            "one dimension: run two or more (--dims FROM:TO) to see whether lambda1 settles");
    }
    if (const auto from = plateau_from(f)) {
        dg.settles_from = f[*from].dimension;
        Outcome o;
        o.note = "lambda1 settles from dimension " + std::to_string(*dg.settles_from) + ": " +
                 lambda1_list(std::vector<DimensionFigures>(
                     f.begin() + static_cast<std::ptrdiff_t>(*from), f.end()));
        return o;
    }
    // The figure: the two dimensions that disagree most, beyond their tolerance.
    Agreement last;
    for (std::size_t i = 0; i < f.size(); ++i) {
        for (std::size_t j = i + 1; j < f.size(); ++j) {
            const Agreement g = agreement(f[i], f[j], kDriftRelative, kDriftErrors, kDriftFloor);
            if (!(last.difference - last.tolerance >= g.difference - g.tolerance)) last = g;
        }
    }
    bool rising = true, falling = true;
    for (std::size_t k = 1; k < f.size(); ++k) {
        rising = rising && f[k].lambda1 > f[k - 1].lambda1;
        falling = falling && f[k].lambda1 < f[k - 1].lambda1;
    }
    const char* how = rising ? "keeps rising" : falling ? "keeps falling" : "keeps changing";
    return Warning{
        "dimension-drift", last.difference, last.tolerance,
        std::string("lambda1 ") + how +
            " with the dimension and reaches no plateau up to the highest: " + lambda1_list(f),
        "an exponent that changes with the dimension is no property of the "
        "system: a rise points to spurious exponents or noise, a steady fall to "
        "noise; look for a plateau at other dimensions and radii"};
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

Outcome unconverged(const Diagnosis& dg) {
    bool any = false;
    for (auto f = dg.figures.rbegin(); f != dg.figures.rend(); ++f) {
        if (!f->lambda1_trajectory_error) continue;
        any = true;
        const double error = *f->lambda1_trajectory_error;
        const double magnitude = std::fabs(f->lambda1);
        const double limit =
            magnitude < kSmallExponent ? kAbsoluteError : kRelativeError * magnitude;
        if (!(error > limit)) continue;
        return Warning{"unconverged", error, limit,
                       format("the largest exponent of dimension %.0f, %.2f, has a trajectory "
                              "standard error of %.3f",
                              f->dimension, f->lambda1, error),
                       "the running estimate has not settled: use more samples"};
    }
    if (!any) {
        return not_made("too few report points for a standard error (" +
                        std::to_string(kMinBatches * kReportEvery) +
                        " counted steps are needed): use more samples");
    }
    return {};
}

std::optional<Warning> wide_neighbourhoods(const Result& r) {
    const StepFigures f = step_figures(r);
    if (f.counted_steps == 0) return std::nullopt;
    const double mean = f.mean_enlargements;
    if (!(mean > kMaxMeanEnlargements)) return std::nullopt;
    return Warning{"wide-neighbourhoods", mean, kMaxMeanEnlargements,
                   format("the radius grew %.1f times per counted step on average", mean),
                   "the neighbourhoods are far from local, so the fitted maps are not: use "
                   "more samples or ask for fewer neighbours (--ncube); a larger starting "
                   "radius would only hide the enlargements"};
}

// The radius part of the standard errors, from the half-radius run and the spread of the
// extent.
void add_radius_errors(Diagnosis& dg, const std::vector<DimensionFigures>& half,
                       std::optional<double> spread) {
    for (auto& f : dg.figures) {
        const DimensionFigures* h = figure_of(half, f.dimension);
        if (h == nullptr) continue;
        f.lambda1_half_radius = h->lambda1;
        if (!spread) continue;
        const double slope = (f.lambda1 - h->lambda1) / std::log(1.0 / kRadiusProbe);
        const double radius = std::fabs(slope) * *spread;
        f.lambda1_radius_error = radius;
        const double trajectory = f.lambda1_trajectory_error.value_or(0.0);
        if (f.lambda1_trajectory_error || radius > 0.0)
            f.lambda1_error = std::sqrt(trajectory * trajectory + radius * radius);
    }
}

Outcome radius_dependence(const Diagnosis& dg, const Result& r, const Probes* probes,
                          const std::vector<DimensionFigures>& half) {
    if (probes == nullptr || !probes->half_radius) return not_made(kNoHalfRadiusRun);
    if (half.empty()) {
        return not_made(
            "the half-radius run counted no step: the neighbourhoods cannot be made smaller "
            "with these samples");
    }
    std::vector<int> moved;
    std::string values;
    Agreement worst;
    for (const auto& f : dg.figures) {
        const DimensionFigures* h = figure_of(half, f.dimension);
        if (h == nullptr) continue;
        const Agreement g = agreement(f, *h, kRadiusRelative, kRadiusErrors, kRadiusFloor);
        if (g.agree) continue;
        moved.push_back(f.dimension);
        values += (values.empty() ? "" : ", ") + two(f.lambda1) + " -> " + two(h->lambda1) + " (" +
                  std::to_string(f.dimension) + ")";
        if (!(worst.difference - worst.tolerance >= g.difference - g.tolerance)) worst = g;
    }
    if (moved.empty()) return {};
    const double smaller = static_cast<double>(r.parameters.radius_pct) * kRadiusProbe;
    std::string advice;
    if (half.size() >= 2 && plateau_from(half)) {
        advice = "the smaller radius settles the dimensions: run with --radius-pct " +
                 format("%g", smaller) + " (radius_pct=" + format("%g", smaller) + ")";
    } else {
        advice =
            "no small-neighbourhood limit is reached at these radii: probe smaller ones "
            "still (--radius-pct " +
            format("%g", smaller * kRadiusProbe) +
            ") and more samples; noise moves so with the radius, and so does a flow "
            "whose radius is too large";
    }
    return Warning{"radius-dependence", worst.difference, worst.tolerance,
                   "lambda1 of dimension " + dimensions_text(moved) +
                       " moves when the initial radius is halved: " + values,
                   advice};
}

// Whether each reversed dimension copies the forward one, for dimensions of two or more.
Outcome time_symmetric(const Diagnosis& dg, const Probes* probes,
                       const std::vector<DimensionFigures>& back) {
    if (probes == nullptr || !probes->reversed) return not_made(kNoReversedRun);
    if (back.empty()) return not_made("the reversed run counted no step");
    if (dg.reversal && !dg.reversal->reversed_trusted) return not_made(dg.reversal->reason);
    std::vector<int> judged;
    std::size_t copies = 0;
    for (const auto& f : dg.figures) {
        const DimensionFigures* b = figure_of(back, f.dimension);
        if (f.dimension < 2 || b == nullptr) continue;
        // A spectrum symmetric about zero is its own negation: a copy tells nothing there.
        if (same_spectrum(f.sorted, b->sorted) && !copies_forward(f.sorted, b->sorted)) continue;
        judged.push_back(f.dimension);
        if (copies_forward(f.sorted, b->sorted)) ++copies;
    }
    if (judged.empty()) {
        return not_made(dg.figures.size() == 1 && dg.figures[0].dimension < 2
                            ? "one exponent cannot show a symmetry: run dimension 2 or more"
                            : "the spectra are symmetric about zero: a copy and a negation are "
                              "the same");
    }
    if (copies < judged.size()) return {};
    const DimensionFigures& top = dg.figures.back();
    std::string spectra = "forward";
    for (const double v : top.sorted)
        spectra += " " + two(v);
    spectra += ", reversed";
    for (const double v : figure_of(back, top.dimension)->sorted)
        spectra += " " + two(v);
    return Warning{"time-symmetric", static_cast<double>(copies),
                   static_cast<double>(judged.size()),
                   "the spectrum of the reversed series copies the forward one at dimension " +
                       dimensions_text(judged) + " (dimension " + std::to_string(top.dimension) +
                       ": " + spectra + "), where a deterministic system gives its negation",
                   "the mark of a time-symmetric, stochastic process: these are no exponents "
                   "of a deterministic system; test against surrogates"};
}

Outcome spurious_largest(const Diagnosis& dg, const Probes* probes) {
    if (probes == nullptr || !probes->reversed) return not_made(kNoReversedRun);
    if (!dg.reversal || !dg.reversal->conclusive) {
        return not_made("the time-reversal test is inconclusive (" +
                        (dg.reversal ? dg.reversal->reason : std::string("no reversed run")) + ")");
    }
    const ReverseCheck& c = *dg.reversal;
    if (c.marks.empty() || c.marks[0] != Reversal::LikelySpurious) return {};
    std::string confirmed = "none is confirmed";
    for (std::size_t i = 0; i < c.marks.size(); ++i) {
        if (c.marks[i] == Reversal::Confirmed) {
            confirmed = "the largest confirmed one is " + two(c.forward[i]);
            break;
        }
    }
    return Warning{"spurious-largest", c.forward[0], 0.0,
                   "the largest exponent of dimension " + std::to_string(c.dimension) + ", " +
                       two(c.forward[0]) +
                       ", does not change sign under time reversal: likely spurious; " + confirmed,
                   "the confirmed exponents of this dimension may hold spurious ones too: "
                   "prefer a lower dimension whose lambda1 settles and survives a smaller "
                   "radius"};
}

}  // namespace

StepFigures step_figures(const Result& r) {
    StepFigures f;
    double enlargements = 0.0, neighbours = 0.0;
    for (const StepRecord& s : r.steps) {
        if (s.outcome != StepOutcome::Counted) continue;
        ++f.counted_steps;
        f.enlargements += s.enlargements;
        enlargements += s.enlargements;
        neighbours += s.neighbours;
        f.max_enlargements = std::max<std::int64_t>(f.max_enlargements, s.enlargements);
    }
    if (f.counted_steps > 0) {
        f.mean_enlargements = enlargements / static_cast<double>(f.counted_steps);
        f.mean_neighbours = neighbours / static_cast<double>(f.counted_steps);
    }
    return f;
}

double lambda1_of(const DimensionEstimates& d) {
    double best = std::nan("");
    for (const float v : d.final_exponents)
        if (larger(v, best)) best = v;
    return best;
}

const char* check_state_name(CheckState s) {
    switch (s) {
        case CheckState::Passed:
            return "passed";
        case CheckState::Warned:
            return "warned";
        case CheckState::NotChecked:
            return "not checked";
    }
    return "not checked";
}

bool Diagnosis::has(const std::string& code) const {
    return std::any_of(warnings.begin(), warnings.end(),
                       [&](const Warning& w) { return w.code == code; });
}

std::vector<CheckStatus> Diagnosis::not_checked() const {
    std::vector<CheckStatus> v;
    for (const auto& c : checks)
        if (c.state == CheckState::NotChecked) v.push_back(c);
    return v;
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

int highest_resolvable_dimension(std::int64_t samples) {
    const double bound =
        kEckmannRuelle * std::log10(static_cast<double>(std::max<std::int64_t>(samples, 1)));
    return static_cast<int>(std::floor(bound + 1e-9));
}

std::optional<Warning> short_check(int mto, std::int64_t samples, std::int64_t counted_steps) {
    const double bound =
        kEckmannRuelle * std::log10(static_cast<double>(std::max<std::int64_t>(samples, 1)));
    if (static_cast<double>(mto) > bound) {
        return Warning{
            "short", static_cast<double>(mto), bound,
            format("dimension %.0f exceeds 2 log10 N = %.1f for N = %.0f samples", mto, bound,
                   static_cast<double>(samples)),
            format("exponents of that dimension may not be resolvable from so few "
                   "samples: use lower dimensions or at least %.0f samples",
                   std::ceil(std::pow(10.0, static_cast<double>(mto) / kEckmannRuelle)))};
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
    const bool few = static_cast<double>(f.distinct_integers) < distinct_limit;
    if (!few && span >= kMinIntegerSpan) return std::nullopt;
    // A recording with fewer levels than the limit has no more resolution to give, however
    // it is scaled; truncation merges values only when the samples take more distinct values
    // than integers.
    const bool lattice = static_cast<double>(f.distinct_values) < distinct_limit ||
                         f.distinct_values <= f.distinct_integers;
    const bool merged = f.distinct_integers < f.distinct_values;
    return Warning{"coarse", static_cast<double>(few ? f.distinct_integers : span),
                   few ? distinct_limit : static_cast<double>(kMinIntegerSpan),
                   format("the samples truncate to %.0f distinct integers over a span of %.0f",
                          static_cast<double>(f.distinct_integers), static_cast<double>(span)) +
                       (lattice ? format(" (the recording itself takes only %.0f values)",
                                         static_cast<double>(f.distinct_values))
                                : format(" (from %.0f distinct values before truncation)",
                                         static_cast<double>(f.distinct_values))),
                   lattice
                       ? std::string(merged ? "scale the series (tarnvex-kit prep) to keep every "
                                              "level; but "
                                            : "") +
                             "the recording has few levels: scaling adds no resolution "
                             "beyond them, so the neighbourhoods stay coarse; only a finer "
                             "recording helps"
                       : "every sample is truncated to an integer: scale the series first "
                         "(tarnvex-kit prep)"};
}

std::optional<std::string> one_integer_refusal(const SeriesFacts& f) {
    if (f.samples_used == 0 || f.int_min != f.int_max) return std::nullopt;
    const std::string value = std::to_string(f.int_min);
    if (f.distinct_values <= 1) {
        return "the series is constant (every sample truncates to " + value +
               "): it has no exponents";
    }
    return "every sample truncates to the same integer, " + value +
           ", so no neighbourhood has any extent; scale the series first: tarnvex-kit prep "
           "SERIES -o SCALED (or scale= in Python)";
}

Diagnosis diagnose(const Result& r, const Probes* probes) {
    Diagnosis dg;
    dg.counted_any = r.counted_steps > 0;
    if (!dg.counted_any) return dg;
    dg.figures = figures_of(r);
    const std::vector<DimensionFigures> half = probes != nullptr && probes->half_radius
                                                   ? figures_of(*probes->half_radius)
                                                   : std::vector<DimensionFigures>();
    const std::vector<DimensionFigures> back = probes != nullptr && probes->reversed
                                                   ? figures_of(*probes->reversed)
                                                   : std::vector<DimensionFigures>();
    if (probes != nullptr && probes->half_radius)
        add_radius_errors(dg, half, probes->extent_spread);
    if (probes != nullptr && probes->reversed) dg.reversal = reverse_check(r, *probes->reversed);

    const auto add = [&](const char* code, Outcome o) {
        CheckStatus status{code, CheckState::Passed, std::move(o.note)};
        if (!o.checked) {
            status.state = CheckState::NotChecked;
        } else if (o.warning) {
            status.state = CheckState::Warned;
            dg.warnings.push_back(std::move(*o.warning));
        }
        dg.checks.push_back(std::move(status));
    };
    add("non-finite", non_finite(r));
    add("short", short_check(r.parameters.dims.to, r.series.samples_used, r.counted_steps));
    add("coarse", coarse_check(r.series));
    add("positive-sum", positive_sum(dg));
    add("dimension-drift", dimension_drift(dg));
    add("stalled", stalled(r));
    add("unconverged", unconverged(dg));
    add("wide-neighbourhoods", wide_neighbourhoods(r));
    add("radius-dependence", radius_dependence(dg, r, probes, half));
    add("time-symmetric", time_symmetric(dg, probes, back));
    add("spurious-largest", spurious_largest(dg, probes));
    dg.checks.push_back({"surrogates", CheckState::NotChecked,
                         "no surrogate test: tarnvex-kit surrogates SERIES with the same options "
                         "tells chaos from a linear stochastic process"});
    return dg;
}

std::optional<double> extent_spread(std::span<const float> samples) {
    const auto n = static_cast<std::int64_t>(samples.size());
    if (n < kExtentSegments * kMinSegmentSamples) return std::nullopt;
    std::vector<double> logs;
    for (std::int64_t k = 0; k < kExtentSegments; ++k) {
        const auto from = static_cast<std::size_t>(k * n / kExtentSegments);
        const auto to = static_cast<std::size_t>((k + 1) * n / kExtentSegments);
        const auto [lo, hi] =
            std::minmax_element(samples.begin() + static_cast<std::ptrdiff_t>(from),
                                samples.begin() + static_cast<std::ptrdiff_t>(to));
        const double extent = static_cast<double>(*hi) - static_cast<double>(*lo);
        if (!(extent > 0.0)) return std::nullopt;
        logs.push_back(std::log(extent));
    }
    const double mean =
        std::accumulate(logs.begin(), logs.end(), 0.0) / static_cast<double>(logs.size());
    double var = 0.0;
    for (const double v : logs)
        var += (v - mean) * (v - mean);
    return std::sqrt(var / static_cast<double>(logs.size() - 1));
}

Probes probe(std::span<const float> samples, const Parameters& p, bool half_radius) {
    Probes probes;
    const Derived d = derive(samples, p);
    const auto used = samples.first(static_cast<std::size_t>(std::max(d.npts, 0)));
    if (half_radius) {
        Parameters half = p;
        half.radius_pct = static_cast<float>(static_cast<double>(p.radius_pct) * kRadiusProbe);
        probes.half_radius = run(used, half);
        probes.extent_spread = extent_spread(used);
    }
    probes.reversed = run(std::vector<float>(used.rbegin(), used.rend()), p);
    return probes;
}

}  // namespace tarnvex
