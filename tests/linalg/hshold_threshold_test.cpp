// The orthonormalisation's singular threshold at its boundary: a column whose remaining
// part has a squared length of 1e-50 or more is factored, one below it is singular. Both
// builds of the routine, and orders that take every run length of the fast one.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "linalg/hshold.hpp"
#include "textio/channels.hpp"

namespace tarnvex::linalg {
namespace {

enum class Routine { Plain, Fast };

const char* name_of(Routine routine) { return routine == Routine::Plain ? "plain" : "fast"; }

// The one place the routines are called: true when `b` was factored, false when it was
// found singular.
bool factors(Routine routine, Mat20& b, Mat20& q, Mat20& r, int n) {
    textio::StringWriter console;
    const int status = routine == Routine::Plain ? plain::hshold(b, q, r, n, console)
                                                 : fast::hshold(b, q, r, n, console);
    return status == 0;
}

// The threshold on the squared length, as a double.
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
    double under;  // entry below the diagonal of the small column; only used when k < n
    bool needs_row_below;
    bool factored;
};

const Case kCases[] = {
    {"just above", kAbove, 0.0, false, true},
    {"just above, negative", -kAbove, 0.0, false, true},
    {"equal, reached by two entries", kBelow, kTopUp, true, true},
    {"equal, negative", -kBelow, -kTopUp, true, true},
    {"just below", kBelow, 0.0, false, false},
    {"just below, negative", -kBelow, 0.0, false, false},
};

const Routine kRoutines[] = {Routine::Plain, Routine::Fast};
const int kOrders[] = {1, 3, 9, 17};  // the fast routine runs rows in one, two and three runs

TEST(HsholdThreshold, SquaredLengthAtLeastTheThresholdFactorsBelowItIsSingular) {
    for (Routine routine : kRoutines) {
        for (int n : kOrders) {
            for (int k : {1, n}) {
                for (const Case& c : kCases) {
                    if (c.needs_row_below && k == n) continue;
                    SCOPED_TRACE(std::string(name_of(routine)) + ", n = " + std::to_string(n) +
                                 ", column " + std::to_string(k) + ": " + c.name);
                    Mat20 b = with_small_column(n, k, c.diag, c.under);
                    const double s = (k < n ? c.under * c.under : 0.0) + c.diag * c.diag;
                    Mat20 q, r;
                    q.a.fill(99.0);
                    r.a.fill(99.0);
                    const bool ok = factors(routine, b, q, r, n);
                    ASSERT_EQ(ok, c.factored);
                    if (ok) {
                        // The diagonal of r is the length of the remaining part, positive.
                        EXPECT_EQ(r(k, k), std::sqrt(s));
                        EXPECT_GE(r(k, k), std::sqrt(kThreshold));
                        // Column k of q is the unit vector along that part: its entries
                        // from row k down are the small entries scaled by 1 / r(k, k).
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
}

// The threshold is absolute: columns of ordinary size elsewhere do not move it.
TEST(HsholdThreshold, LargeNeighbouringColumnsDoNotMoveTheBoundary) {
    for (Routine routine : kRoutines) {
        for (const Case& c : kCases) {
            if (c.needs_row_below) continue;
            SCOPED_TRACE(std::string(name_of(routine)) + ": " + c.name);
            const int n = 3;
            Mat20 b = with_small_column(n, 2, c.diag, 0.0);
            b(1, 1) = 1e20;
            b(3, 3) = -1e20;
            b(1, 3) = 1e20;
            Mat20 q, r;
            EXPECT_EQ(factors(routine, b, q, r, n), c.factored);
        }
    }
}

}  // namespace
}  // namespace tarnvex::linalg
