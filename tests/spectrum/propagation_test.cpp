#include "spectrum/propagation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace tarnvex::spectrum {
namespace {

using textio::StringWriter;

struct Fixture {
    std::unique_ptr<Spectrum> sp = std::make_unique<Spectrum>();
    StringWriter console;
    StringWriter result;
    linalg::Mat20 a;
    Fixture() { reset_spectrum(*sp, 3); }
    void diag(std::initializer_list<double> d) {
        a.a.fill(0.0);
        int i = 1;
        for (double v : d) {
            a(i, i) = v;
            ++i;
        }
    }
};

TEST(Propagation, DiagonalMapOnTheIdentityFrame) {
    Fixture f;
    f.diag({2.0, 0.5});
    ASSERT_EQ(propagate_dimension(*f.sp, f.a, 2, {1, 1, 0.6931472f}, f.console, f.result), 0);
    EXPECT_EQ(f.sp->lambda[2][1], 1.0f);
    EXPECT_EQ(f.sp->lambda[2][2], -1.0f);
    EXPECT_EQ(f.sp->logsum[2][1], std::log(2.0));
    EXPECT_EQ(f.sp->frame[2](1, 1), 1.0);
    EXPECT_EQ(f.sp->frame[2](2, 2), 1.0);
    EXPECT_EQ(f.console.text(), "");  // nstep = 1 reports nothing
    EXPECT_EQ(f.result.text(), "");
}

TEST(Propagation, NegativeStretchGoesIntoTheFrame) {
    Fixture f;
    f.diag({-3.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, f.a, 2, {1, 1, 1.0f}, f.console, f.result), 0);
    EXPECT_EQ(f.sp->frame[2](1, 1), -1.0);
    EXPECT_EQ(f.sp->frame[2](2, 2), 1.0);
    EXPECT_EQ(f.sp->logsum[2][1], std::log(3.0));
    // The next step maps with the turned frame: -3 * -1 stretches by 3 again.
    f.diag({-3.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, f.a, 2, {2, 1, 1.0f}, f.console, f.result), 0);
    EXPECT_EQ(f.sp->frame[2](1, 1), 1.0);
    EXPECT_EQ(f.sp->logsum[2][1], std::log(3.0) + std::log(3.0));
}

TEST(Propagation, ReportCadence) {
    const struct {
        std::int64_t nstep;
        bool console;
        bool file;
    } cases[] = {{24, false, false},
                 {25, false, true},
                 {50, true, true},
                 {75, false, true},
                 {100, true, true}};
    for (const auto& c : cases) {
        Fixture f;
        f.diag({2.0, 2.0});
        ASSERT_EQ(propagate_dimension(*f.sp, f.a, 2, {c.nstep, 2, 0.6931472f}, f.console, f.result),
                  0);
        EXPECT_EQ(!f.console.text().empty(), c.console) << c.nstep;
        EXPECT_EQ(!f.result.text().empty(), c.file) << c.nstep;
    }
    Fixture f;
    f.diag({2.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, f.a, 2, {50, 2, 0.6931472f}, f.console, f.result), 0);
    // lambda = ln 2 / (50 * ln 2) = 0.02; the first item is nstep * evolv.
    EXPECT_EQ(f.console.text(), "  100  2    0.02    0.02\r\n");
    EXPECT_EQ(f.result.text(), "    100      2      0.02      0.02\r\n");
}

TEST(Propagation, FailedOrthonormalisationLeavesTheDimensionAlone) {
    Fixture f;
    f.sp->logsum[2][1] = 5.0;
    f.diag({0.0, 1.0});
    EXPECT_EQ(propagate_dimension(*f.sp, f.a, 2, {50, 1, 1.0f}, f.console, f.result), 1);
    EXPECT_EQ(f.console.text(), " householder: matrix singular\r\n");
    EXPECT_EQ(f.sp->logsum[2][1], 5.0);
    EXPECT_EQ(f.sp->frame[2](1, 1), 1.0);
    EXPECT_EQ(f.result.text(), "");
}

TEST(Propagation, ClearingTheSumsKeepsTheFrames) {
    Fixture f;
    f.diag({-3.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, f.a, 2, {1, 1, 1.0f}, f.console, f.result), 0);
    f.sp->logsum[20][20] = 1.0;
    clear_sums(*f.sp);
    EXPECT_EQ(f.sp->logsum[2][1], 0.0);
    EXPECT_EQ(f.sp->logsum[20][20], 0.0);
    EXPECT_EQ(f.sp->frame[2](1, 1), -1.0);
}

}  // namespace
}  // namespace tarnvex::spectrum
