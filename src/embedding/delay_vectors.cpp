#include "embedding/delay_vectors.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "convert.hpp"

namespace tarnvex::embedding {

std::int64_t vector_count(std::int64_t npts, std::int64_t delay, std::int64_t mto) {
    return npts - (mto - 1) * delay;
}

void embed_series(std::span<const float> x, std::int64_t npts, std::int64_t delay, int mto,
                  DelayVectors& dv) {
    dv.table.fill(0);
    const std::int64_t nvec = vector_count(npts, delay, mto);
    dv.nvec = nvec > 0 ? nvec : 0;
    for (int k = 1; k <= mto; ++k) {
        for (std::int64_t i = 1; i <= dv.nvec; ++i) {
            const float sample = x[static_cast<std::size_t>(i + (k - 1) * delay - 1)];
            dv.iy(i, k) = trunc_to_i32(sample);
        }
    }
    index_vectors(dv);
}

void index_vectors(DelayVectors& dv) {
    const auto count = static_cast<std::size_t>(dv.nvec);
    std::iota(dv.sorted_index.begin(), dv.sorted_index.begin() + static_cast<std::ptrdiff_t>(count),
              1);
    const std::int32_t* first = dv.column(1);
    std::sort(dv.sorted_index.begin(), dv.sorted_index.begin() + static_cast<std::ptrdiff_t>(count),
              [first](std::int32_t a, std::int32_t b) {
                  return first[a - 1] < first[b - 1] || (first[a - 1] == first[b - 1] && a < b);
              });
    for (std::size_t i = 0; i < count; ++i)
        dv.sorted_first[i] = first[dv.sorted_index[i] - 1];
    for (std::int64_t i = 1; i <= dv.nvec; ++i) {
        for (int k = 1; k <= MMAX; ++k) {
            dv.rows[static_cast<std::size_t>(i - 1) * DelayVectors::ROW +
                    static_cast<std::size_t>(k - 1)] = dv.iy(i, k);
        }
    }
    for (int k = 1; k <= MMAX; ++k) {
        std::int32_t* const to = dv.sorted_cols.data() + static_cast<std::size_t>(k - 1) * NMAX;
        for (std::size_t place = 0; place < count; ++place)
            to[place] = dv.iy(dv.sorted_index[place], k);
    }
    // The span of the table, zero included (the places beyond the built vectors hold it):
    // every difference of two coordinates and every place of the sorted columns lies in it.
    const auto [lowest, highest] = std::minmax_element(dv.table.begin(), dv.table.end());
    const std::int64_t low = std::min<std::int64_t>(*lowest, 0);
    const std::int64_t span = std::max<std::int64_t>(*highest, 0) - low;
    dv.narrow = span <= std::int64_t{INT32_MAX};
    dv.compact = span <= 65535;
    dv.base = low + 32768;
    if (dv.compact) {
        for (std::size_t i = 0; i < dv.sorted_cols.size(); ++i)
            dv.sorted_cols16[i] = static_cast<std::int16_t>(dv.sorted_cols[i] - dv.base);
    }
}

}  // namespace tarnvex::embedding
