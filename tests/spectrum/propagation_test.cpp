#include "spectrum/propagation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace tarnvex::spectrum {
namespace {

struct Fixture {
    std::unique_ptr<Spectrum> sp = std::make_unique<Spectrum>();
    linalg::Mat20 a, product, r;
    Fixture() { reset_spectrum(*sp, 3); }
    // A step of dimension m as the step loop takes it: built, then put in force if good.
    PropagationStatus step(int m, std::int64_t nstep, float tfac) {
        const PropagationStatus s =
            build_step(*sp, linalg::fast_matrix_kernels(), a, m, nstep, tfac, product, r);
        if (s == PropagationStatus::Ok) sp->take(m);
        return s;
    }
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
    ASSERT_EQ(f.step(2, 1, 0.6931472f), PropagationStatus::Ok);
    EXPECT_EQ(f.sp->of(2).lambda[1], 1.0f);
    EXPECT_EQ(f.sp->of(2).lambda[2], -1.0f);
    EXPECT_EQ(f.sp->of(2).logsum[1], std::log(2.0));
    EXPECT_EQ(f.sp->of(2).frame(1, 1), 1.0);
    EXPECT_EQ(f.sp->of(2).frame(2, 2), 1.0);
}

TEST(Propagation, NegativeStretchGoesIntoTheFrame) {
    Fixture f;
    f.diag({-3.0, 2.0});
    ASSERT_EQ(f.step(2, 1, 1.0f), PropagationStatus::Ok);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), -1.0);
    EXPECT_EQ(f.sp->of(2).frame(2, 2), 1.0);
    EXPECT_EQ(f.sp->of(2).logsum[1], std::log(3.0));
    // The next step maps with the turned frame: -3 * -1 stretches by 3 again.
    f.diag({-3.0, 2.0});
    ASSERT_EQ(f.step(2, 2, 1.0f), PropagationStatus::Ok);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), 1.0);
    EXPECT_EQ(f.sp->of(2).logsum[1], std::log(3.0) + std::log(3.0));
}

TEST(Propagation, FailedOrthonormalisationLeavesTheDimensionAlone) {
    Fixture f;
    f.sp->of(2).logsum[1] = 5.0;
    f.diag({0.0, 1.0});
    EXPECT_EQ(f.step(2, 50, 1.0f), PropagationStatus::SingularColumn);
    EXPECT_EQ(f.sp->of(2).logsum[1], 5.0);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), 1.0);
}

TEST(Propagation, ClearingTheSumsKeepsTheFrames) {
    Fixture f;
    f.diag({-3.0, 2.0});
    ASSERT_EQ(f.step(2, 1, 1.0f), PropagationStatus::Ok);
    f.sp->of(20).logsum[20] = 1.0;
    clear_sums(*f.sp);
    EXPECT_EQ(f.sp->of(2).logsum[1], 0.0);
    EXPECT_EQ(f.sp->of(20).logsum[20], 0.0);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), -1.0);
}

// A dimension's step is built beside its state in force: until it is taken, that state and
// the other dimensions' stay as they were, bit for bit, whether the build succeeded or not.
TEST(Propagation, ABuiltStepChangesNothingUntilTaken) {
    struct Case {
        int m;
        std::initializer_list<double> diagonal;
        PropagationStatus status;
    };
    const Case cases[] = {
        {1, {2.0}, PropagationStatus::Ok},
        {2, {-3.0, 0.5}, PropagationStatus::Ok},
        {3, {2.0, 0.0, 1.0}, PropagationStatus::SingularColumn},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.diag({3.0, 2.0, 0.5});
        for (int m = 1; m <= 3; ++m)
            ASSERT_EQ(f.step(m, 1, 1.0f), PropagationStatus::Ok);
        const auto before = std::make_unique<Spectrum>(*f.sp);
        f.diag(c.diagonal);
        EXPECT_EQ(
            build_step(*f.sp, linalg::fast_matrix_kernels(), f.a, c.m, 2, 1.0f, f.product, f.r),
            c.status)
            << c.m;
        for (int m = 1; m <= 3; ++m) {
            const DimensionState& now = f.sp->of(m);
            const DimensionState& was = before->of(m);
            EXPECT_EQ(std::memcmp(now.frame.a.data(), was.frame.a.data(), sizeof now.frame.a), 0)
                << c.m << " " << m;
            EXPECT_EQ(now.logsum, was.logsum) << c.m << " " << m;
            EXPECT_EQ(now.lambda, was.lambda) << c.m << " " << m;
        }
        if (c.status == PropagationStatus::Ok) {
            f.sp->take(c.m);
            EXPECT_EQ(f.sp->of(c.m).logsum[1],
                      std::log(3.0) + std::log(std::fabs(*c.diagonal.begin())))
                << c.m;
        }
    }
}

}  // namespace
}  // namespace tarnvex::spectrum
