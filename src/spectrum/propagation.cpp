#include "spectrum/propagation.hpp"

#include <cmath>

namespace tarnvex::spectrum {

void reset_spectrum(Spectrum& sp, int mto) {
    for (int k = 1; k <= mto; ++k) {
        linalg::Mat20& f = sp.of(k).frame;
        for (int j = 1; j <= mto; ++j) {
            for (int i = 1; i <= mto; ++i)
                f(i, j) = 0.0;
        }
        for (int i = 1; i <= mto; ++i)
            f(i, i) = 1.0;
    }
    for (int m = 1; m <= mto; ++m) {
        for (int i = 1; i <= mto; ++i)
            sp.of(m).logsum[static_cast<std::size_t>(i)] = 0.0;
    }
}

void clear_sums(Spectrum& sp) {
    for (int m = 1; m <= MMAX; ++m)
        sp.of(m).logsum.fill(0.0);
}

PropagationStatus build_step(Spectrum& sp, const linalg::MatrixKernels& k, const linalg::Mat20& a,
                             int m, std::int64_t nstep, float tfac, linalg::Mat20& product,
                             linalg::Mat20& r) {
    const DimensionState& now = sp.of(m);
    DimensionState& next = sp.building(m);
    k.multiply(a, now.frame, product, m);
    switch (k.orthonormalise(product, next.frame, r, m)) {
        case linalg::OrthoStatus::Ok:
            break;
        case linalg::OrthoStatus::SingularColumn:
            return PropagationStatus::SingularColumn;
        case linalg::OrthoStatus::SingularFactor:
            return PropagationStatus::SingularFactor;
    }
    const double denom = static_cast<double>(nstep) * static_cast<double>(tfac);
    for (int i = 1; i <= m; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        next.logsum[ui] = now.logsum[ui] + std::log(r(i, i));
    }
    for (int i = 1; i <= m; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        next.lambda[ui] = static_cast<float>(next.logsum[ui] / denom);
    }
    return PropagationStatus::Ok;
}

}  // namespace tarnvex::spectrum
