#pragma once
// Delay vectors of the series: integer coordinates, built once for the highest dimension.

#include <array>
#include <cassert>
#include <cstdint>
#include <span>

#include "limits.hpp"

namespace tarnvex::embedding {

struct DelayVectors {
    // iy(i, k): coordinate k of vector i, the sample x(i + (k - 1) * delay) truncated
    // toward zero; stored column by column, rows beyond nvec hold 0.
    std::array<std::int32_t, static_cast<std::size_t>(NMAX) * MMAX> table{};
    std::int64_t nvec = 0;  // vectors built
    // True when the table, zero included, spans at most 2^31 - 1: the difference of any two
    // coordinates fits 32 bits.
    bool narrow = false;

    // Vectors 1..nvec ordered by their first coordinate (ties by index): the values and the
    // vector indices, for the search to find the candidates within a radius at once.
    std::array<std::int32_t, NMAX> sorted_first{};
    std::array<std::int32_t, NMAX> sorted_index{};
    // The same coordinates vector by vector, so that the search and the displacements read
    // one vector from one place; ROW places a vector, the ones beyond MMAX zero, so that
    // coordinates can be compared four at a time.
    static constexpr std::size_t ROW = 24;
    std::array<std::int32_t, static_cast<std::size_t>(NMAX) * ROW> rows{};
    // The coordinates in the order of sorted_index, coordinate by coordinate (NMAX places
    // each): the vectors within a radius of the first coordinate lie side by side.
    std::array<std::int32_t, static_cast<std::size_t>(NMAX) * MMAX> sorted_cols{};
    // When the table, zero included, spans at most 65535 (compact), the sorted columns
    // again in 16 bits as coordinate - base, so that twice as many compare at once.
    bool compact = false;
    std::int64_t base = 0;
    std::array<std::int16_t, static_cast<std::size_t>(NMAX) * MMAX> sorted_cols16{};

    const std::int32_t* row(std::int64_t i) const {
        return rows.data() + static_cast<std::size_t>(i - 1) * ROW;
    }

    std::int32_t iy(std::int64_t i, int k) const {
        assert(i >= 1 && i <= NMAX && k >= 1 && k <= MMAX);
        return table[static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(k - 1) * NMAX)];
    }
    std::int32_t& iy(std::int64_t i, int k) {
        assert(i >= 1 && i <= NMAX && k >= 1 && k <= MMAX);
        return table[static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(k - 1) * NMAX)];
    }
    // Column k as a contiguous run of NMAX coordinates (vector 1 first).
    const std::int32_t* column(int k) const {
        return table.data() + static_cast<std::int64_t>(k - 1) * NMAX;
    }
};

// Number of delay vectors of dimension mto: npts - (mto - 1) * delay, in 64 bits.
std::int64_t vector_count(std::int64_t npts, std::int64_t delay, std::int64_t mto);

// Builds iy(i, k) for k = 1..mto and i = 1..nvec from the samples x (x[0] is sample 1).
// Every sample read must fit a 32-bit integer after truncation (the driver checks it).
void embed_series(std::span<const float> x, std::int64_t npts, std::int64_t delay, int mto,
                  DelayVectors& dv);

// Orders vectors 1..nvec by their first coordinate into sorted_first and sorted_index and
// copies them into rows; embed_series does it, and so must whoever fills the table
// otherwise.
void index_vectors(DelayVectors& dv);

}  // namespace tarnvex::embedding
