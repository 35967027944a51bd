// Known answers of the checks: each fires on a series built to trigger it, and none fires on
// the Henon map in dimension 2 or on the logistic map in dimension 1.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/run_util.hpp"
#include "support/series_util.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/systems.hpp"

namespace tarnvex {
namespace {

Parameters dims(int from, int to) {
    Parameters p;
    p.dims.from = from;
    p.dims.to = to;
    return p;
}

struct Known {
    const char* name;
    std::vector<float> x;
    Parameters p;
    std::vector<std::string> codes;  // exactly these warnings
};

std::vector<std::string> codes_of(const Diagnosis& d) {
    std::vector<std::string> c;
    for (const auto& w : d.warnings)
        c.push_back(w.code);
    return c;
}

TEST(Verdicts, EachCheckOnASeriesBuiltForIt) {
    const auto henon = testing::samples_of(system_series("henon", 3000));
    Parameters lorenz = dims(3, 3);
    lorenz.delay = 5;
    lorenz.dt = 0.01f;
    Parameters narrow = dims(2, 2);
    narrow.radius_pct = 0.02f;
    Parameters tmax = dims(2, 2);
    tmax.tmax = 300;
    const Known cases[] = {
        {"henon 2:2", henon, dims(2, 2), {}},
        {"logistic 1:1", testing::samples_of(system_series("logistic", 3000)), dims(1, 1), {}},
        {"300 counted steps", henon, tmax, {"short"}},
        {"114 samples",
         testing::samples_of(system_series("henon", 114)),
         dims(2, 2),
         {"short", "wide-neighbourhoods"}},
        {"the logistic map in 0..2, unscaled",
         testing::logistic_unscaled(3000),
         dims(1, 2),
         {"coarse", "dimension-drift", "wide-neighbourhoods"}},
        {"white noise 3:3",
         testing::white_noise(3000, 10000.0),
         dims(3, 3),
         {"positive-sum", "wide-neighbourhoods"}},
        {"AR(1) 2:6",
         testing::ar1(5000, 0.9, 1000.0),
         dims(2, 6),
         {"dimension-drift", "wide-neighbourhoods"}},
        {"lorenz 3:3", testing::samples_of(system_series("lorenz", 5000)), lorenz, {"unconverged"}},
        {"henon at radius 0.02 %", henon, narrow, {"wide-neighbourhoods"}},
    };
    for (const auto& c : cases) {
        const Diagnosis d = diagnose(run(c.x, c.p));
        EXPECT_EQ(codes_of(d), c.codes) << c.name;
    }
}

// The Henon map at radius 0.1 %: from iteration 8306 on every step is given up.
TEST(LongVerdicts, HenonAtATinyRadiusStalls) {
    Parameters p = dims(2, 3);
    p.radius_pct = 0.1f;
    const Result r = run(testing::samples_of(system_series("henon", 20000)), p);
    const Diagnosis d = diagnose(r);
    ASSERT_TRUE(d.has("stalled"));
    const Warning& w = *std::find_if(d.warnings.begin(), d.warnings.end(),
                                     [](const Warning& x) { return x.code == "stalled"; });
    EXPECT_EQ(w.code, "stalled");
    EXPECT_EQ(w.figure, 11670.0);
    EXPECT_NE(w.message.find("from iteration 8306 on"), std::string::npos) << w.message;
    EXPECT_NE(w.message.find("8280 counted steps, 41% of the series"), std::string::npos)
        << w.message;
}

}  // namespace
}  // namespace tarnvex

namespace tarnvex {
namespace {

// The full verdict, with the runs at half the radius and of the reversed series, on null
// models and on systems with known exponents: the codes of each line exactly.
TEST(LongVerdicts, FullVerdictOnNoiseAndOnChaos) {
    Parameters lorenz = dims(3, 5);
    lorenz.delay = 10;
    lorenz.dt = 0.01f;
    Parameters wide_noise = dims(4, 4);
    wide_noise.radius_pct = 5.0f;
    const auto henon = testing::samples_of(system_series("henon", 20000));
    const Known cases[] = {
        // A linear stochastic process at every default: it must never pass as clean.
        {"AR(1) 0.95 at the defaults",
         testing::ar1(20000, 0.95, 1000.0, 100),
         Parameters{},
         {"dimension-drift", "radius-dependence", "time-symmetric"}},
        // Uniform noise in four dimensions: at half the radius no neighbourhood fills, so
        // the radius cannot be probed; the reversal still tells.
        {"white noise 4:4 at 5 %",
         testing::white_noise(20000, 10000.0),
         wide_noise,
         {"positive-sum", "time-symmetric"}},
        // Henon at the defaults: the spurious 0.92 and 1.09 above dimension 2.
        {"henon at the defaults",
         henon,
         Parameters{},
         {"dimension-drift", "radius-dependence", "spurious-largest"}},
        {"henon 2:2", henon, dims(2, 2), {}},
        {"logistic 1:1", testing::samples_of(system_series("logistic", 20000)), dims(1, 1), {}},
        {"lorenz 3:5", testing::samples_of(system_series("lorenz", 20000)), lorenz, {}},
    };
    for (const auto& c : cases) {
        const Result r = run(c.x, c.p);
        const Probes probes = probe(c.x, c.p);
        const Diagnosis d = diagnose(r, &probes);
        EXPECT_EQ(codes_of(d), c.codes) << c.name;
        for (const auto& check : d.checks) {
            if (check.code == "time-symmetric" && c.p.dims.from >= 2) {
                EXPECT_NE(check.state, CheckState::NotChecked) << c.name << " " << check.code;
            }
        }
    }
}

}  // namespace
}  // namespace tarnvex
