#include "linalg/mtrinv.hpp"

#include <array>
#include <cmath>
#include <utility>

#include "kernels.hpp"

namespace tarnvex::linalg {

namespace {

// The value in row i, column j belongs in row pivcol(i), column pivrow(j): rows first.
void undo_permutation(Mat20& a, int n, std::array<int, MMAX + 1>& pivcol,
                      std::array<int, MMAX + 1>& pivrow) {
    for (int i = 1; i < n; ++i) {
        if (pivcol[i] != i) {
            int l = i + 1;
            while (pivcol[l] != i)
                ++l;
            for (int j = 1; j <= n; ++j)
                std::swap(a(i, j), a(l, j));
            pivcol[l] = pivcol[i];
        }
        pivcol[i] = i;
    }
    for (int i = 1; i < n; ++i) {
        if (pivrow[i] != i) {
            int l = i + 1;
            while (pivrow[l] != i)
                ++l;
            for (int k = 1; k <= n; ++k)
                std::swap(a(k, i), a(k, l));
            pivrow[l] = pivrow[i];
        }
        pivrow[i] = i;
    }
}

// First largest magnitude among unused rows and columns, rows outer; p = 0 when the
// remaining block is zero.
inline void find_pivot(const Mat20& a, int n, const std::array<int, MMAX + 1>& pivcol,
                       const std::array<int, MMAX + 1>& pivrow, double& p, int& r, int& s) {
    p = 0.0;
    r = 0;
    s = 0;
    for (int i = 1; i <= n; ++i) {
        if (pivcol[i] != 0) continue;
        for (int j = 1; j <= n; ++j) {
            if (pivrow[j] != 0) continue;
            if (std::fabs(p) < std::fabs(a(i, j))) {
                p = a(i, j);
                r = i;
                s = j;
            }
        }
    }
}

// The same pivot as find_pivot, found column by column: the largest magnitude, ties to the
// lowest row, then to the lowest column, which is the first largest in row-then-column
// order. Each column's largest magnitude comes from a lane-wise maximum over 20 places
// (rows in use count as zero, or NaN for an infinity, places beyond the block as zero;
// none of these wins).
inline void find_pivot_by_columns(const double* base, int n,
                                  const std::array<int, MMAX + 1>& pivcol,
                                  const std::array<int, MMAX + 1>& pivrow, double& p, int& r,
                                  int& s) {
    const auto un = static_cast<std::size_t>(n);
    // 1 for the rows still free, 0 for the others and beyond the block; a magnitude times 0
    // is 0 (or NaN for an infinity), and neither wins.
    std::array<double, MMAX> keep{};
    for (std::size_t i = 0; i < un; ++i)
        keep[i] = pivcol[i + 1] == 0 ? 1.0 : 0.0;
    double best = 0.0;
    std::size_t brow = MMAX;
    std::size_t bcol = 0;
    std::array<double, MMAX> w{};  // places beyond the block stay 0
    for (std::size_t j = 0; j < un; ++j) {
        if (pivrow[j + 1] != 0) continue;
        const double* const col = base + j * MMAX;
        for (std::size_t i = 0; i < un; ++i)
            w[i] = std::fabs(col[i]) * keep[i];
        double lane[4] = {0.0, 0.0, 0.0, 0.0};
        for (std::size_t i = 0; i < MMAX; i += 4) {
            for (std::size_t l = 0; l < 4; ++l)
                lane[l] = w[i + l] > lane[l] ? w[i + l] : lane[l];
        }
        double colmax = lane[0];
        for (std::size_t l = 1; l < 4; ++l)
            colmax = lane[l] > colmax ? lane[l] : colmax;
        if (colmax < best || colmax == 0.0) continue;
        std::size_t i = 0;
        while (w[i] != colmax)
            ++i;
        if (colmax > best || i < brow) {
            best = colmax;
            brow = i;
            bcol = j;
        }
    }
    if (best > 0.0) {
        r = static_cast<int>(brow) + 1;
        s = static_cast<int>(bcol) + 1;
        p = base[brow + bcol * MMAX];
    } else {
        p = 0.0;
        r = 0;
        s = 0;
    }
}

}  // namespace

int mtrinv(Mat20& a, int n, textio::RecordWriter& console) {
#ifdef TARNVEX_PLAIN_KERNELS
    return plain::mtrinv(a, n, console);
#else
    // Both give the same bits; below order 7 the plain loops are the quicker.
    return n < 7 ? plain::mtrinv(a, n, console) : fast::mtrinv(a, n, console);
#endif
}

TARNVEX_VECTOR_CLONES
int fast::mtrinv(Mat20& a, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};
    double* const base = a.a.data();
    const auto un = static_cast<std::size_t>(n);

    for (int step = 1; step <= n; ++step) {
        double p;
        int r, s;
        find_pivot_by_columns(base, n, pivcol, pivrow, p, r, s);
        if (std::fabs(p) <= 0.0) {
            console.write_free({"mtrinv: matrix singular"});
            return 1;
        }
        pivcol[r] = s;
        pivrow[s] = r;

        // The same operations on the same elements as the plain loops, a whole column at a
        // time: the pivot row is computed along and then put back, so that every other
        // element sees the old pivot row and column.
        double* __restrict const cs = base + static_cast<std::size_t>(s - 1) * MMAX;
        const auto ur = static_cast<std::size_t>(r - 1);
        cs[ur] = 1.0 / p;
        for (int j = 1; j <= n; ++j) {
            if (j == s) continue;
            double* __restrict const cj = base + static_cast<std::size_t>(j - 1) * MMAX;
            const double arj = cj[ur];
            for (std::size_t i = 0; i < un; ++i)
                cj[i] = cj[i] - (cs[i] * arj) / p;
            cj[ur] = arj;
        }
        const double pivot_inverse = cs[ur];
        for (std::size_t i = 0; i < un; ++i)
            cs[i] = cs[i] / p;
        cs[ur] = pivot_inverse;
        for (int j = 1; j <= n; ++j) {
            if (j != s) a(r, j) = -(a(r, j) / p);
        }
    }
    undo_permutation(a, n, pivcol, pivrow);
    return 0;
}

int plain::mtrinv(Mat20& a, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    // pivcol(i): column of the pivot taken in row i; pivrow(j): row of the pivot taken
    // in column j; 0 while unused.
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};

    for (int step = 1; step <= n; ++step) {
        double p;
        int r, s;
        find_pivot(a, n, pivcol, pivrow, p, r, s);
        if (std::fabs(p) <= 0.0) {
            console.write_free({"mtrinv: matrix singular"});
            return 1;
        }
        pivcol[r] = s;
        pivrow[s] = r;

        // Exchange step: the product, then the division by p, then the subtraction; the
        // pivot row and column still hold their old values while the rest is updated.
        a(r, s) = 1.0 / p;
        for (int j = 1; j <= n; ++j) {
            if (j == s) continue;
            const double arj = a(r, j);
            for (int i = 1; i <= n; ++i) {
                if (i == r) continue;
                a(i, j) = a(i, j) - (a(i, s) * arj) / p;
            }
        }
        for (int i = 1; i <= n; ++i) {
            if (i != r) a(i, s) = a(i, s) / p;
        }
        for (int j = 1; j <= n; ++j) {
            if (j != s) a(r, j) = -(a(r, j) / p);
        }
    }

    undo_permutation(a, n, pivcol, pivrow);
    return 0;
}

}  // namespace tarnvex::linalg
