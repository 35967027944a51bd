// The checks of a run at their thresholds, on results made by hand, and the figures.

#include "tarnvex/diagnostics.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tarnvex {
namespace {

// A run that raises no warning: 2000 samples over 2000 integers, dimension 2 with a
// negative sum, 1000 counted steps, steady estimates, no enlargements.
Result quiet_run() {
    Result r;
    r.parameters.dims.from = 2;
    r.parameters.dims.to = 2;
    r.parameters.evolv = 1;
    r.parameters.dt = 1.0f;
    r.series = {2000, 0, 2000, 2000, 2000};
    r.iterations = 1025;
    r.counted_steps = 1000;
    r.steps.assign(1025, StepRecord{});
    r.retries_by_dimension.assign(3, {0, 0});
    DimensionEstimates d;
    d.dimension = 2;
    d.final_exponents = {0.6f, -2.3f};
    const double tfac = static_cast<double>(time_factor(1, 1.0f));
    for (std::int64_t n = 25; n <= 1000; n += 25) {
        d.steps.push_back(n);
        d.samples.push_back(n);
        d.warmup.push_back(0);
        d.exponents.insert(d.exponents.end(), {0.6f, -2.3f});
        d.log_sums.insert(d.log_sums.end(), {0.6 * tfac * static_cast<double>(n),
                                             -2.3 * tfac * static_cast<double>(n)});
    }
    r.dimensions.push_back(d);
    return r;
}

// Dimensions from 2 up with these largest exponents (the others -10 each).
void set_dimensions(Result& r, const std::vector<double>& lambda1) {
    r.parameters.dims.to = 1 + static_cast<int>(lambda1.size());
    DimensionEstimates proto = r.dimensions[0];
    r.dimensions.clear();
    for (std::size_t k = 0; k < lambda1.size(); ++k) {
        DimensionEstimates d = proto;
        d.dimension = 2 + static_cast<int>(k);
        d.final_exponents.assign(static_cast<std::size_t>(d.dimension), -10.0f);
        d.final_exponents[0] = static_cast<float>(lambda1[k]);
        d.log_sums.clear();
        d.exponents.clear();
        for (std::size_t p = 0; p < d.steps.size(); ++p) {
            for (int i = 0; i < d.dimension; ++i) {
                const double v = i == 0 ? lambda1[k] : -10.0;
                d.exponents.push_back(static_cast<float>(v));
                d.log_sums.push_back(v * static_cast<double>(time_factor(1, 1.0f)) *
                                     static_cast<double>(d.steps[p]));
            }
        }
        r.dimensions.push_back(d);
    }
}

struct Case {
    const char* name;
    std::function<void(Result&)> change;
    const char* code;  // the warning expected, or nullptr for none
};

TEST(Checks, FireJustPastTheirThresholdsAndNotBefore) {
    const Case cases[] = {
        {"a quiet run", [](Result&) {}, nullptr},
        // short: 2 log10(2000) = 6.6; 500 counted steps.
        {"dimension 6 of 2000 samples",
         [](Result& r) {
             set_dimensions(r, {1, 1, 1, 1, 1});
         },
         nullptr},
        {"dimension 7 of 2000 samples",
         [](Result& r) {
             set_dimensions(r, {1, 1, 1, 1, 1, 1});
         },
         "short"},
        {"500 counted steps", [](Result& r) { r.counted_steps = 500; }, nullptr},
        {"499 counted steps", [](Result& r) { r.counted_steps = 499; }, "short"},
        // coarse: a span of 1000 integers, 1000 distinct ones (or half the samples).
        {"span 1000", [](Result& r) { r.series.int_max = 1000; }, nullptr},
        {"span 999", [](Result& r) { r.series.int_max = 999; }, "coarse"},
        {"1000 distinct integers", [](Result& r) { r.series.distinct_integers = 1000; }, nullptr},
        {"999 distinct integers", [](Result& r) { r.series.distinct_integers = 999; }, "coarse"},
        {"600 samples, 300 distinct",
         [](Result& r) { r.series.samples_used = 600, r.series.distinct_integers = 300; }, nullptr},
        {"600 samples, 299 distinct",
         [](Result& r) { r.series.samples_used = 600, r.series.distinct_integers = 299; },
         "coarse"},
        // non-finite: any final estimate that is not a number or infinite.
        {"an infinite estimate",
         [](Result& r) {
             r.dimensions[0].final_exponents = {0.6f, -std::numeric_limits<float>::infinity()};
         },
         "non-finite"},
        {"a NaN",
         [](Result& r) {
             r.dimensions[0].final_exponents = {std::nanf(""), -2.3f};
         },
         "non-finite"},
        // positive-sum: dimension 2 and up, beyond 0.01 (the estimates here are steady, so
        // their standard error is below it); dimension 1 of a map is exempt.
        {"sum 0.01",
         [](Result& r) {
             r.dimensions[0].final_exponents = {0.51f, -0.5f};
         },
         nullptr},
        {"sum 0.02",
         [](Result& r) {
             r.dimensions[0].final_exponents = {0.52f, -0.5f};
         },
         "positive-sum"},
        {"dimension 1 of 1 bit",
         [](Result& r) {
             r.parameters.dims.from = r.parameters.dims.to = 1;
             r.dimensions[0].dimension = 1;
             auto& d = r.dimensions[0];
             d.final_exponents = {1.0f};
             d.exponents.assign(d.steps.size(), 1.0f);
             d.log_sums.clear();
             for (const std::int64_t n : d.steps)
                 d.log_sums.push_back(static_cast<double>(time_factor(1, 1.0f)) *
                                      static_cast<double>(n));
         },
         nullptr},
        // dimension-drift: every dimension from the lowest; the last two must agree within
        // 10 % of the larger (these estimates are steady: no standard error widens it) ...
        {"a plateau of three, 10 % apart",
         [](Result& r) {
             set_dimensions(r, {0.5, 1.0, 1.0, 1.1});
         },
         nullptr},
        {"a plateau of three, 10.7 % apart",
         [](Result& r) {
             set_dimensions(r, {0.5, 1.0, 1.0, 1.12});
         },
         "dimension-drift"},
        {"a rise from the lowest dimension",
         [](Result& r) {
             set_dimensions(r, {0.3, 1.0});
         },
         "dimension-drift"},
        // Two dimensions agreeing at the top of a long rise make no plateau: it needs
        // three when the run has four or more.
        {"a rise ending in two that agree",
         [](Result& r) {
             set_dimensions(r, {1.0, 1.2, 1.4, 1.6, 1.62});
         },
         "dimension-drift"},
        {"a rise ending in three that agree",
         [](Result& r) {
             set_dimensions(r, {1.0, 1.2, 1.58, 1.6, 1.62});
         },
         nullptr},
        // Three dimensions: the plateau must hold all three (a spurious rise at a large
        // radius: Henon at 6 %).
        {"a rise to two that agree, of three",
         [](Result& r) {
             set_dimensions(r, {0.60, 1.24, 1.31});
         },
         "dimension-drift"},
        {"a fall to the highest",
         [](Result& r) {
             set_dimensions(r, {1.0, 1.0, 0.7});
         },
         "dimension-drift"},
        // ... or within 0.05 near zero.
        {"0.049 apart near zero",
         [](Result& r) {
             set_dimensions(r, {1.0, 0.0, 0.0, 0.049});
         },
         nullptr},
        {"0.06 apart near zero",
         [](Result& r) {
             set_dimensions(r, {1.0, 0.0, 0.0, 0.06});
         },
         "dimension-drift"},
        // stalled: 200 given up in a row, or more than 20 % of the iterations.
        {"199 given up in a row",
         [](Result& r) {
             for (int k = 300; k < 499; ++k)
                 r.steps[static_cast<std::size_t>(k)].outcome = StepOutcome::GivenUp;
             r.steps_given_up = 199;
         },
         nullptr},
        {"200 given up in a row",
         [](Result& r) {
             for (int k = 300; k < 500; ++k)
                 r.steps[static_cast<std::size_t>(k)].outcome = StepOutcome::GivenUp;
             r.steps_given_up = 200;
         },
         "stalled"},
        {"20 % given up, every fifth",
         [](Result& r) {
             for (std::size_t k = 0; k < 1025; k += 5)
                 r.steps[k].outcome = StepOutcome::GivenUp;
             r.steps_given_up = 205;
         },
         nullptr},
        {"21 % given up, every fourth",
         [](Result& r) {
             for (std::size_t k = 0; k < 1025; k += 4)
                 r.steps[k].outcome = StepOutcome::GivenUp;
             r.steps_given_up = 257;
         },
         "stalled"},
        // wide-neighbourhoods: 4 enlargements per counted step on average.
        {"4 enlargements a step",
         [](Result& r) {
             for (auto& s : r.steps)
                 s.enlargements = 4;
         },
         nullptr},
        {"a little more than 4",
         [](Result& r) {
             for (auto& s : r.steps)
                 s.enlargements = 4;
             r.steps[7].enlargements = 10;
         },
         "wide-neighbourhoods"},
    };
    for (const auto& c : cases) {
        Result r = quiet_run();
        c.change(r);
        const Diagnosis d = diagnose(r);
        ASSERT_TRUE(d.counted_any) << c.name;
        if (c.code == nullptr) {
            EXPECT_TRUE(d.warnings.empty())
                << c.name << ": " << (d.warnings.empty() ? "" : d.warnings[0].message);
        } else {
            ASSERT_EQ(d.warnings.size(), 1u) << c.name;
            EXPECT_EQ(d.warnings[0].code, c.code) << c.name << ": " << d.warnings[0].message;
        }
    }
}

// unconverged: the 40 report intervals of the counted steps in 8 batches (round(sqrt(40)) = 6,
// at least 8) whose means alternate around 1 by delta have a standard error of
// delta / sqrt(7); the limit is 10 % of 1.
TEST(Checks, UnconvergedFromTheBatchMeansOfTheCountedSteps) {
    for (const double delta : {0.26, 0.27}) {
        Result r = quiet_run();
        DimensionEstimates& d = r.dimensions[0];
        d.final_exponents = {1.0f, -2.0f};
        const double tfac = static_cast<double>(time_factor(1, 1.0f));
        double sum = 0.0;
        d.log_sums.clear();
        for (std::size_t k = 0; k < d.steps.size(); ++k) {
            const std::int64_t from = k == 0 ? 0 : d.steps[k - 1];
            const std::size_t batch = k / 5;
            const double v = batch % 2 == 0 ? 1.0 + delta : 1.0 - delta;
            sum += v * tfac * static_cast<double>(d.steps[k] - from);
            d.log_sums.insert(d.log_sums.end(), {sum, -1.0});
        }
        const Diagnosis dg = diagnose(r);
        ASSERT_TRUE(dg.figures[0].lambda1_error.has_value());
        EXPECT_NEAR(*dg.figures[0].lambda1_error, delta / std::sqrt(7.0), 1e-9);
        EXPECT_EQ(dg.has("unconverged"), delta > 0.1 * std::sqrt(7.0)) << delta;
    }
    // Fewer report intervals than batches (175 steps: 7 intervals): no standard error, and
    // the check says it was not made.
    Result r = quiet_run();
    r.counted_steps = 175;
    for (auto* v : {&r.dimensions[0].steps, &r.dimensions[0].samples})
        v->resize(7);
    r.dimensions[0].warmup.resize(7);
    r.dimensions[0].log_sums.resize(14);
    r.dimensions[0].exponents.resize(14);
    const Diagnosis dg = diagnose(r);
    EXPECT_FALSE(dg.figures[0].lambda1_error.has_value());
    ASSERT_EQ(dg.warnings.size(), 1u);
    EXPECT_EQ(dg.warnings[0].code, "short");
    const auto unchecked = dg.not_checked();
    EXPECT_TRUE(std::any_of(unchecked.begin(), unchecked.end(),
                            [](const CheckStatus& c) { return c.code == "unconverged"; }));
}

// A copy of a run whose dimension 2 has these final exponents, steady from the start.
Result with_exponents(const Result& base, std::vector<float> values) {
    Result r = base;
    DimensionEstimates& d = r.dimensions[0];
    d.final_exponents = values;
    d.exponents.clear();
    d.log_sums.clear();
    for (const std::int64_t n : d.steps) {
        for (const float v : values) {
            d.exponents.push_back(v);
            d.log_sums.push_back(static_cast<double>(v) *
                                 static_cast<double>(time_factor(1, 1.0f)) *
                                 static_cast<double>(n));
        }
    }
    return r;
}

std::optional<CheckState> state_of(const Diagnosis& d, const std::string& code) {
    for (const auto& c : d.checks)
        if (c.code == code) return c.state;
    return std::nullopt;
}

// The checks that need the probes: each fires just past its threshold and not before, and
// without the probes each says it was not checked.
TEST(Checks, ProbesAtTheirThresholds) {
    const Result r = with_exponents(quiet_run(), {1.0f, -2.0f});
    const struct {
        const char* name;
        std::vector<float> half, reversed;
        std::vector<std::string> codes;
    } cases[] = {
        // radius-dependence: 15 % of the larger lambda1 (steady runs: no standard error).
        {"half radius 1.17", {1.17f, -2.0f}, {2.0f, -1.0f}, {}},
        {"half radius 1.18", {1.18f, -2.0f}, {2.0f, -1.0f}, {"radius-dependence"}},
        {"half radius 0.86", {0.86f, -2.0f}, {2.0f, -1.0f}, {}},
        {"half radius 0.84", {0.84f, -2.0f}, {2.0f, -1.0f}, {"radius-dependence"}},
        // time-symmetric: the reversed spectrum copies the forward one (within 25 %).
        {"a copy", {1.0f, -2.0f}, {1.0f, -2.0f}, {"time-symmetric"}},
        {"a copy within 25 %", {1.0f, -2.0f}, {1.2f, -1.6f}, {"time-symmetric"}},
        {"one exponent off by 30 %", {1.0f, -2.0f}, {1.0f, -1.4f}, {}},
        // spurious-largest: the negation pairs -2 but not 1.
        {"largest unpaired", {1.0f, -2.0f}, {2.0f, 0.5f}, {"spurious-largest"}},
    };
    for (const auto& c : cases) {
        Probes probes;
        probes.half_radius = with_exponents(quiet_run(), c.half);
        probes.reversed = with_exponents(quiet_run(), c.reversed);
        probes.extent_spread = 0.1;
        const Diagnosis d = diagnose(r, &probes);
        std::vector<std::string> codes;
        for (const auto& w : d.warnings)
            codes.push_back(w.code);
        EXPECT_EQ(codes, c.codes) << c.name;
        EXPECT_EQ(state_of(d, "radius-dependence"),
                  d.has("radius-dependence") ? CheckState::Warned : CheckState::Passed)
            << c.name;
    }
    // No probes: not checked, and no radius part in the standard error.
    const Diagnosis quick = diagnose(r);
    for (const char* code : {"radius-dependence", "time-symmetric", "spurious-largest",
                             "surrogates", "dimension-drift"})
        EXPECT_EQ(state_of(quick, code), CheckState::NotChecked) << code;
    EXPECT_FALSE(quick.figures[0].lambda1_radius_error.has_value());
    EXPECT_TRUE(quick.warnings.empty());
}

// The radius part of lambda1's standard error: the slope of lambda1 against log(radius)
// between the run and the half-radius run, times the spread of log(extent).
TEST(Figures, RadiusPartOfTheStandardError) {
    const Result r = with_exponents(quiet_run(), {1.0f, -2.0f});
    Probes probes;
    probes.half_radius = with_exponents(quiet_run(), {1.5f, -2.0f});
    probes.extent_spread = 0.08;
    const Diagnosis d = diagnose(r, &probes);
    const DimensionFigures& f = d.figures[0];
    ASSERT_TRUE(f.lambda1_radius_error.has_value());
    EXPECT_NEAR(*f.lambda1_radius_error, 0.5 / std::log(2.0) * 0.08, 1e-7);
    const double t = f.lambda1_trajectory_error.value();
    EXPECT_NEAR(*f.lambda1_error,
                std::sqrt(t * t + *f.lambda1_radius_error * *f.lambda1_radius_error), 1e-12);
    EXPECT_EQ(f.lambda1_half_radius, 1.5);
    // The spread of log(extent) over 8 segments: constant segments give none at all, a
    // segment twice as wide as the rest gives log 2 spread over one of eight.
    std::vector<float> x(2000);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = i % 2 == 0 ? 0.0f : (i < 250 ? 20.0f : 10.0f);
    const auto spread = extent_spread(x);
    ASSERT_TRUE(spread.has_value());
    EXPECT_NEAR(*spread, std::log(2.0) * std::sqrt(1.0 / 8.0), 1e-12);
    EXPECT_FALSE(extent_spread(std::vector<float>(1999, 1.0f)).has_value());
}

// The advice of `coarse` tells a recording with few levels from one that truncation made
// coarse; every sample on one integer is a plain refusal, not a run.
TEST(Checks, CoarseAdviceAndOneInteger) {
    // samples, int_min, int_max, distinct integers, distinct values
    const SeriesFacts lattice{3000, 0, 400, 400, 400};
    const SeriesFacts truncated{3000, -1, 1, 3, 2950};
    const auto l = coarse_check(lattice);
    const auto t = coarse_check(truncated);
    ASSERT_TRUE(l && t);
    EXPECT_NE(l->advice.find("scaling adds no resolution"), std::string::npos) << l->advice;
    EXPECT_NE(t->advice.find("scale the series first"), std::string::npos) << t->advice;
    EXPECT_FALSE(coarse_check(SeriesFacts{3000, 0, 5000, 2000, 2000}).has_value());

    const auto constant = one_integer_refusal(SeriesFacts{500, 7, 7, 1, 1});
    ASSERT_TRUE(constant.has_value());
    EXPECT_EQ(*constant,
              "the series is constant (every sample truncates to 7): it has no "
              "exponents");
    const auto collapsed = one_integer_refusal(SeriesFacts{500, 0, 0, 1, 9});
    ASSERT_TRUE(collapsed.has_value());
    EXPECT_NE(collapsed->find("every sample truncates to the same integer, 0, "),
              std::string::npos);
    EXPECT_NE(collapsed->find("tarnvex-kit prep"), std::string::npos);
    EXPECT_FALSE(one_integer_refusal(SeriesFacts{500, 0, 1, 2, 9}).has_value());
}

TEST(Figures, SortedSumAndKaplanYorke) {
    EXPECT_NEAR(kaplan_yorke({0.605, -2.342}), 1.0 + 0.605 / 2.342, 1e-12);
    EXPECT_NEAR(kaplan_yorke({1.31, 0.0, -21.0}), 2.0 + 1.31 / 21.0, 1e-12);
    EXPECT_EQ(kaplan_yorke({-0.5, -1.0}), 0.0);
    EXPECT_EQ(kaplan_yorke({1.0}), 1.0);
    EXPECT_EQ(kaplan_yorke({2.0, 1.0, -1.0}), 3.0);

    Result r = quiet_run();
    r.dimensions[0].final_exponents = {-2.3f, 0.6f};  // the program's order is kept
    const Diagnosis d = diagnose(r);
    ASSERT_EQ(d.figures.size(), 1u);
    EXPECT_EQ(d.figures[0].sorted, (std::vector<double>{0.6f, -2.3f}));
    EXPECT_EQ(d.figures[0].lambda1, static_cast<double>(0.6f));
    EXPECT_NEAR(d.figures[0].sum, -1.7, 1e-6);
    // Steady estimates: no spread between the batches.
    ASSERT_TRUE(d.figures[0].lambda1_error.has_value());
    EXPECT_LT(*d.figures[0].lambda1_error, 1e-6);

    r.counted_steps = 0;
    EXPECT_FALSE(diagnose(r).counted_any);
}

}  // namespace
}  // namespace tarnvex
