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
    assert(mto >= 1 && mto <= MMAX);
    const std::int64_t nvec = vector_count(npts, delay, mto);
    nvec_ = nvec > 0 ? nvec : 0;
    dims_ = mto;
    table_.resize(static_cast<std::size_t>(nvec_ * dims_));
    for (int k = 1; k <= mto; ++k) {
        for (std::int64_t i = 1; i <= nvec_; ++i) {
            const float sample = x[static_cast<std::size_t>(i + (k - 1) * delay - 1)];
            at(i, k) = trunc_to_i32(sample);
        }
    }
    finish();
}

DelayVectors::DelayVectors(std::int64_t nvec, std::span<const std::int32_t> columns) {
    assert(nvec >= 0);
    nvec_ = nvec;
    const std::size_t n = static_cast<std::size_t>(nvec);
    dims_ = n == 0 ? 0 : static_cast<int>(columns.size() / n);
    assert(dims_ <= MMAX);
    table_.assign(columns.begin(), columns.begin() + static_cast<std::ptrdiff_t>(n * dims_));
    finish();
}

void DelayVectors::finish() {
    rows_.assign(static_cast<std::size_t>(nvec_) * ROW, 0);
    for (std::int64_t i = 1; i <= nvec_; ++i) {
        for (int k = 1; k <= dims_; ++k)
            rows_[static_cast<std::size_t>(i - 1) * ROW + static_cast<std::size_t>(k - 1)] =
                iy(i, k);
    }
    // Zero is counted in the span: the row copy holds it beyond the built coordinates.
    lowest_ = 0;
    highest_ = 0;
    if (!table_.empty()) {
        const auto [lo, hi] = std::minmax_element(table_.begin(), table_.end());
        lowest_ = std::min<std::int64_t>(*lo, 0);
        highest_ = std::max<std::int64_t>(*hi, 0);
    }
}

}  // namespace tarnvex::embedding
