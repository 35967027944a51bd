#include "linalg/mtrinv.hpp"

#include <array>
#include <cmath>
#include <utility>

#include "kernels.hpp"
#include "simd.hpp"

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

}  // namespace

namespace {

using vec = simd::v8d;
constexpr std::size_t W = 8;  // places a run

// The inversion on a working copy whose columns are R runs of eight places (R * 8 >= n), the
// places beyond the block zero: a column is updated a whole run at a time, and a place
// beyond the block stays zero because the pivot column is zero there. Each run is finished
// in registers and stored once, the pivot row element put in after it. The pivot search
// keeps, for every row, the largest magnitude over the columns still free, gathered from
// the runs in registers while the columns are updated; the rows already used are then
// multiplied out by 0, so they count as 0 (or NaN for an infinity), and a NaN never wins,
// as in the plain search. The first row holding the overall largest, then the first free
// column holding it in that row, is the first largest in row-then-column order.
template <std::size_t R>
[[gnu::always_inline]] inline InvertStatus invert_in_runs(Mat20& a, int n) {
    using Runs = std::array<vec, R>;
    const auto un = static_cast<std::size_t>(n);
    std::array<Runs, MMAX> c;
    for (std::size_t j = 0; j < un; ++j)
        c[j] = simd::load_column<R>(a.a.data() + j * MMAX, un);
    const auto store = [&] {
        for (std::size_t j = 0; j < un; ++j)
            simd::store_column<R>(a.a.data() + j * MMAX, c[j], un);
    };
    Runs keep{};  // 1 in the lane of a free row, 0 for a used one and beyond the block
    std::array<bool, MMAX> colfree{};
    for (std::size_t i = 0; i < un; ++i) {
        keep[i / W][i % W] = 1.0;
        colfree[i] = true;
    }
    Runs rowmax{};
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t k = 0; k < R; ++k)
            rowmax[k] = simd::max_keep(simd::abs(c[j][k]), rowmax[k]);
    }
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};

    for (int step = 1; step <= n; ++step) {
        // Used rows and places beyond the block drop out here: times 0 they give 0 (or NaN
        // for an infinity), and neither wins.
        for (std::size_t k = 0; k < R; ++k)
            rowmax[k] = rowmax[k] * keep[k];
        double best = 0.0;
        for (std::size_t i = 0; i < un; ++i) {
            const double v = rowmax[i / W][i % W];
            best = v > best ? v : best;
        }
        if (best <= 0.0) {
            store();
            return InvertStatus::Singular;
        }
        std::size_t r = 0;
        while (rowmax[r / W][r % W] != best)
            ++r;
        std::size_t s = 0;
        while (!colfree[s] || std::fabs(c[s][r / W][r % W]) != best)
            ++s;
        const double p = c[s][r / W][r % W];
        pivcol[r + 1] = static_cast<int>(s) + 1;
        pivrow[s + 1] = static_cast<int>(r) + 1;
        keep[r / W][r % W] = 0.0;
        colfree[s] = false;

        // Exchange step: the new pivot row -(a(r, j) / p), then every other column from the
        // old pivot row and column, then the pivot column.
        const vec pv = simd::splat(p);
        std::array<vec, 3> row_r{};
        for (std::size_t j = 0; j < un; ++j)
            row_r[j / W][j % W] = c[j][r / W][r % W];
        for (std::size_t k = 0; k < (un + W - 1) / W; ++k)
            row_r[k] = -(row_r[k] / pv);
        const Runs& cs = c[s];
        Runs acc{};
        for (std::size_t j = 0; j < un; ++j) {
            if (j == s) continue;
            Runs& cj = c[j];
            const vec av = simd::splat(cj[r / W][r % W]);
            // The run holding row r is computed whole and its row r element then replaced;
            // the row maxima read the runs in registers (row r, used now, drops out when
            // they are next searched).
            Runs x;
            for (std::size_t k = 0; k < R; ++k) {
                x[k] = cj[k] - (cs[k] * av) / pv;
                cj[k] = x[k];
            }
            cj[r / W][r % W] = row_r[j / W][j % W];
            if (colfree[j]) {
                for (std::size_t k = 0; k < R; ++k)
                    acc[k] = simd::max_keep(simd::abs(x[k]), acc[k]);
            }
        }
        rowmax = acc;
        for (std::size_t k = 0; k < R; ++k)
            c[s][k] = c[s][k] / pv;
        c[s][r / W][r % W] = 1.0 / p;
    }
    store();
    undo_permutation(a, n, pivcol, pivrow);
    return InvertStatus::Ok;
}

}  // namespace

namespace fast {
TARNVEX_VECTOR_CLONES
InvertStatus mtrinv_in_runs(Mat20& a, int n) {
    if (n <= 8) return invert_in_runs<1>(a, n);
    if (n <= 16) return invert_in_runs<2>(a, n);
    return invert_in_runs<3>(a, n);
}
}  // namespace fast

// Both give the same bits; for orders 1 and 2 the plain loops are the quicker.
InvertStatus fast::mtrinv(Mat20& a, int n) {
    if (n <= 0) return InvertStatus::Ok;
    return n < 3 ? plain::mtrinv(a, n) : mtrinv_in_runs(a, n);
}

InvertStatus plain::mtrinv(Mat20& a, int n) {
    if (n <= 0) return InvertStatus::Ok;
    // pivcol(i): column of the pivot taken in row i; pivrow(j): row of the pivot taken
    // in column j; 0 while unused.
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};

    for (int step = 1; step <= n; ++step) {
        double p;
        int r, s;
        find_pivot(a, n, pivcol, pivrow, p, r, s);
        if (std::fabs(p) <= 0.0) return InvertStatus::Singular;
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
    return InvertStatus::Ok;
}

}  // namespace tarnvex::linalg
