// The scaling rules on values whose integers are known, at the edges of the 32-bit range and
// of the doubles, and their refusals.

#include "tarnvex/scaling.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string refusal(const std::function<void()>& call) {
    try {
        call();
    } catch (const ScalingError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(ScaleByPowerOfTen, SmallestPowerThatSpansTheTarget) {
    const struct {
        const char* what;
        std::vector<double> values;
        double factor;
        int power;
        std::vector<float> samples;
    } cases[] = {
        {"span 1 reaches 10000 at 10^4 exactly", {0.0, 0.5, 1.0}, 1e4, 4, {0.0f, 5000.0f, 1e4f}},
        {"span 0.999 needs 10^5", {0.0, 0.999}, 1e5, 5, {0.0f, 99900.0f}},
        {"a series spanning enough keeps 1", {-20000.0, 5.0}, 1.0, 0, {-20000.0f, 5.0f}},
        {"a constant series keeps 1", {0.25, 0.25, 0.25}, 1.0, 0, {0.25f, 0.25f, 0.25f}},
        {"the largest sample that fits at 1",
         {-2147483648.0, 2147483520.0},
         1.0,
         0,
         {-2147483648.0f, 2147483520.0f}},
    };
    for (const auto& c : cases) {
        const ScaledSeries s = scale_by_power_of_ten(c.values);
        EXPECT_EQ(s.factor, c.factor) << c.what;
        EXPECT_EQ(s.power, c.power) << c.what;
        EXPECT_EQ(s.samples, c.samples) << c.what;
    }
    // The span counts after the rounding to single precision: values a millionth apart at a
    // million stay one sample until the factor takes them out of the 32-bit range.
    EXPECT_EQ(refusal([] {
                  scale_by_power_of_ten(std::vector<double>{1e6, 1e6 + 0.001});
              }),
              "sample 0 becomes 10000000000 at the factor 10^4 the series needs to span 10000 "
              "integer steps, and its truncation does not fit a 32-bit integer: subtract an "
              "offset (e.g. the mean) first, or give scale= yourself");
    EXPECT_EQ(refusal([] {
                  scale_by_power_of_ten(std::vector<double>{1.0, 3e9});
              }),
              "sample 1 is 3000000000, whose truncation does not fit a 32-bit integer: subtract "
              "an offset (e.g. the mean) first, or give scale= yourself");
    // 2147483600 rounds to 2^31 in single precision.
    EXPECT_EQ(refusal([] {
                  scale_by_power_of_ten(std::vector<double>{0.0, 2147483600.0});
              }),
              "sample 1 is 2147483600, whose truncation does not fit a 32-bit integer: subtract "
              "an offset (e.g. the mean) first, or give scale= yourself");
}

TEST(ScaleBy, TheGivenFactor) {
    const ScaledSeries s = scale_by(std::vector<double>{0.5, -0.25, 3.0}, 10.0);
    EXPECT_EQ(s.samples, (std::vector<float>{5.0f, -2.5f, 30.0f}));
    EXPECT_EQ(s.factor, 10.0);
    EXPECT_FALSE(s.power.has_value());

    const struct {
        double factor;
        const char* message;
    } refused[] = {
        {0.0, "scale must be a positive finite number, not 0"},
        {-2.0, "scale must be a positive finite number, not -2"},
        {0.1, ""},  // accepted
        {kNaN, "scale must be a positive finite number, not nan"},
        {kInf, "scale must be a positive finite number, not inf"},
        {1e9,
         "sample 1 (2.5) times the scale 1000000000 is 2500000000, whose truncation does not fit "
         "a 32-bit integer: give a smaller scale or subtract an offset (e.g. the mean) first"},
    };
    for (const auto& c : refused) {
        const std::string got = refusal([&] { scale_by(std::vector<double>{0.5, 2.5}, c.factor); });
        EXPECT_EQ(got, *c.message ? c.message : "(accepted)") << c.factor;
    }
}

// Both rules refuse what no factor mends, before any factor.
TEST(ScaleBy, RefusalsOfTheSeries) {
    std::vector<double> too_many(kMaxSamples + std::size_t{1}, 1.0);
    const struct {
        const char* what;
        std::vector<double> values;
        const char* message;
    } cases[] = {
        {"none", {}, "the series is empty"},
        {"too many", too_many,
         "the series has 10000001 samples; a run takes at most 10000000: run a window of it, "
         "e.g. x[:10000000], or several windows with tarnvex.batch"},
        {"NaN",
         {1.0, 2.0, kNaN},
         "sample 2 (counting from 0) is NaN: every sample must be a finite number; remove or "
         "fill the gap first"},
        {"+inf", {kInf}, "sample 0 (counting from 0) is +inf"},
        {"-inf", {1.0, -kInf}, "sample 1 (counting from 0) is -inf"},
    };
    for (const auto& c : cases) {
        const std::string by_power = refusal([&] { scale_by_power_of_ten(c.values); });
        const std::string by_factor = refusal([&] { scale_by(c.values, 0.0); });
        EXPECT_EQ(by_power.rfind(c.message, 0), 0u) << c.what << ": " << by_power;
        EXPECT_EQ(by_factor, by_power) << c.what;
    }
    // More samples than the program takes are scaled like any others.
    EXPECT_EQ(scale_by_power_of_ten(std::vector<double>(20001, 7.0)).samples.size(), 20001u);
}

TEST(ScaleOffsetAndSpan, SmallestToZeroRangeToTheSteps) {
    const struct {
        const char* what;
        std::vector<double> values;
        long steps;
        std::vector<long long> integers;
        double offset, factor;
        long distinct_before, distinct_after;
    } cases[] = {
        {"a column of volts", {0.5, -0.5, 0.25}, 100000, {100000, 0, 75000}, -0.5, 100000.0, 3, 3},
        {"1.5 and 1.51 merge at ten steps",
         {1.5, 2.0, 1.5, 1.51},
         10,
         {0, 10, 0, 0},
         1.5,
         20.0,
         3,
         2},
        {"halves round away from zero", {0.0, 1.0, 0.25, 0.75}, 2, {0, 2, 1, 2}, 0.0, 2.0, 4, 3},
        {"a range near the largest double",
         {-1e300, 1e300, 0.0},
         10,
         {0, 10, 5},
         -1e300,
         5e-300,
         3,
         3},
        {"a range near the smallest", {1e-300, 0.0}, 10, {10, 0}, 0.0, 1e301, 2, 2},
    };
    for (const auto& c : cases) {
        const OffsetSpanScaling p = scale_offset_and_span(c.values, c.steps);
        EXPECT_EQ(p.integers, c.integers) << c.what;
        EXPECT_EQ(p.offset, c.offset) << c.what;
        EXPECT_DOUBLE_EQ(p.factor, c.factor) << c.what;
        EXPECT_EQ(p.distinct_before, c.distinct_before) << c.what;
        EXPECT_EQ(p.distinct_after, c.distinct_after) << c.what;
    }
}

TEST(ScaleOffsetAndSpan, Refusals) {
    const struct {
        std::vector<double> values;
        long steps;
        const char* message;
    } cases[] = {
        {{}, 10, "no values to scale"},
        {{0.0, 1.0}, 0, "the steps must be at least 1, not 0"},
        {{4.0, 4.0, 4.0}, 10, "the column is constant: there is nothing to scale"},
        // No integer for some value: a factor beyond the largest double, and a range that is.
        {{0.0, 1e-310},
         100000,
         "the column's range, 0 to 1e-310, is too small to scale to 100000 steps"},
        {{1e308, -1e308},
         100000,
         "the column's range, -1e+308 to 1e+308, is too large to scale to 100000 steps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal([&] { scale_offset_and_span(c.values, c.steps); }), c.message);
}

TEST(ScaleAndTruncate, TowardZeroWithinThe32BitRange) {
    const struct {
        const char* what;
        std::vector<double> values;
        double factor;
        std::vector<std::int32_t> integers;
    } cases[] = {
        {"toward zero on both sides",
         {0.123456, -0.123456, 0.00009999, -0.00009},
         10000.0,
         {1234, -1234, 0, 0}},
        {"a negative factor", {0.5, -1.0}, -3.0, {-1, 3}},
        {"a factor of zero", {0.5, -1.0}, 0.0, {0, 0}},
        {"the ends of the range", {2147483647.9, -2147483648.0}, 1.0, {2147483647, -2147483648}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scale_and_truncate(c.values, c.factor), c.integers) << c.what;
    for (const double beyond : {2147483648.0, -2147483649.0, kInf, kNaN}) {
        EXPECT_EQ(refusal([&] {
                      scale_and_truncate(std::vector<double>{0.0, beyond}, 1.0);
                  }),
                  "a scaled value leaves the 32-bit integer range")
            << beyond;
    }
}

}  // namespace
}  // namespace tarnvex
