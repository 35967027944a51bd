#include "linalg/mtrinv.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "kernels.hpp"
#include "simd.hpp"

namespace tarnvex::linalg {

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();

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

int mtrinv(Mat20& a, int n, textio::RecordWriter& console) {
#ifdef TARNVEX_PLAIN_KERNELS
    return plain::mtrinv(a, n, console);
#else
    // Both give the same bits; below order 7 the plain loops are the quicker.
    return n < 7 ? plain::mtrinv(a, n, console) : fast::mtrinv(a, n, console);
#endif
}

int mtrinv_symmetric(Mat20& a, int n, textio::RecordWriter& console) {
#ifdef TARNVEX_PLAIN_KERNELS
    return plain::mtrinv(a, n, console);
#else
    return n < 5 ? plain::mtrinv(a, n, console) : fast::mtrinv_symmetric(a, n, console);
#endif
}

int mtrinv_sparse(Mat20& a, int n, textio::RecordWriter& console) {
#ifdef TARNVEX_PLAIN_KERNELS
    return plain::mtrinv(a, n, console);
#else
    return n < 4 ? plain::mtrinv(a, n, console) : fast::mtrinv_sparse(a, n, console);
#endif
}

namespace {

// The working copy of the fast inversions: a column is ten runs of two places, the places
// beyond the block zero. A column is updated in whole runs; the extra place of a run either
// lies outside the block, where the pivot column is zero so that it stays zero, or is a
// place whose update changes nothing or is never read (see each routine). The divisions
// bound the time, and a divider takes the same time per lane whatever the vector width,
// so short runs waste the least on places that need no update.
using vec = simd::v4d;
using mask = simd::v4l;
constexpr std::size_t W = 4;  // places a run
constexpr std::size_t RUNS = MMAX / W;

struct Block {
    std::array<std::array<vec, RUNS>, MMAX> c;
    double at(std::size_t j, std::size_t i) const { return c[j][i / W][i % W]; }
    void set(std::size_t j, std::size_t i, double x) { c[j][i / W][i % W] = x; }
};

// Runs needed for places 0..n-1.
inline std::size_t runs_for(std::size_t n) {
    return (n + W - 1) / W;
}

inline void load_block(const Mat20& a, std::size_t un, Block& b) {
    for (auto& col : b.c)
        col.fill(vec{});
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i < un; ++i)
            b.set(j, i, a.a[i + j * MMAX]);
    }
}

inline void store_block(const Block& b, std::size_t un, Mat20& a) {
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i < un; ++i)
            a.a[i + j * MMAX] = b.at(j, i);
    }
}

// Free rows and columns: keep is 1 in the lane of a row (symmetric: an index) still free,
// 0 for a used one and beyond the block.
struct Free {
    std::array<vec, RUNS> keep;
    std::array<bool, MMAX> colfree;
    explicit Free(std::size_t un) {
        keep.fill(vec{});
        colfree.fill(false);
        for (std::size_t i = 0; i < un; ++i) {
            keep[i / W][i % W] = 1.0;
            colfree[i] = true;
        }
    }
    void use(std::size_t r, std::size_t s) {
        keep[r / W][r % W] = 0.0;
        colfree[s] = false;
    }
};

// Largest magnitude of each free row so far: the magnitudes of used rows are multiplied by
// 0, so they count as 0, or as NaN for an infinity, and neither can win; a NaN never wins,
// as in the plain search.
using RowMax = std::array<vec, RUNS>;

inline void add_column(const std::array<vec, RUNS>& c, const Free& f, std::size_t runs,
                       RowMax& rowmax) {
    for (std::size_t k = 0; k < runs; ++k)
        rowmax[k] = simd::max_keep(simd::abs(c[k]) * f.keep[k], rowmax[k]);
}

// The pivot from the row maxima: the first row holding the largest magnitude, then the first
// free column holding it in that row (from the diagonal on, for the upper half of a
// symmetric block), which is the first largest in row-then-column order. p = 0 when every
// free element is zero.
inline void pivot_from_rows(const Block& b, const Free& f, std::size_t un, const RowMax& rowmax,
                            double& p, std::size_t& r, std::size_t& s, bool upper) {
    double best = 0.0;
    for (std::size_t i = 0; i < un; ++i) {
        const double v = rowmax[i / W][i % W];
        best = v > best ? v : best;
    }
    p = 0.0;
    r = 0;
    s = 0;
    if (best <= 0.0) return;
    while (rowmax[r / W][r % W] != best)
        ++r;
    s = upper ? r : 0;
    while (!f.colfree[s] || std::fabs(b.at(s, r)) != best)
        ++s;
    p = b.at(s, r);
}

// The new elements of pivot row r of every column, -(a(r, j) / p), a run at a time.
inline std::array<vec, RUNS> new_pivot_row(const Block& b, std::size_t un, std::size_t r, vec pv) {
    std::array<vec, RUNS> row{};
    for (std::size_t j = 0; j < un; ++j)
        row[j / W][j % W] = b.at(j, r);
    for (std::size_t k = 0; k < runs_for(un); ++k)
        row[k] = -(row[k] / pv);
    return row;
}

// One exchange step on the whole block, column by column: the same operations on the same
// elements as the plain loops, the old pivot row element of each column read before the
// column is updated. The row maxima of the free columns for the next search are gathered
// on the way.
inline void exchange_step(Block& b, Free& f, std::size_t un, std::size_t r, std::size_t s, double p,
                          RowMax& rowmax) {
    const std::size_t runs = runs_for(un);
    f.use(r, s);
    const vec pv = simd::splat4(p);
    const auto& cs = b.c[s];
    const std::array<vec, RUNS> row_r = new_pivot_row(b, un, r, pv);
    RowMax acc{};
    for (std::size_t j = 0; j < un; ++j) {
        if (j == s) continue;
        auto& cj = b.c[j];
        const vec av = simd::splat4(cj[r / W][r % W]);
        for (std::size_t k = 0; k < runs; ++k)
            cj[k] = cj[k] - (cs[k] * av) / pv;
        cj[r / W][r % W] = row_r[j / W][j % W];
        if (f.colfree[j]) add_column(cj, f, runs, acc);
    }
    auto& csw = b.c[s];
    for (std::size_t k = 0; k < runs; ++k)
        csw[k] = csw[k] / pv;
    csw[r / W][r % W] = 1.0 / p;
    rowmax = acc;
}

// Exchange steps first_step..n with the general pivot search on the working copy, which is
// then stored and the permutation undone. On a singular block the copy is stored as the
// completed steps left it.
inline int general_steps(Mat20& a, Block& b, Free& f, int n, int first_step,
                         std::array<int, MMAX + 1>& pivcol, std::array<int, MMAX + 1>& pivrow,
                         textio::RecordWriter& console) {
    const auto un = static_cast<std::size_t>(n);
    RowMax rowmax{};
    for (std::size_t j = 0; j < un; ++j) {
        if (f.colfree[j]) add_column(b.c[j], f, runs_for(un), rowmax);
    }
    for (int step = first_step; step <= n; ++step) {
        double p;
        std::size_t r, s;
        pivot_from_rows(b, f, un, rowmax, p, r, s, false);
        if (std::fabs(p) <= 0.0) {
            store_block(b, un, a);
            console.write_free({"mtrinv: matrix singular"});
            return 1;
        }
        pivcol[r + 1] = static_cast<int>(s) + 1;
        pivrow[s + 1] = static_cast<int>(r) + 1;
        exchange_step(b, f, un, r, s, p, rowmax);
    }
    store_block(b, un, a);
    undo_permutation(a, n, pivcol, pivrow);
    return 0;
}

// True when every element of the leading n x n block is finite.
inline bool all_finite(const Mat20& a, std::size_t un) {
    int bad = 0;
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i < un; ++i)
            bad |= !(std::fabs(a.a[i + j * MMAX]) <= kLargest);
    }
    return bad == 0;
}

// The place numbers of the lanes of each run.
constexpr std::array<vec, RUNS> kLane{vec{0, 1, 2, 3}, vec{4, 5, 6, 7}, vec{8, 9, 10, 11},
                                      vec{12, 13, 14, 15}, vec{16, 17, 18, 19}};

}  // namespace

TARNVEX_VECTOR_CLONES
int fast::mtrinv(Mat20& a, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    const auto un = static_cast<std::size_t>(n);
    Block b;
    load_block(a, un, b);
    Free f(un);
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};
    return general_steps(a, b, f, n, 1, pivcol, pivrow, console);
}

// A symmetric matrix stays symmetric under exchange steps with diagonal pivots, except that
// an element in exactly one used row or column changes sign against its mirror image: with
// d(k) = -1 for a used index and +1 otherwise, a(j, i) = d(i) d(j) a(i, j). Rounding to
// nearest is symmetric in sign and a product does not depend on the order of its factors,
// so the mirror images the plain loops compute are these values exactly, except that a
// difference that is exactly zero may come out with the other sign. So only the upper half
// (i <= j) is worked on; column j is updated in runs up to its diagonal, the places below
// it being scratch. The free block is symmetric, so the first largest magnitude in
// row-then-column order lies in its upper half. An off-diagonal pivot hands the remaining
// steps to the general ones; a singular block or a NaN in the result has the whole
// inversion redone by them, so that status, message and matrix are the plain ones.
TARNVEX_VECTOR_CLONES
int fast::mtrinv_symmetric(Mat20& a, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    const auto un = static_cast<std::size_t>(n);
    if (!all_finite(a, un)) return fast::mtrinv(a, n, console);
    Block b;
    load_block(a, un, b);
    Free f(un);
    std::array<double, MMAX> d;  // +1 for a free index, -1 for a used one
    d.fill(1.0);
    std::array<vec, RUNS> u{};     // column s of the whole matrix
    std::array<double, MMAX> w{};  // row s of the whole matrix
    // The magnitudes of the free places i <= j of column j.
    const auto add_upper = [&](std::size_t j, RowMax& acc) {
        const vec jv = simd::splat4(static_cast<double>(j));
        for (std::size_t k = 0; k < runs_for(j + 1); ++k) {
            const vec m =
                simd::select_or_zero<vec, mask>(kLane[k] <= jv, simd::abs(b.c[j][k]) * f.keep[k]);
            acc[k] = simd::max_keep(m, acc[k]);
        }
    };
    RowMax rowmax{};
    for (std::size_t j = 0; j < un; ++j)
        add_upper(j, rowmax);

    for (int step = 1; step <= n; ++step) {
        double p;
        std::size_t r, s;
        pivot_from_rows(b, f, un, rowmax, p, r, s, true);
        if (std::fabs(p) <= 0.0) return fast::mtrinv(a, n, console);
        if (r != s) {
            for (std::size_t j = 0; j < un; ++j) {
                for (std::size_t i = j + 1; i < un; ++i)
                    b.set(j, i, (d[i] * d[j]) * b.at(i, j));
            }
            std::array<int, MMAX + 1> pivcol{};
            std::array<int, MMAX + 1> pivrow{};
            for (std::size_t k = 0; k < un; ++k) {
                if (!f.colfree[k]) {
                    pivcol[k + 1] = static_cast<int>(k) + 1;
                    pivrow[k + 1] = static_cast<int>(k) + 1;
                }
            }
            return general_steps(a, b, f, n, step, pivcol, pivrow, console);
        }
        f.use(s, s);

        for (std::size_t i = 0; i < s; ++i)
            u[i / W][i % W] = b.at(s, i);
        for (std::size_t i = s; i < un; ++i)
            u[i / W][i % W] = d[i] * b.at(i, s);
        for (std::size_t j = 0; j < un; ++j)
            w[j] = d[j] * u[j / W][j % W];
        const vec pv = simd::splat4(p);
        std::array<vec, RUNS> row_s{};  // the new row s, -(w / p)
        for (std::size_t j = 0; j < un; ++j)
            row_s[j / W][j % W] = w[j];
        for (std::size_t k = 0; k < runs_for(un); ++k)
            row_s[k] = -(row_s[k] / pv);

        RowMax acc{};
        for (std::size_t j = 0; j < un; ++j) {
            if (j == s) continue;
            auto& cj = b.c[j];
            const double wj = w[j];
            const vec wv = simd::splat4(wj);
            const double old = cj[s / W][s % W];
            for (std::size_t k = 0; k < runs_for(j + 1); ++k)
                cj[k] = cj[k] - (u[k] * wv) / pv;
            cj[s / W][s % W] = s < j ? row_s[j / W][j % W] : old;
            if (f.colfree[j]) add_upper(j, acc);
        }
        rowmax = acc;
        // Column s above the diagonal becomes u / p; the places below it are scratch.
        for (std::size_t k = 0; k < runs_for(s + 1); ++k)
            b.c[s][k] = u[k] / pv;
        b.set(s, s, 1.0 / p);
        d[s] = -1.0;
    }
    // Every index used on the diagonal: no permutation, and the result is symmetric.
    int nan = 0;
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i <= j; ++i)
            nan |= b.at(j, i) != b.at(j, i);
    }
    if (nan != 0) return fast::mtrinv(a, n, console);
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i < un; ++i)
            a.a[i + j * MMAX] = i <= j ? b.at(j, i) : b.at(i, j);
    }
    return 0;
}

// For a finite matrix with many exact zeros, such as a triangular factor: a product with an
// exactly zero factor is a zero, and subtracting a zero changes no value except the sign of
// a zero, as long as every value stays finite. So a column whose element in the pivot row
// is zero is left alone, and only the runs holding the first to the last non-zero element
// of the pivot column are updated (the pivot column is zero elsewhere in them). A value
// that is not finite, or a singular block, has the whole inversion redone by the general
// steps.
TARNVEX_VECTOR_CLONES
int fast::mtrinv_sparse(Mat20& a, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    const auto un = static_cast<std::size_t>(n);
    if (!all_finite(a, un)) return fast::mtrinv(a, n, console);
    Block b;
    load_block(a, un, b);
    Free f(un);
    std::array<int, MMAX + 1> pivcol{};
    std::array<int, MMAX + 1> pivrow{};
    const std::size_t runs = runs_for(un);
    RowMax rowmax{};
    for (std::size_t j = 0; j < un; ++j)
        add_column(b.c[j], f, runs, rowmax);
    const vec largest = simd::splat4(kLargest);

    for (int step = 1; step <= n; ++step) {
        double p;
        std::size_t r, s;
        pivot_from_rows(b, f, un, rowmax, p, r, s, false);
        if (std::fabs(p) <= 0.0) return fast::mtrinv(a, n, console);
        pivcol[r + 1] = static_cast<int>(s) + 1;
        pivrow[s + 1] = static_cast<int>(r) + 1;
        f.use(r, s);

        std::size_t lo = 0;
        while (b.at(s, lo) == 0.0)
            ++lo;
        std::size_t hi = un - 1;
        while (b.at(s, hi) == 0.0)
            --hi;
        const std::size_t klo = lo / W;
        const std::size_t khi = runs_for(hi + 1);
        const vec pv = simd::splat4(p);
        const auto& cs = b.c[s];
        const std::array<vec, RUNS> row_r = new_pivot_row(b, un, r, pv);
        mask finite = mask{} - 1;  // every lane set while every value is finite
        for (std::size_t k = 0; k < runs; ++k)
            finite &= simd::abs(row_r[k]) <= largest;
        RowMax acc{};
        for (std::size_t j = 0; j < un; ++j) {
            if (j == s) continue;
            auto& cj = b.c[j];
            const double arj = cj[r / W][r % W];
            if (arj != 0.0) {
                const vec av = simd::splat4(arj);
                for (std::size_t k = klo; k < khi; ++k) {
                    const vec x = cj[k] - (cs[k] * av) / pv;
                    cj[k] = x;
                    finite &= simd::abs(x) <= largest;
                }
                cj[r / W][r % W] = row_r[j / W][j % W];
            }
            if (f.colfree[j]) add_column(cj, f, runs, acc);
        }
        rowmax = acc;
        auto& csw = b.c[s];
        for (std::size_t k = klo; k < khi; ++k) {
            const vec x = csw[k] / pv;
            csw[k] = x;
            finite &= simd::abs(x) <= largest;
        }
        csw[r / W][r % W] = 1.0 / p;
        bool all = std::fabs(csw[r / W][r % W]) <= kLargest;
        for (std::size_t l = 0; l < W; ++l)
            all = all && finite[l] != 0;
        if (!all) return fast::mtrinv(a, n, console);
    }
    store_block(b, un, a);
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
