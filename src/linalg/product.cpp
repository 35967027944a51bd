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

using simd::v8d;

// Columns c..c+B-1 of out = x * y, each element summed in increasing k. Several columns
// are summed side by side, so that the additions of one column need not wait for each other.
template <std::size_t R, std::size_t B>
[[gnu::always_inline]] inline void columns_in_runs(const std::array<std::array<v8d, R>, MMAX>& xc,
                                                   const Mat20& y, Mat20& out, std::size_t un,
                                                   std::size_t c, bool skip_zero_terms) {
    std::array<std::array<v8d, R>, B> sum{};
    for (std::size_t k = 0; k < un; ++k) {
        for (std::size_t b = 0; b < B; ++b) {
            const double ykc = y.a[k + (c + b) * MMAX];
            if (skip_zero_terms && ykc == 0.0) continue;
            const v8d f = simd::splat(ykc);
            for (std::size_t l = 0; l < R; ++l)
                sum[b][l] = sum[b][l] + xc[k][l] * f;
        }
    }
    for (std::size_t b = 0; b < B; ++b)
        simd::store_column<R>(out.a.data() + (c + b) * MMAX, sum[b], un);
}

// Out = x * y on columns of R runs of eight rows (R * 8 >= n), the rows beyond n zero in
// the copy of x; only rows 0..n-1 of out are stored.
template <std::size_t R>
[[gnu::always_inline]] inline void multiply_in_runs(const Mat20& x, const Mat20& y, Mat20& out,
                                                    std::size_t un, bool skip_zero_terms) {
    std::array<std::array<v8d, R>, MMAX> xc;
    for (std::size_t k = 0; k < un; ++k)
        xc[k] = simd::load_column<R>(x.a.data() + k * MMAX, un);
    constexpr std::size_t B = R >= 2 ? 2 : 4;
    std::size_t c = 0;
    for (; c + B <= un; c += B)
        columns_in_runs<R, B>(xc, y, out, un, c, skip_zero_terms);
    for (; c < un; ++c)
        columns_in_runs<R, 1>(xc, y, out, un, c, skip_zero_terms);
}

}  // namespace

TARNVEX_VECTOR_CLONES
void fast::multiply(const Mat20& x, const Mat20& y, Mat20& out, int n, bool skip_zero_terms) {
    const auto un = static_cast<std::size_t>(n);
    if (un <= 8) {
        multiply_in_runs<1>(x, y, out, un, skip_zero_terms);
    } else if (un <= 16) {
        multiply_in_runs<2>(x, y, out, un, skip_zero_terms);
    } else {
        multiply_in_runs<3>(x, y, out, un, skip_zero_terms);
    }
}

}  // namespace tarnvex::linalg
