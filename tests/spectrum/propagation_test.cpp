#include "spectrum/propagation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace tarnvex::spectrum {
namespace {

struct Fixture {
    std::unique_ptr<Spectrum> sp = std::make_unique<Spectrum>();
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
    ASSERT_EQ(propagate_dimension(*f.sp, linalg::fast_matrix_kernels(), f.a, 2, 1, 0.6931472f),
              PropagationStatus::Ok);
    EXPECT_EQ(f.sp->of(2).lambda[1], 1.0f);
    EXPECT_EQ(f.sp->of(2).lambda[2], -1.0f);
    EXPECT_EQ(f.sp->of(2).logsum[1], std::log(2.0));
    EXPECT_EQ(f.sp->of(2).frame(1, 1), 1.0);
    EXPECT_EQ(f.sp->of(2).frame(2, 2), 1.0);
}

TEST(Propagation, NegativeStretchGoesIntoTheFrame) {
    Fixture f;
    f.diag({-3.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, linalg::fast_matrix_kernels(), f.a, 2, 1, 1.0f),
              PropagationStatus::Ok);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), -1.0);
    EXPECT_EQ(f.sp->of(2).frame(2, 2), 1.0);
    EXPECT_EQ(f.sp->of(2).logsum[1], std::log(3.0));
    // The next step maps with the turned frame: -3 * -1 stretches by 3 again.
    f.diag({-3.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, linalg::fast_matrix_kernels(), f.a, 2, 2, 1.0f),
              PropagationStatus::Ok);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), 1.0);
    EXPECT_EQ(f.sp->of(2).logsum[1], std::log(3.0) + std::log(3.0));
}

TEST(Propagation, FailedOrthonormalisationLeavesTheDimensionAlone) {
    Fixture f;
    f.sp->of(2).logsum[1] = 5.0;
    f.diag({0.0, 1.0});
    EXPECT_EQ(propagate_dimension(*f.sp, linalg::fast_matrix_kernels(), f.a, 2, 50, 1.0f),
              PropagationStatus::SingularColumn);
    EXPECT_EQ(f.sp->of(2).logsum[1], 5.0);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), 1.0);
}

TEST(Propagation, ClearingTheSumsKeepsTheFrames) {
    Fixture f;
    f.diag({-3.0, 2.0});
    ASSERT_EQ(propagate_dimension(*f.sp, linalg::fast_matrix_kernels(), f.a, 2, 1, 1.0f),
              PropagationStatus::Ok);
    f.sp->of(20).logsum[20] = 1.0;
    clear_sums(*f.sp);
    EXPECT_EQ(f.sp->of(2).logsum[1], 0.0);
    EXPECT_EQ(f.sp->of(20).logsum[20], 0.0);
    EXPECT_EQ(f.sp->of(2).frame(1, 1), -1.0);
}

}  // namespace
}  // namespace tarnvex::spectrum
