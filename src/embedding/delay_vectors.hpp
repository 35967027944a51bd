#pragma once
// Delay vectors of the series: integer coordinates, built once for the highest dimension.

#include <cassert>
#include <cstdint>
#include <span>
#include <vector>

#include "limits.hpp"

namespace tarnvex::embedding {

// Number of delay vectors of dimension mto: npts - (mto - 1) * delay, in 64 bits.
std::int64_t vector_count(std::int64_t npts, std::int64_t delay, std::int64_t mto);

// The table of a run: built whole by a constructor, read only afterwards. Sized by the run:
// one column of nvec coordinates for each built dimension, and the same coordinates again
// row by row.
class DelayVectors {
  public:
    // Places a vector takes in the row copy: the coordinates beyond the built ones are zero,
    // so that coordinates can be compared and subtracted whole runs at a time.
    static constexpr std::size_t ROW = 24;

    // iy(i, k) = the sample x(i + (k - 1) * delay) truncated toward zero, for k = 1..mto and
    // i = 1..nvec (x[0] is sample 1). Every sample read must fit a 32-bit integer after
    // truncation (the run's checks see to it).
    DelayVectors(std::span<const float> x, std::int64_t npts, std::int64_t delay, int mto);

    // A table given coordinate by coordinate: columns[(k - 1) * nvec + (i - 1)] is
    // coordinate k of vector i, for k = 1..columns.size() / nvec.
    DelayVectors(std::int64_t nvec, std::span<const std::int32_t> columns);

    std::int64_t nvec() const { return nvec_; }
    // Coordinates built for each vector.
    int dimensions() const { return dims_; }
    // True when the table, zero included, spans at most 2^31 - 1: the difference of any two
    // coordinates fits 32 bits.
    bool narrow() const { return highest_ - lowest_ <= std::int64_t{INT32_MAX}; }
    // The smallest and largest coordinate of the table, zero included.
    std::int64_t lowest() const { return lowest_; }
    std::int64_t highest() const { return highest_; }

    // Coordinate k of vector i (i = 1..nvec, k = 1..dimensions()).
    std::int32_t iy(std::int64_t i, int k) const {
        assert(i >= 1 && i <= nvec_ && k >= 1 && k <= dims_);
        return table_[static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(k - 1) * nvec_)];
    }
    // Coordinate k of every vector, vector 1 first (nvec places).
    const std::int32_t* column(int k) const {
        assert(k >= 1 && k <= dims_);
        return table_.data() + static_cast<std::int64_t>(k - 1) * nvec_;
    }
    // Vector i's coordinates side by side (ROW places).
    const std::int32_t* row(std::int64_t i) const {
        assert(i >= 1 && i <= nvec_);
        return rows_.data() + static_cast<std::size_t>(i - 1) * ROW;
    }

  private:
    std::int32_t& at(std::int64_t i, int k) {
        return table_[static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(k - 1) * nvec_)];
    }
    // The row copy and the span, from the table.
    void finish();

    std::vector<std::int32_t> table_;
    std::vector<std::int32_t> rows_;
    std::int64_t nvec_ = 0;
    int dims_ = 0;
    std::int64_t lowest_ = 0;
    std::int64_t highest_ = 0;
};

}  // namespace tarnvex::embedding
