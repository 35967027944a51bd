#include "driver/params.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tarnvex::driver {
namespace {

Params good() {
    Params p;
    p.npts = 1000;
    p.ncube = 30;
    p.tmax = 100;
    p.delay = 1;
    p.mfrom = 2;
    p.mto = 3;
    p.istart = 1;
    p.dt = 1.0f;
    p.evolv = 1;
    p.scalpct = 2.0f;
    return p;
}

TEST(ParameterCheck, FirstFailingCheckInOrder) {
    const std::vector<float> x(1000, 5.0f);
    const struct {
        const char* name;
        void (*change)(Params&);
        const char* message;
    } cases[] = {
        {"valid", [](Params&) {}, ""},
        {"mto 20 ncube 200",
         [](Params& p) {
             p.mto = 20;
             p.ncube = 200;
         },
         ""},
        {"mto 21",
         [](Params& p) {
             p.mto = 21;
             p.ncube = 201;
         },
         " emb dim. too high !!"},
        {"ncube 201", [](Params& p) { p.ncube = 201; }, "number of points per cube too large!"},
        {"mfrom 0", [](Params& p) { p.mfrom = 0; }, "emb dim. must be at least 1"},
        {"mto 0",
         [](Params& p) {
             p.mto = 0;
             p.ncube = 0;
         },
         "emb dim. must be at least 1"},
        {"ncube 0",
         [](Params& p) {
             p.ncube = 0;
             p.delay = -1;
         },
         "number of points per cube must be at least 1"},
        {"delay -1", [](Params& p) { p.delay = -1; }, "time delay must not be negative"},
        {"evolv 0", [](Params& p) { p.evolv = 0; }, "evolv time must be at least 1"},
        {"dt 0", [](Params& p) { p.dt = 0.0f; }, "dt must be positive"},
        {"dt negative", [](Params& p) { p.dt = -1.0f; }, "dt must be positive"},
        {"istart 0", [](Params& p) { p.istart = 0; }, "start point outside the embedded series"},
        {"istart at nvec", [](Params& p) { p.istart = 998; },
         "start point outside the embedded series"},
        {"istart below nvec", [](Params& p) { p.istart = 997; }, ""},
        {"huge delay", [](Params& p) { p.delay = 2000000000; },
         "start point outside the embedded series"},
        {"huge istart", [](Params& p) { p.istart = 2147483647; },
         "start point outside the embedded series"},
    };
    for (const auto& c : cases) {
        Params p = good();
        c.change(p);
        EXPECT_EQ(parameter_check(p, x), c.message) << c.name;
    }
    std::vector<float> big = x;
    big[500] = 3e9f;
    EXPECT_EQ(parameter_check(good(), big), "data value too large for integer coordinates");
    big[500] = -2147483648.0f;  // the most negative integer still fits
    EXPECT_EQ(parameter_check(good(), big), "");
}

TEST(DerivedValues, ExtentAndRadius) {
    Params p = good();
    p.npts = 3;
    const std::vector<float> x{4.0f, -2.0f, 7.5f, 1000.0f};
    derive_extent(p, x);
    EXPECT_EQ(p.xmax, 7.5f);
    EXPECT_EQ(p.xmin, -2.0f);
    EXPECT_EQ(p.extent, 9.5f);
    EXPECT_EQ(initial_radius(2.0f, 9.5f), 0.19f);
    EXPECT_EQ(initial_radius(37.0f, 0.0f), 0.0f);  // a constant series
    p.npts = 0;
    derive_extent(p, x);
    EXPECT_EQ(p.xmax, -1.0e10f);
    EXPECT_EQ(p.xmin, 1.0e10f);
}

}  // namespace
}  // namespace tarnvex::driver
