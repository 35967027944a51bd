#include "spectrum/propagation.hpp"

#include <cmath>

#include "linalg/hshold.hpp"
#include "linalg/product.hpp"

namespace tarnvex::spectrum {

void reset_spectrum(Spectrum& sp, int mto) {
    for (int k = 1; k <= mto; ++k) {
        linalg::Mat20& f = sp.frame[static_cast<std::size_t>(k)];
        for (int j = 1; j <= mto; ++j) {
            for (int i = 1; i <= mto; ++i)
                f(i, j) = 0.0;
        }
        for (int i = 1; i <= mto; ++i)
            f(i, i) = 1.0;
    }
    for (int m = 1; m <= mto; ++m) {
        for (int i = 1; i <= mto; ++i)
            sp.logsum[static_cast<std::size_t>(m)][static_cast<std::size_t>(i)] = 0.0;
    }
}

void clear_sums(Spectrum& sp) {
    for (auto& row : sp.logsum)
        row.fill(0.0);
}

int propagate_dimension(Spectrum& sp, linalg::Mat20& a, int m, const ReportContext& ctx,
                        textio::RecordWriter& console, textio::RecordWriter& result) {
    const auto um = static_cast<std::size_t>(m);
    linalg::Mat20& frame = sp.frame[um];
#ifdef TARNVEX_PLAIN_KERNELS
    // a = a * frame, in place, one row at a time through the row buffer.
    for (int i = 1; i <= m; ++i) {
        for (int c = 1; c <= m; ++c) {
            double t = 0.0;
            for (int k = 1; k <= m; ++k)
                t = t + a(i, k) * frame(k, c);
            sp.row[static_cast<std::size_t>(c)] = t;
        }
        for (int c = 1; c <= m; ++c)
            a(i, c) = sp.row[static_cast<std::size_t>(c)];
    }
    linalg::Mat20& product = a;
#else
    // The same sums a column at a time into a matrix of its own, which the
    // orthonormalisation then factors in place of a.
    linalg::fast::multiply(a, frame, sp.product, m, false);
    linalg::Mat20& product = sp.product;
#endif
    if (linalg::hshold(product, sp.qnew, sp.rfac, m, console) != 0) return 1;

    for (int c = 1; c <= m; ++c) {
        for (int r = 1; r <= m; ++r)
            frame(r, c) = sp.qnew(r, c);
    }
    auto& logsum = sp.logsum[um];
    auto& lambda = sp.lambda[um];
    const double denom = static_cast<double>(ctx.nstep) * static_cast<double>(ctx.tfac);
    for (int i = 1; i <= m; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        logsum[ui] = logsum[ui] + std::log(sp.rfac(i, i));
    }
    for (int i = 1; i <= m; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        lambda[ui] = static_cast<float>(logsum[ui] / denom);
    }

    // Items of both reports: samples counted, the dimension, the m estimates.
    std::array<textio::Item, MMAX + 2> items{textio::Item(ctx.nstep * ctx.evolv), textio::Item(m)};
    for (int i = 1; i <= m; ++i)
        items[static_cast<std::size_t>(i + 1)] = textio::Item(lambda[static_cast<std::size_t>(i)]);
    const std::span<const textio::Item> list(items.data(), um + 2);
    if (ctx.nstep % 50 == 0) console.write_edited(textio::kConsoleSpectrum, list);
    if (ctx.nstep % 25 == 0) result.write_edited(textio::kFileSpectrum, list);
    return 0;
}

}  // namespace tarnvex::spectrum
