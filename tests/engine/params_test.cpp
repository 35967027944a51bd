// The run checks in their order, and the values derived before the step loop.

#include <gtest/gtest.h>

#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex {
namespace {

Parameters good() {
    Parameters p;
    p.npts = 1000;
    p.ncube = 30;
    p.tmax = 100;
    p.delay = 1;
    p.dims.from = 2;
    p.dims.to = 3;
    p.start = 1;
    p.dt = 1.0f;
    p.evolv = 1;
    p.radius_pct = 2.0f;
    return p;
}

TEST(ParameterCheck, FirstFailingCheckInOrder) {
    const std::vector<float> x(1000, 5.0f);
    const struct {
        const char* name;
        void (*change)(Parameters&);
        const char* message;
    } cases[] = {
        {"valid", [](Parameters&) {}, ""},
        {"mto 20 ncube 200",
         [](Parameters& p) {
             p.dims.to = 20;
             p.ncube = 200;
         },
         ""},
        {"mto 21",
         [](Parameters& p) {
             p.dims.to = 21;
             p.ncube = 201;
         },
         " emb dim. too high !!"},
        {"ncube 201", [](Parameters& p) { p.ncube = 201; }, "number of points per cube too large!"},
        {"mfrom 0", [](Parameters& p) { p.dims.from = 0; }, "emb dim. must be at least 1"},
        {"mto 0",
         [](Parameters& p) {
             p.dims.to = 0;
             p.ncube = 0;
         },
         "emb dim. must be at least 1"},
        {"ncube 0",
         [](Parameters& p) {
             p.ncube = 0;
             p.delay = -1;
         },
         "number of points per cube must be at least 1"},
        {"delay -1", [](Parameters& p) { p.delay = -1; }, "time delay must not be negative"},
        {"evolv 0", [](Parameters& p) { p.evolv = 0; }, "evolv time must be at least 1"},
        {"dt 0", [](Parameters& p) { p.dt = 0.0f; }, "dt must be positive"},
        {"dt negative", [](Parameters& p) { p.dt = -1.0f; }, "dt must be positive"},
        {"istart 0", [](Parameters& p) { p.start = 0; }, "start point outside the embedded series"},
        {"istart at nvec", [](Parameters& p) { p.start = 998; },
         "start point outside the embedded series"},
        {"istart below nvec", [](Parameters& p) { p.start = 997; }, ""},
        {"huge delay", [](Parameters& p) { p.delay = 2000000000; },
         "start point outside the embedded series"},
        {"huge istart", [](Parameters& p) { p.start = 2147483647; },
         "start point outside the embedded series"},
    };
    for (const auto& c : cases) {
        Parameters p = good();
        c.change(p);
        EXPECT_EQ(check(x, p), c.message) << c.name;
        // The engine refuses the same parameters with the same message.
        if (std::string_view(c.message).empty()) continue;
        try {
            p.tmax = 1;
            (void)run(x, p);
            ADD_FAILURE() << c.name << " was not refused";
        } catch (const ParameterError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.name;
        }
    }
    std::vector<float> big = x;
    big[500] = 3e9f;
    EXPECT_EQ(check(big, good()), "data value too large for integer coordinates");
    big[500] = -2147483648.0f;  // the most negative integer still fits
    EXPECT_EQ(check(big, good()), "");
    // Only the samples used are checked; more than the tables hold is refused.
    big[500] = 3e9f;
    Parameters fewer = good();
    fewer.npts = 400;
    EXPECT_EQ(check(big, fewer), "");
    // A run takes up to kMaxSamples samples (more than the program's table), and no more.
    Parameters all = good();
    all.npts = kMaxSamples;
    EXPECT_EQ(check(std::vector<float>(20001, 1.0f), all), "");
    EXPECT_EQ(derive(std::vector<float>(20001, 1.0f), all).npts, 20001);
    EXPECT_EQ(check(std::vector<float>(kMaxSamples + std::size_t{1}, 1.0f), all),
              "more than 10000000 samples");
}

TEST(DerivedValues, ExtentRadiusBudgetAndTmax) {
    Parameters p = good();
    p.npts = 3;
    const std::vector<float> x{4.0f, -2.0f, 7.5f, 1000.0f};
    Derived d = derive(x, p);
    EXPECT_EQ(d.npts, 3);
    EXPECT_EQ(d.xmax, 7.5f);
    EXPECT_EQ(d.xmin, -2.0f);
    EXPECT_EQ(d.extent, 9.5f);
    EXPECT_EQ(d.initial_radius, 0.19f);
    EXPECT_EQ(d.periode, 1.0f);
    EXPECT_EQ(d.tmax, 100);
    EXPECT_EQ(initial_radius(37.0f, 0.0f), 0.0f);  // a constant series
    p.npts = 0;
    d = derive(x, p);
    EXPECT_EQ(d.xmax, -1.0e10f);
    EXPECT_EQ(d.xmin, 1.0e10f);
    // npts is cut to the samples given; without tmax the run goes to the end of the data,
    // the iteration budget.
    p.npts = 20000;
    p.tmax.reset();
    p.evolv = 2;
    p.dt = 0.25f;
    d = derive(std::vector<float>(1000, 1.0f), p);
    EXPECT_EQ(d.npts, 1000);
    EXPECT_EQ(d.ntrip, 487);  // 500 - 12.5, truncated
    EXPECT_EQ(d.tmax, 487);
    EXPECT_EQ(d.periode, 4.0f);
}

}  // namespace
}  // namespace tarnvex
