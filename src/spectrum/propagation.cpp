#include "spectrum/propagation.hpp"

#include <cmath>

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

PropagationStatus transport(const Spectrum& sp, const linalg::MatrixKernels& k,
                            const linalg::Mat20& a, int m, linalg::Mat20& product, linalg::Mat20& q,
                            linalg::Mat20& r) {
    k.multiply(a, sp.frame[static_cast<std::size_t>(m)], product, m);
    switch (k.orthonormalise(product, q, r, m)) {
        case linalg::OrthoStatus::Ok:
            return PropagationStatus::Ok;
        case linalg::OrthoStatus::SingularColumn:
            return PropagationStatus::SingularColumn;
        case linalg::OrthoStatus::SingularFactor:
            return PropagationStatus::SingularFactor;
    }
    return PropagationStatus::SingularFactor;
}

void accumulate(Spectrum& sp, const linalg::Mat20& q, const linalg::Mat20& r, int m,
                std::int64_t nstep, float tfac) {
    const auto um = static_cast<std::size_t>(m);
    linalg::Mat20& frame = sp.frame[um];
    for (int c = 1; c <= m; ++c) {
        for (int row = 1; row <= m; ++row)
            frame(row, c) = q(row, c);
    }
    auto& logsum = sp.logsum[um];
    auto& lambda = sp.lambda[um];
    const double denom = static_cast<double>(nstep) * static_cast<double>(tfac);
    for (int i = 1; i <= m; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        logsum[ui] = logsum[ui] + std::log(r(i, i));
    }
    for (int i = 1; i <= m; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        lambda[ui] = static_cast<float>(logsum[ui] / denom);
    }
}

PropagationStatus propagate_dimension(Spectrum& sp, const linalg::MatrixKernels& k,
                                      const linalg::Mat20& a, int m, std::int64_t nstep,
                                      float tfac) {
    const PropagationStatus s = transport(sp, k, a, m, sp.product, sp.qnew, sp.rfac);
    if (s == PropagationStatus::Ok) accumulate(sp, sp.qnew, sp.rfac, m, nstep, tfac);
    return s;
}

}  // namespace tarnvex::spectrum
