// The test systems: their known exponents against what the equations fix, the maps' series
// against their equations, the flows' integration against its order, and the series text.

#include "tarnvex/systems.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "tarnvex/scaling.hpp"

namespace tarnvex {
namespace {

double sum_of(const std::vector<double>& v) {
    double s = 0.0;
    for (const double x : v)
        s += x;
    return s;
}

// The exponents of each system add up to the mean contraction of its volumes: ln |b| for
// the Henon map (its Jacobian's determinant is -b), -(sigma + 1 + beta) for the Lorenz flow
// (its divergence), and the one exponent of the logistic map at r = 4 is ln 2.
TEST(Systems, KnownExponentsAddUpToTheContraction) {
    const struct {
        const char* name;
        double sum;
        double tolerance;  // the published values' digits
    } cases[] = {
        {"henon", std::log(0.3), 1e-4},
        {"lorenz", -(10.0 + 1.0 + 8.0 / 3.0), 1e-3},
        {"logistic", std::log(2.0), 1e-15},
    };
    for (const auto& c : cases) {
        const SystemInfo* s = find_system(c.name);
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(s->name, c.name);
        EXPECT_NEAR(sum_of(s->nats), c.sum, c.tolerance) << c.name;
    }
    // Every flow has a zero exponent (along the flow); the maps have none.
    for (const SystemInfo& s : all_systems()) {
        EXPECT_EQ(find_system(s.name), &s) << s.name;
        const bool has_zero = std::find(s.nats.begin(), s.nats.end(), 0.0) != s.nats.end();
        EXPECT_EQ(has_zero, s.flow) << s.name;
        EXPECT_GT(s.nats.front(), 0.0) << s.name << ": a chaotic system";
    }
    EXPECT_EQ(find_system("duffing"), nullptr);
    EXPECT_EQ(find_system(""), nullptr);
}

// Consecutive samples of the maps obey their equations: x' = 1 - 1.4 x^2 + 0.3 x_previous
// (y = 0.3 x of the step before) and x' = 4 x (1 - x) within [0, 1].
TEST(Systems, MapsFollowTheirEquations) {
    const std::vector<double> h = generate(*find_system("henon"), 500, 100, 1.0);
    ASSERT_EQ(h.size(), 500u);
    for (std::size_t i = 2; i < h.size(); ++i)
        ASSERT_NEAR(h[i], 1.0 - 1.4 * h[i - 1] * h[i - 1] + 0.3 * h[i - 2], 1e-12) << i;
    const std::vector<double> l = generate(*find_system("logistic"), 500, 0, 1.0);
    EXPECT_NEAR(l[0], 4.0 * 0.3 * 0.7, 1e-15);  // the first iterate of 0.3
    for (std::size_t i = 1; i < l.size(); ++i) {
        ASSERT_NEAR(l[i], 4.0 * l[i - 1] * (1.0 - l[i - 1]), 1e-12) << i;
        ASSERT_GE(l[i], 0.0);
        ASSERT_LE(l[i], 1.0);
    }
}

// The transient drops that many samples from the front of the same trajectory.
TEST(Systems, TheTransientDropsTheFirstSamples) {
    for (const SystemInfo& s : all_systems()) {
        const std::vector<double> all = generate(s, 60, 0, s.step);
        const std::vector<double> after = generate(s, 20, 40, s.step);
        EXPECT_EQ(after, std::vector<double>(all.begin() + 40, all.end())) << s.name;
    }
}

// The flows are integrated with a fourth-order scheme: halving the step divides the largest
// error over the first 100 samples by about 2^4 = 16.
TEST(Systems, FlowsConvergeAtFourthOrder) {
    for (const char* name : {"lorenz", "rossler"}) {
        const SystemInfo& s = *find_system(name);
        // The samples at the default step with steps `split` times smaller.
        const auto samples = [&](long split) {
            const std::vector<double> all =
                generate(s, 100 * split, 0, s.step / static_cast<double>(split));
            std::vector<double> out;
            for (std::size_t i = static_cast<std::size_t>(split) - 1; i < all.size();
                 i += static_cast<std::size_t>(split))
                out.push_back(all[i]);
            return out;
        };
        const std::vector<double> exact = samples(64);
        const auto error = [&](long split) {
            const std::vector<double> x = samples(split);
            double largest = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i)
                largest = std::max(largest, std::fabs(x[i] - exact[i]));
            return largest;
        };
        const double coarse = error(1), fine = error(2);
        ASSERT_GT(fine, 0.0) << name;
        EXPECT_GT(coarse / fine, 13.0) << name;
        EXPECT_LT(coarse / fine, 20.0) << name;
    }
}

TEST(Systems, SeriesText) {
    // One integer a line, toward zero, never "-0".
    EXPECT_EQ(series_text(std::vector<double>{0.123456, -0.123456, -0.00009, 1.0}, 10000.0),
              "1234\n-1234\n0\n10000\n");
    EXPECT_EQ(series_text(std::vector<double>{}, 10.0), "");
    EXPECT_THROW(series_text(std::vector<double>{1.0}, 1e12), ScalingError);
    // A named system's series: its default scale and the count asked for.
    const std::string text = system_series("henon", 25);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 25);
    EXPECT_THROW(system_series("duffing", 10), std::invalid_argument);
}

TEST(Systems, Refusals) {
    const SystemInfo& lorenz = *find_system("lorenz");
    const SystemInfo& henon = *find_system("henon");
    EXPECT_THROW(generate(henon, -1, 0, 1.0), std::invalid_argument);
    EXPECT_THROW(generate(henon, 10, -1, 1.0), std::invalid_argument);
    EXPECT_THROW(generate(lorenz, 10, 0, 0.0), std::invalid_argument);
    EXPECT_THROW(generate(lorenz, 10, 0, -0.01), std::invalid_argument);
    EXPECT_THROW(generate(lorenz, 10, 0, std::nan("")), std::invalid_argument);
    // A map takes no step.
    EXPECT_EQ(generate(henon, 10, 0, 0.0).size(), 10u);
}

}  // namespace
}  // namespace tarnvex
