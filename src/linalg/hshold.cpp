#include "linalg/hshold.hpp"

#include <array>
#include <cmath>

#include "linalg/mtrinv.hpp"

namespace tarnvex::linalg {

int hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console) {
    if (n <= 0) return 0;
    Mat20 work;  // the copy of b, then r, then the inverse of r
    std::array<double, MMAX + 1> rdiag;

    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            q(i, j) = 0.0;
            r(i, j) = 0.0;
            work(i, j) = b(i, j);
        }
    }

    for (int k = 1; k <= n; ++k) {
        double s = 0.0;
        for (int i = k; i <= n; ++i)
            s = b(i, k) * b(i, k) + s;
        if (s < 1e-50) {
            console.write_free({"householder: matrix singular"});
            return 1;
        }
        const double sigma = std::sqrt(s);
        // The diagonal value takes the sign opposite to b(k, k); zero counts as positive.
        const double alpha = b(k, k) < 0.0 ? sigma : -sigma;
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
    if (mtrinv(work, n, console) != 0) {
        console.write_free({"householder: mtrinv: matrix singular"});
        return 1;
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            double sum = 0.0;
            for (int l = 1; l <= n; ++l)
                sum = b(i, l) * work(l, j) + sum;
            q(i, j) = sum;
        }
    }
    return 0;
}

}  // namespace tarnvex::linalg
