#include "linalg/hshold.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "kernels.hpp"
#include "linalg/mtrinv.hpp"
#include "linalg/product.hpp"
#include "simd.hpp"

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

OrthoStatus plain::hshold(Mat20& b, Mat20& q, Mat20& r, int n) {
    if (n <= 0) return OrthoStatus::Ok;
    Mat20 work;  // the copy of b, then r, then the inverse of r
    std::array<double, MMAX + 1> rdiag;
    clear_and_copy(b, q, r, work, n);

    for (int k = 1; k <= n; ++k) {
        double s = 0.0;
        for (int i = k; i <= n; ++i)
            s = b(i, k) * b(i, k) + s;
        if (s < kSingularColumn) return OrthoStatus::SingularColumn;
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
    if (plain::mtrinv(work, n) != InvertStatus::Ok) return OrthoStatus::SingularFactor;
    plain::multiply(b, work, q, n);
    return OrthoStatus::Ok;
}

namespace {

using simd::v8d;
using simd::v8l;

// The fast orthonormalisation on rows of R runs of eight (R * 8 >= n). The reduction works
// on a copy of b held row by row, so that the projection sums of all columns j > k advance
// together, each still summed over i in increasing order; places j <= k of a row are kept
// by lane, and places beyond n hold zeros that stay zero. b itself is not touched on
// success, which leaves it as the plain routine restores it; a failure writes the reduced
// copy back, as the plain routine leaves it.
template <std::size_t R>
[[gnu::always_inline]] inline OrthoStatus hshold_in_runs(Mat20& b, Mat20& q, Mat20& r, int n) {
    const auto un = static_cast<std::size_t>(n);
    std::array<std::array<v8d, R>, MMAX> t{};  // t[i]: row i of b
    int not_finite = 0;
    for (std::size_t j = 0; j < un; ++j) {
        for (std::size_t i = 0; i < un; ++i) {
            const double x = b.a[i + j * MMAX];
            t[i][j / 8][j % 8] = x;
            not_finite |= !(std::fabs(x) <= std::numeric_limits<double>::max());
        }
    }
    std::array<double, MMAX> rdiag;
    for (std::size_t k = 0; k < un; ++k) {
        const std::size_t kr = k / 8;
        const std::size_t kl = k % 8;
        double s = 0.0;
        for (std::size_t i = k; i < un; ++i)
            s = t[i][kr][kl] * t[i][kr][kl] + s;
        if (s < kSingularColumn) {
            for (std::size_t j = 0; j < un; ++j) {
                for (std::size_t i = 0; i < un; ++i) {
                    b.a[i + j * MMAX] = t[i][j / 8][j % 8];
                    q.a[i + j * MMAX] = 0.0;
                    r.a[i + j * MMAX] = 0.0;
                }
            }
            return OrthoStatus::SingularColumn;
        }
        const double bkk = t[k][kr][kl];
        const double alpha = diagonal_value(bkk, std::sqrt(s));
        rdiag[k] = alpha;
        const double beta = 1.0 / (s - alpha * bkk);
        t[k][kr][kl] = bkk - alpha;
        const v8d kv = simd::splat(static_cast<double>(k));
        std::array<v8l, R> later;  // places j > k
        for (std::size_t l = 0; l < R; ++l)
            later[l] = simd::kLane[l] > kv;
        std::array<v8d, R> f{};
        for (std::size_t i = k; i < un; ++i) {
            const v8d vi = simd::splat(t[i][kr][kl]);
            for (std::size_t l = 0; l < R; ++l)
                f[l] = vi * t[i][l] + f[l];
        }
        const v8d bv = simd::splat(beta);
        for (std::size_t l = 0; l < R; ++l)
            f[l] = bv * f[l];
        for (std::size_t i = k; i < un; ++i) {
            const v8d vi = simd::splat(t[i][kr][kl]);
            for (std::size_t l = 0; l < R; ++l)
                t[i][l] = simd::blend(later[l], t[i][l] - f[l] * vi, t[i][l]);
        }
    }
    // r: the upper part of the reduced rows and the diagonal values, every element of row
    // k (the zeros below the diagonal included) multiplied by the sign of its diagonal.
    for (std::size_t k = 0; k < un; ++k) {
        const double sign = rdiag[k] < 0.0 ? -1.0 : 1.0;
        for (std::size_t j = 0; j < un; ++j) {
            const double x = j < k ? 0.0 : (j == k ? rdiag[k] : t[k][j / 8][j % 8]);
            r.a[k + j * MMAX] = x * sign;
        }
    }
    Mat20 work = r;
    if (fast::mtrinv(work, n) != InvertStatus::Ok) {
        for (std::size_t j = 0; j < un; ++j) {
            for (std::size_t i = 0; i < un; ++i)
                q.a[i + j * MMAX] = 0.0;
        }
        return OrthoStatus::SingularFactor;
    }
    // With b finite, a zero of r^-1 adds only a zero to a sum that starts from +0, which
    // changes nothing: the product skips those terms. Otherwise every term is added.
    fast::multiply(b, work, q, n, not_finite == 0);
    return OrthoStatus::Ok;
}

}  // namespace

TARNVEX_VECTOR_CLONES
OrthoStatus fast::hshold(Mat20& b, Mat20& q, Mat20& r, int n) {
    if (n <= 0) return OrthoStatus::Ok;
    if (n <= 8) return hshold_in_runs<1>(b, q, r, n);
    if (n <= 16) return hshold_in_runs<2>(b, q, r, n);
    return hshold_in_runs<3>(b, q, r, n);
}

}  // namespace tarnvex::linalg
