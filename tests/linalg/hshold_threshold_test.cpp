// The orthonormalisation's singular threshold at its boundary: a column whose remaining
// part has a squared length of 1e-50 or more is factored, one below it is singular. Both
// builds of the routine, and orders that take every run length of the fast one.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "linalg/hshold.hpp"

namespace tarnvex::linalg {
namespace {

// The two routines under test; the only place they are named.
using Orthonormalisation = OrthoStatus (*)(Mat20&, Mat20&, Mat20&, int);
struct Routine {
    const char* name;
    Orthonormalisation factor;
};
void PrintTo(const Routine& routine, std::ostream* os) {
    *os << routine.name;
}
const Routine kPlain{"plain", &plain::hshold};
const Routine kFast{"fast", &fast::hshold};

// The threshold on the squared length, written out here so that a change to the one in
// the routines shows.
constexpr double kThreshold = 1e-50;

// Entries whose square lies one unit in the last place above or below the threshold
// (no double squares to the threshold exactly).
const double kAbove = 1e-25;
const double kBelow = std::nextafter(1e-25, 0.0);
// Added after kBelow squared, the square of kTopUp brings the sum to the threshold itself.
const double kTopUp = std::ldexp(1.25, -110);

TEST(HsholdThreshold, ChosenEntriesSitAtTheBoundary) {
    EXPECT_EQ(kAbove * kAbove, std::nextafter(kThreshold, 1.0));
    EXPECT_EQ(kBelow * kBelow, std::nextafter(kThreshold, 0.0));
    EXPECT_EQ(kTopUp * kTopUp + kBelow * kBelow, kThreshold);
}

// Upper triangular of order n, 2 on the diagonal and 0.5 above it, except that column k
// holds `diag` at row k and `under` at row k + 1 (when there is one). The reflections of
// the columns before k change only rows above k of column k, so its remaining squared
// length is exactly under * under + diag * diag, summed in that order.
Mat20 with_small_column(int n, int k, double diag, double under) {
    Mat20 m;
    m.a.fill(777.0);
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i)
            m(i, j) = i < j ? 0.5 : (i == j ? 2.0 : 0.0);
    }
    m(k, k) = diag;
    if (k < n) m(k + 1, k) = under;
    return m;
}

struct Case {
    const char* name;
    double diag;
    double under;  // entry below the diagonal of the small column
    bool needs_row_below;
    OrthoStatus expected;
};

const Case kCases[] = {
    {"just above", kAbove, 0.0, false, OrthoStatus::Ok},
    {"just above, negative", -kAbove, 0.0, false, OrthoStatus::Ok},
    {"equal, reached by two entries", kBelow, kTopUp, true, OrthoStatus::Ok},
    {"equal, negative", -kBelow, -kTopUp, true, OrthoStatus::Ok},
    {"just below", kBelow, 0.0, false, OrthoStatus::SingularColumn},
    {"just below, negative", -kBelow, 0.0, false, OrthoStatus::SingularColumn},
};

// The fast routine holds rows in one, two or three runs of eight: orders 1, 3, 9 and 17
// take all three, with the small column first or last.
const int kOrders[] = {1, 3, 9, 17};

class HsholdThresholdOf : public ::testing::TestWithParam<Routine> {};
INSTANTIATE_TEST_SUITE_P(BothKernelSets, HsholdThresholdOf, ::testing::Values(kPlain, kFast),
                         [](const ::testing::TestParamInfo<Routine>& p) {
                             return std::string(p.param.name);
                         });

TEST_P(HsholdThresholdOf, SquaredLengthAtLeastTheThresholdFactorsBelowItIsSingular) {
    for (int n : kOrders) {
        for (int k : {1, n}) {
            for (const Case& c : kCases) {
                if (c.needs_row_below && k == n) continue;
                SCOPED_TRACE("n = " + std::to_string(n) + ", column " + std::to_string(k) + ": " +
                             c.name);
                Mat20 b = with_small_column(n, k, c.diag, c.under);
                const double s = (k < n ? c.under * c.under : 0.0) + c.diag * c.diag;
                Mat20 q, r;
                q.a.fill(99.0);
                r.a.fill(99.0);
                const OrthoStatus status = GetParam().factor(b, q, r, n);
                EXPECT_EQ(status, c.expected);
                if (status != c.expected) continue;
                if (status == OrthoStatus::Ok) {
                    // The diagonal of r is the length of the remaining part, positive.
                    EXPECT_EQ(r(k, k), std::sqrt(s));
                    EXPECT_GE(r(k, k), std::sqrt(kThreshold));
                    // Column k of q is the unit vector along that part.
                    EXPECT_NEAR(q(k, k), c.diag / std::sqrt(s), 1e-12);
                } else {
                    for (int j = 1; j <= n; ++j) {
                        for (int i = 1; i <= n; ++i) {
                            EXPECT_EQ(q(i, j), 0.0) << i << "," << j;
                            EXPECT_EQ(r(i, j), 0.0) << i << "," << j;
                        }
                    }
                }
            }
        }
    }
}

// The threshold is absolute: columns of ordinary size around the small one do not move it.
TEST_P(HsholdThresholdOf, LargeNeighbouringColumnsDoNotMoveTheBoundary) {
    for (const Case& c : kCases) {
        if (c.needs_row_below) continue;
        SCOPED_TRACE(c.name);
        const int n = 3;
        Mat20 b = with_small_column(n, 2, c.diag, 0.0);
        b(1, 1) = 1e20;
        b(3, 3) = -1e20;
        b(1, 3) = 1e20;
        Mat20 q, r;
        EXPECT_EQ(GetParam().factor(b, q, r, n), c.expected);
    }
}

}  // namespace
}  // namespace tarnvex::linalg
