#include "linalg/hshold.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "support/matrix_util.hpp"

namespace tarnvex::linalg {
namespace {

using testing::rows;

struct Result {
    OrthoStatus status;
    Mat20 b, q, r;
};

// Every case holds for both builds of the orthonormalisation.
using Orthonormalisation = OrthoStatus (*)(Mat20&, Mat20&, Mat20&, int);
class Hshold : public ::testing::TestWithParam<Orthonormalisation> {
  protected:
    static Result factor(const Mat20& in, int n) {
        Result res{OrthoStatus::Ok, in, {}, {}};
        res.q.a.fill(99.0);
        res.r.a.fill(99.0);
        res.status = GetParam()(res.b, res.q, res.r, n);
        return res;
    }
};
INSTANTIATE_TEST_SUITE_P(BothKernelSets, Hshold, ::testing::Values(&plain::hshold, &fast::hshold));

TEST_P(Hshold, OrderOne) {
    const struct { double b, q, r; } cases[] = {{-3, -1, 3}, {2, 1, 2}};
    for (const auto& c : cases) {
        const Result res = factor(rows({{c.b}}), 1);
        ASSERT_EQ(res.status, OrthoStatus::Ok);
        EXPECT_EQ(res.q(1, 1), c.q);
        EXPECT_EQ(res.r(1, 1), c.r);
    }
    const Result zero = factor(rows({{0}}), 1);
    EXPECT_EQ(zero.status, OrthoStatus::SingularColumn);
}

TEST_P(Hshold, OrthonormalInputComesBackUnchanged) {
    const double c = std::cos(0.3), s = std::sin(0.3);
    const struct {
        const char* name;
        Mat20 b;
        int n;
    } cases[] = {
        {"identity", rows({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), 3},
        {"swap", rows({{0, 1}, {1, 0}}), 2},
        {"rotation", rows({{c, -s}, {s, c}}), 2},
        {"reflection", rows({{c, s}, {s, -c}}), 2},
    };
    for (const auto& t : cases) {
        const Result res = factor(t.b, t.n);
        ASSERT_EQ(res.status, OrthoStatus::Ok) << t.name;
        for (int i = 1; i <= t.n; ++i) {
            for (int j = 1; j <= t.n; ++j) {
                EXPECT_NEAR(res.q(i, j), t.b(i, j), 1e-15) << t.name;
                EXPECT_NEAR(res.r(i, j), i == j ? 1.0 : 0.0, 1e-15) << t.name;
            }
        }
    }
    // The reflection keeps its negative determinant: no column is turned around.
    const Result refl = factor(rows({{c, s}, {s, -c}}), 2);
    EXPECT_LT(refl.q(1, 1) * refl.q(2, 2) - refl.q(1, 2) * refl.q(2, 1), 0.0);
    // The identity is exact.
    const Result id = factor(rows({{1, 0}, {0, 1}}), 2);
    EXPECT_EQ(id.q(1, 1), 1.0);
    EXPECT_EQ(id.q(2, 2), 1.0);
    EXPECT_EQ(id.q(1, 2), 0.0);
}

TEST_P(Hshold, TwoByTwoExample) {
    const Result res = factor(rows({{3, 1}, {4, 2}}), 2);
    ASSERT_EQ(res.status, OrthoStatus::Ok);
    const double q[2][2] = {{0.6, -0.8}, {0.8, 0.6}};
    const double r[2][2] = {{5, 2.2}, {0, 0.4}};
    for (int i = 1; i <= 2; ++i) {
        for (int j = 1; j <= 2; ++j) {
            EXPECT_NEAR(res.q(i, j), q[i - 1][j - 1], 1e-15);
            EXPECT_NEAR(res.r(i, j), r[i - 1][j - 1], 1e-15);
        }
    }
    EXPECT_EQ(res.r(2, 1), 0.0);
}

TEST_P(Hshold, DependentColumns) {
    // Exactly reduced to zero: failure at the second column, b left altered.
    const Result fail = factor(rows({{1, 1}, {1, 1}}), 2);
    EXPECT_EQ(fail.status, OrthoStatus::SingularColumn);
    EXPECT_NE(fail.b(1, 1), 1.0);  // the first column holds the reflection vector
    EXPECT_EQ(fail.q(1, 1), 0.0);
    EXPECT_EQ(fail.r(1, 2), 0.0);

    // A rounding residue passes the threshold.
    const Result pass = factor(rows({{1, 2}, {2, 4}}), 2);
    EXPECT_EQ(pass.status, OrthoStatus::Ok);
    EXPECT_GT(pass.r(2, 2), 1e-16);
    EXPECT_LT(pass.r(2, 2), 1e-15);

    // A zero first column fails at once with b untouched.
    const Mat20 zero_col = rows({{0, 1}, {0, 2}});
    const Result first = factor(zero_col, 2);
    EXPECT_EQ(first.status, OrthoStatus::SingularColumn);
    EXPECT_EQ(std::memcmp(first.b.a.data(), zero_col.a.data(), sizeof zero_col.a), 0);
}

TEST_P(Hshold, PropertiesOverRandomMatrices) {
    std::mt19937 gen(11);
    for (int n = 1; n <= 20; ++n) {
        for (int trial = 0; trial < 5; ++trial) {
            const Mat20 b = testing::random_matrix(gen, n, 0.5);
            const Result res = factor(b, n);
            ASSERT_EQ(res.status, OrthoStatus::Ok);
            // b restored bit for bit.
            for (int i = 1; i <= n; ++i) {
                for (int j = 1; j <= n; ++j) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(res.b(i, j)),
                              std::bit_cast<std::uint64_t>(b(i, j)));
                }
            }
            for (int i = 1; i <= n; ++i) {
                EXPECT_GT(res.r(i, i), 0.0);
                for (int j = 1; j <= n; ++j) {
                    double qtq = 0.0, qr = 0.0;
                    for (int k = 1; k <= n; ++k) {
                        qtq += res.q(k, i) * res.q(k, j);
                        qr += res.q(i, k) * res.r(k, j);
                    }
                    EXPECT_NEAR(qtq, i == j ? 1.0 : 0.0, 1e-11) << n;
                    EXPECT_NEAR(qr, b(i, j), 1e-11) << n;
                    if (i > j) {
                        EXPECT_EQ(res.r(i, j), 0.0);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tarnvex::linalg
