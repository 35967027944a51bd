#include "embedding/delay_vectors.hpp"

#include <algorithm>
#include <cstdint>

#include "convert.hpp"

namespace tarnvex::embedding {

std::int64_t vector_count(std::int64_t npts, std::int64_t delay, std::int64_t mto) {
    return npts - (mto - 1) * delay;
}

DelayVectors::DelayVectors(std::span<const float> x, std::int64_t npts, std::int64_t delay,
                           int mto) {
    const std::int64_t nvec = vector_count(npts, delay, mto);
    nvec_ = nvec > 0 ? nvec : 0;
    for (int k = 1; k <= mto; ++k) {
        for (std::int64_t i = 1; i <= nvec_; ++i) {
            const float sample = x[static_cast<std::size_t>(i + (k - 1) * delay - 1)];
            at(i, k) = trunc_to_i32(sample);
        }
    }
    finish();
}

DelayVectors::DelayVectors(std::int64_t nvec, std::span<const std::int32_t> columns) {
    assert(nvec >= 0 && nvec <= NMAX);
    nvec_ = nvec;
    const std::size_t n = static_cast<std::size_t>(nvec);
    const int mto = n == 0 ? 0 : static_cast<int>(columns.size() / n);
    assert(mto <= MMAX);
    for (int k = 1; k <= mto; ++k) {
        for (std::int64_t i = 1; i <= nvec_; ++i)
            at(i, k) =
                columns[static_cast<std::size_t>(k - 1) * n + static_cast<std::size_t>(i - 1)];
    }
    finish();
}

void DelayVectors::finish() {
    for (std::int64_t i = 1; i <= nvec_; ++i) {
        for (int k = 1; k <= MMAX; ++k)
            rows_[static_cast<std::size_t>(i - 1) * ROW + static_cast<std::size_t>(k - 1)] =
                iy(i, k);
    }
    const auto [lowest, highest] = std::minmax_element(table_.begin(), table_.end());
    const std::int64_t span =
        std::max<std::int64_t>(*highest, 0) - std::min<std::int64_t>(*lowest, 0);
    narrow_ = span <= std::int64_t{INT32_MAX};
}

}  // namespace tarnvex::embedding
