#include "linalg/mtrinv.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/matrix_util.hpp"

namespace tarnvex::linalg {
namespace {

using testing::rows;

// Every case holds for both builds of the inversion.
using Inversion = InvertStatus (*)(Mat20&, int);
class Mtrinv : public ::testing::TestWithParam<Inversion> {
  protected:
    static InvertStatus invert(Mat20& a, int n) { return GetParam()(a, n); }
};
INSTANTIATE_TEST_SUITE_P(BothKernelSets, Mtrinv, ::testing::Values(&plain::mtrinv, &fast::mtrinv));

struct Exact {
    const char* name;
    Mat20 in;
    int n;
    Mat20 want;
};

TEST_P(Mtrinv, ExactInverses) {
    const Exact cases[] = {
        {"identity 3", rows({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), 3,
         rows({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}})},
        {"swap 2", rows({{0, 1}, {1, 0}}), 2, rows({{0, 1}, {1, 0}})},
        {"cycle 3", rows({{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}), 3,
         rows({{0, 0, 1}, {1, 0, 0}, {0, 1, 0}})},
        {"order 1", rows({{4}}), 1, rows({{0.25}})},
        {"diagonal", rows({{2, 0}, {0, -8}}), 2, rows({{0.5, 0}, {0, -0.125}})},
    };
    for (const auto& c : cases) {
        Mat20 a = c.in;
        EXPECT_EQ(invert(a, c.n), InvertStatus::Ok) << c.name;
        for (int i = 1; i <= c.n; ++i) {
            for (int j = 1; j <= c.n; ++j)
                EXPECT_EQ(a(i, j), c.want(i, j)) << c.name;
        }
        EXPECT_EQ(a(c.n + 1, 1), 777.0) << c.name << ": outside the block";
    }
}

TEST_P(Mtrinv, SingularOnlyOnAnExactlyZeroPivot) {
    const struct {
        const char* name;
        Mat20 in;
        int n;
    } cases[] = {
        {"order 1 zero", rows({{0}}), 1},
        {"all equal", rows({{1, 1}, {1, 1}}), 2},
        {"multiple rows", rows({{1, 2}, {2, 4}}), 2},
        {"zero row", rows({{1, 2, 3}, {0, 0, 0}, {4, 5, 7}}), 3},
        {"zero column", rows({{1, 0, 3}, {2, 0, 5}, {4, 0, 7}}), 3},
    };
    for (const auto& c : cases) {
        Mat20 a = c.in;
        EXPECT_EQ(invert(a, c.n), InvertStatus::Singular) << c.name;
    }
    // Rows (1, 2), (2, 4): pivot (2, 2) = 4 first, and a(1, 1) becomes exactly 0.
    Mat20 a = rows({{1, 2}, {2, 4}});
    ASSERT_EQ(invert(a, 2), InvertStatus::Singular);
    EXPECT_EQ(a(1, 1), 0.0);
    EXPECT_EQ(a(2, 2), 0.25);
}

TEST_P(Mtrinv, RoundingResidueIsAcceptedAsAPivot) {
    Mat20 a = rows({{-1, 1, 2}, {-1, 3, 3}, {0, 2, 1}});
    ASSERT_EQ(invert(a, 3), InvertStatus::Ok);
    double largest = 0.0;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j)
            largest = std::max(largest, std::fabs(a(i, j)));
    }
    EXPECT_GT(largest, 1e15);
    EXPECT_LT(largest, 1e17);
}

TEST_P(Mtrinv, SmallCasesAndOrderZero) {
    Mat20 a = rows({{2, 1}, {1, 3}});
    ASSERT_EQ(invert(a, 2), InvertStatus::Ok);
    EXPECT_NEAR(a(1, 1), 0.6, 1e-15);
    EXPECT_NEAR(a(1, 2), -0.2, 1e-15);
    EXPECT_NEAR(a(2, 1), -0.2, 1e-15);
    EXPECT_NEAR(a(2, 2), 0.4, 1e-15);

    Mat20 b = rows({{5}});
    EXPECT_EQ(invert(b, 0), InvertStatus::Ok);
    EXPECT_EQ(b(1, 1), 5.0);
}

TEST_P(Mtrinv, InverseTimesMatrixIsNearTheIdentity) {
    std::mt19937 gen(7);
    for (int n = 1; n <= 20; ++n) {
        for (int trial = 0; trial < 5; ++trial) {
            const Mat20 m = testing::random_matrix(gen, n, 3.0);
            Mat20 inv = m;
            ASSERT_EQ(invert(inv, n), InvertStatus::Ok);
            for (int i = 1; i <= n; ++i) {
                for (int j = 1; j <= n; ++j) {
                    double s = 0.0;
                    for (int k = 1; k <= n; ++k)
                        s += inv(i, k) * m(k, j);
                    EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << n;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tarnvex::linalg
