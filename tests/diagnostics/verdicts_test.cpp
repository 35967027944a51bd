// Known answers of the checks: each fires on a series built to trigger it, and none fires on
// the Henon map in dimension 2 or on the logistic map in dimension 1.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/systems.hpp"
#include "support/run_util.hpp"
#include "support/series_util.hpp"
#include "tarnvex/diagnostics.hpp"

namespace tarnvex {
namespace {

Parameters dims(int from, int to) {
    Parameters p;
    p.mfrom = from;
    p.mto = to;
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
    const auto henon = testing::samples_of(kit::system_series("henon", 3000));
    Parameters lorenz = dims(3, 3);
    lorenz.delay = 5;
    lorenz.dt = 0.01f;
    Parameters narrow = dims(2, 2);
    narrow.radius_pct = 0.02f;
    Parameters tmax = dims(2, 2);
    tmax.tmax = 300;
    const Known cases[] = {
        {"henon 2:2", henon, dims(2, 2), {}},
        {"logistic 1:1", testing::samples_of(kit::system_series("logistic", 3000)), dims(1, 1), {}},
        {"300 counted steps", henon, tmax, {"short"}},
        {"114 samples",
         testing::samples_of(kit::system_series("henon", 114)),
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
        {"lorenz 3:3",
         testing::samples_of(kit::system_series("lorenz", 5000)),
         lorenz,
         {"unconverged"}},
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
    const Result r = run(testing::samples_of(kit::system_series("henon", 20000)), p);
    const Diagnosis d = diagnose(r);
    ASSERT_TRUE(d.has("stalled"));
    const Warning& w = d.warnings[0];
    EXPECT_EQ(w.code, "stalled");
    EXPECT_EQ(w.figure, 11670.0);
    EXPECT_NE(w.message.find("from iteration 8306 on"), std::string::npos) << w.message;
    EXPECT_NE(w.message.find("8280 counted steps, 41% of the series"), std::string::npos)
        << w.message;
}

}  // namespace
}  // namespace tarnvex
