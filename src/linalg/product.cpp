#include "linalg/product.hpp"

#include <array>
#include <cstring>

#include "kernels.hpp"
#include "simd.hpp"

namespace tarnvex::linalg {

void plain::multiply(const Mat20& x, const Mat20& y, Mat20& out, int n) {
    for (int i = 1; i <= n; ++i) {
        for (int c = 1; c <= n; ++c) {
            double sum = 0.0;
            for (int k = 1; k <= n; ++k)
                sum = sum + x(i, k) * y(k, c);
            out(i, c) = sum;
        }
    }
}

namespace {

using simd::v4d;
using simd::v8d;

// Rows 0..7 and 8..15 of a column as eight lanes, rows 16..19 as four; a column of Mat20
// has 20 places, so no read passes the end of the matrix. Rows beyond n are read too and
// give lanes that are never stored.
[[gnu::always_inline]] inline v8d load8(const double* p) {
    v8d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
[[gnu::always_inline]] inline v4d load4(const double* p) {
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

TARNVEX_VECTOR_CLONES
void fast::multiply(const Mat20& x, const Mat20& y, Mat20& out, int n, bool skip_zero_terms) {
    const auto un = static_cast<std::size_t>(n);
    const double* const xa = x.a.data();
    for (std::size_t c = 0; c < un; ++c) {
        v8d lo{}, mid{};
        v4d hi{};
        const double* const yc = y.a.data() + c * MMAX;
        for (std::size_t k = 0; k < un; ++k) {
            const double ykc = yc[k];
            if (skip_zero_terms && ykc == 0.0) continue;
            const double* const xk = xa + k * MMAX;
            lo = lo + load8(xk) * simd::splat(ykc);
            if (un > 8) mid = mid + load8(xk + 8) * simd::splat(ykc);
            if (un > 16) hi = hi + load4(xk + 16) * v4d{ykc, ykc, ykc, ykc};
        }
        std::array<double, 20> column;
        std::memcpy(column.data(), &lo, sizeof lo);
        std::memcpy(column.data() + 8, &mid, sizeof mid);
        std::memcpy(column.data() + 16, &hi, sizeof hi);
        double* const oc = out.a.data() + c * MMAX;
        for (std::size_t i = 0; i < un; ++i)
            oc[i] = column[i];
    }
}

}  // namespace tarnvex::linalg
