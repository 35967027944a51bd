#include "linalg/hshold.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "kernels.hpp"
#include "linalg/mtrinv.hpp"
#include "linalg/product.hpp"

namespace tarnvex::linalg {

namespace {

// Sign of a reflection's diagonal value: opposite to b(k, k), zero counting as positive.
inline double diagonal_value(double bkk, double sigma) {
    return bkk < 0.0 ? sigma : -sigma;
}

// Steps after the reduction, shared by both builds: r from the reduced b and the diagonal,
// its rows sign-normalised, b restored from the copy, the copy replaced by r. Returns with
// `work` holding r.
void assemble_r(Mat20& b, Mat20& r, Mat20& work, const std::array<double, MMAX + 1>& rdiag, int n) {
    for (int k = 1; k < n; ++k) {
        for (int j = k + 1; j <= n; ++j)
            r(k, j) = b(k, j);
    }
    for (int k = 1; k <= n; ++k)
        r(k, k) = rdiag[static_cast<std::size_t>(k)];
    // A positive diagonal: whole rows change sign, the zeros below the diagonal included.
    for (int k = 1; k <= n; ++k) {
        const double sign = rdiag[static_cast<std::size_t>(k)] < 0.0 ? -1.0 : 1.0;
        for (int j = 1; j <= n; ++j)
            r(k, j) = r(k, j) * sign;
    }
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i)
            b(i, j) = work(i, j);
    }
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i)
            work(i, j) = r(i, j);
    }
}

void clear_and_copy(Mat20& b, Mat20& q, Mat20& r, Mat20& work, int n) {
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            q(i, j) = 0.0;
            r(i, j) = 0.0;
            work(i, j) = b(i, j);
        }
    }
}

}  // namespace

int hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console) {
#ifdef TARNVEX_PLAIN_KERNELS
    return plain::hshold(b, q, r, n, console);
#else
    return fast::hshold(b, q, r, n, console);
#endif
}

int plain::hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    Mat20 work;  // the copy of b, then r, then the inverse of r
    std::array<double, MMAX + 1> rdiag;
    clear_and_copy(b, q, r, work, n);

    for (int k = 1; k <= n; ++k) {
        double s = 0.0;
        for (int i = k; i <= n; ++i)
            s = b(i, k) * b(i, k) + s;
        if (s < 1e-50) {
            console.write_free({"householder: matrix singular"});
            return 1;
        }
        const double alpha = diagonal_value(b(k, k), std::sqrt(s));
        rdiag[static_cast<std::size_t>(k)] = alpha;
        const double beta = 1.0 / (s - alpha * b(k, k));
        b(k, k) = b(k, k) - alpha;
        for (int j = k + 1; j <= n; ++j) {
            double f = 0.0;
            for (int i = k; i <= n; ++i)
                f = b(i, k) * b(i, j) + f;
            f = beta * f;
            for (int i = k; i <= n; ++i)
                b(i, j) = b(i, j) - f * b(i, k);
        }
    }

    assemble_r(b, r, work, rdiag, n);
    if (plain::mtrinv(work, n, console) != 0) {
        console.write_free({"householder: mtrinv: matrix singular"});
        return 1;
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            q(i, j) = 0.0;
            for (int l = 1; l <= n; ++l)
                q(i, j) = b(i, l) * work(l, j) + q(i, j);
        }
    }
    return 0;
}

// The same operations on the same elements: the reduction works on a copy held row by
// row, so that the projection sums of all columns j > k advance together (each still
// summed over i in increasing order), and q is formed a column at a time (each element
// still summed over l in increasing order).
TARNVEX_VECTOR_CLONES
int fast::hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    Mat20 work;
    std::array<double, MMAX + 1> rdiag;
    clear_and_copy(b, q, r, work, n);

    const auto un = static_cast<std::size_t>(n);
    std::array<double, MMAX * MMAX> t;  // t[(i - 1) * MMAX + (j - 1)] = b(i, j)
    for (std::size_t i = 0; i < un; ++i) {
        for (std::size_t j = 0; j < un; ++j)
            t[i * MMAX + j] = b.a[i + j * MMAX];
    }
    const auto put_back = [&] {
        for (std::size_t i = 0; i < un; ++i) {
            for (std::size_t j = 0; j < un; ++j)
                b.a[i + j * MMAX] = t[i * MMAX + j];
        }
    };
    std::array<double, MMAX> f;

    for (std::size_t k = 0; k < un; ++k) {
        double s = 0.0;
        for (std::size_t i = k; i < un; ++i)
            s = t[i * MMAX + k] * t[i * MMAX + k] + s;
        if (s < 1e-50) {
            put_back();
            console.write_free({"householder: matrix singular"});
            return 1;
        }
        const double bkk = t[k * MMAX + k];
        const double alpha = diagonal_value(bkk, std::sqrt(s));
        rdiag[k + 1] = alpha;
        const double beta = 1.0 / (s - alpha * bkk);
        t[k * MMAX + k] = bkk - alpha;
        for (std::size_t j = k + 1; j < un; ++j)
            f[j] = 0.0;
        for (std::size_t i = k; i < un; ++i) {
            const double vi = t[i * MMAX + k];
            double* __restrict const row = t.data() + i * MMAX;
            for (std::size_t j = k + 1; j < un; ++j)
                f[j] = vi * row[j] + f[j];
        }
        for (std::size_t j = k + 1; j < un; ++j)
            f[j] = beta * f[j];
        for (std::size_t i = k; i < un; ++i) {
            const double vi = t[i * MMAX + k];
            double* __restrict const row = t.data() + i * MMAX;
            for (std::size_t j = k + 1; j < un; ++j)
                row[j] = row[j] - f[j] * vi;
        }
    }
    put_back();

    assemble_r(b, r, work, rdiag, n);
    // With b finite, a zero of r^-1 adds only a zero to a sum that starts from +0, which
    // changes nothing: the product skips those terms. Otherwise every term is added.
    bool finite = true;
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i < un; ++i)
            finite = finite && std::fabs(b.a[i + j * MMAX]) <= std::numeric_limits<double>::max();
    }
    if (linalg::mtrinv(work, n, console) != 0) {
        console.write_free({"householder: mtrinv: matrix singular"});
        return 1;
    }
    fast::multiply(b, work, q, n, finite);
    return 0;
}

}  // namespace tarnvex::linalg
