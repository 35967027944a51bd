#pragma once
// Delay vectors of the series: integer coordinates, built once for the highest dimension.

#include <array>
#include <cassert>
#include <cstdint>
#include <span>

#include "limits.hpp"

namespace tarnvex::embedding {

// Number of delay vectors of dimension mto: npts - (mto - 1) * delay, in 64 bits.
std::int64_t vector_count(std::int64_t npts, std::int64_t delay, std::int64_t mto);

// The table of a run: built whole by a constructor, read only afterwards. Large (a few
// megabytes): make it on the heap.
class DelayVectors {
  public:
    // Places a vector takes in the row copy: the coordinates beyond MMAX are zero, so that
    // coordinates can be compared and subtracted whole runs at a time.
    static constexpr std::size_t ROW = 24;

    // iy(i, k) = the sample x(i + (k - 1) * delay) truncated toward zero, for k = 1..mto and
    // i = 1..nvec (x[0] is sample 1). Every sample read must fit a 32-bit integer after
    // truncation (the run's checks see to it).
    DelayVectors(std::span<const float> x, std::int64_t npts, std::int64_t delay, int mto);

    // A table given coordinate by coordinate: columns[(k - 1) * nvec + (i - 1)] is
    // coordinate k of vector i, for k = 1..columns.size() / nvec.
    DelayVectors(std::int64_t nvec, std::span<const std::int32_t> columns);

    std::int64_t nvec() const { return nvec_; }
    // True when the table, zero included, spans at most 2^31 - 1: the difference of any two
    // coordinates fits 32 bits.
    bool narrow() const { return narrow_; }

    // Coordinate k of vector i; rows beyond nvec and coordinates beyond the built ones hold 0.
    std::int32_t iy(std::int64_t i, int k) const {
        assert(i >= 1 && i <= NMAX && k >= 1 && k <= MMAX);
        return table_[static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(k - 1) * NMAX)];
    }
    // Coordinate k of every vector, vector 1 first (NMAX places).
    const std::int32_t* column(int k) const {
        return table_.data() + static_cast<std::int64_t>(k - 1) * NMAX;
    }
    // Vector i's coordinates side by side (ROW places).
    const std::int32_t* row(std::int64_t i) const {
        return rows_.data() + static_cast<std::size_t>(i - 1) * ROW;
    }

  private:
    std::int32_t& at(std::int64_t i, int k) {
        return table_[static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(k - 1) * NMAX)];
    }
    // The row copy and the span, from the table.
    void finish();

    std::array<std::int32_t, static_cast<std::size_t>(NMAX) * MMAX> table_{};
    std::array<std::int32_t, static_cast<std::size_t>(NMAX) * ROW> rows_{};
    std::int64_t nvec_ = 0;
    bool narrow_ = false;
};

}  // namespace tarnvex::embedding
