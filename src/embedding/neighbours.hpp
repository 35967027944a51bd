#pragma once
// Neighbour search of the reference point in all dimensions at once, with the maximum
// norm, an integer radius and a radius that grows while a dimension has too few.

#include <array>
#include <cassert>
#include <cstdint>

#include "embedding/delay_vectors.hpp"
#include "limits.hpp"
#include "textio/channels.hpp"

namespace tarnvex::embedding {

struct Neighbourhoods {
    // nn(k): neighbours found for dimension k; nbr(j, k), j = 1..nn(k): their vector
    // indices in increasing order.
    std::array<std::int32_t, MMAX + 1> counts{};
    std::array<std::int32_t, static_cast<std::size_t>(KMAX) * MMAX> lists{};
    // Scratch of a scan: one bit per vector marks the candidates within the radius in the
    // first coordinate; all clear between scans.
    std::array<std::uint64_t, NMAX / 64 + 1> marks{};
    std::array<std::uint64_t, NMAX / 64 / 64 + 1> summary{};  // a bit for each non-zero word
    // For a marked vector: its first coordinate beyond the radius (or mto + 1); and the same
    // by sorted place while a scan works it out.
    std::array<std::uint8_t, NMAX> kstop{};
    std::array<std::int32_t, NMAX> kstop_sorted{};
    std::array<std::int16_t, NMAX> kstop_sorted16{};
    std::array<std::uint16_t, NMAX> within{};  // all ones while a place is within so far
    // Scratch of a scan: a flag for each place in the radius that can count, and the
    // sorted places (from the first in the radius) that can count.
    std::array<std::uint8_t, NMAX + 8> counts_here{};
    std::array<std::int32_t, NMAX> kept{};

    std::int32_t& nn(int k) {
        assert(k >= 1 && k <= MMAX);
        return counts[static_cast<std::size_t>(k)];
    }
    std::int32_t nn(int k) const {
        assert(k >= 1 && k <= MMAX);
        return counts[static_cast<std::size_t>(k)];
    }
    std::int32_t& nbr(int j, int k) {
        assert(j >= 1 && j <= KMAX && k >= 1 && k <= MMAX);
        return lists[static_cast<std::size_t>((j - 1) + (k - 1) * KMAX)];
    }
    std::int32_t nbr(int j, int k) const {
        assert(j >= 1 && j <= KMAX && k >= 1 && k <= MMAX);
        return lists[static_cast<std::size_t>((j - 1) + (k - 1) * KMAX)];
    }
};

// What the search reads besides the vectors: fixed for the run, except the candidate
// range, which follows the evolution time in force.
struct SearchParams {
    int ncube = 0;           // neighbours wanted, 1..KMAX
    int mto = 0;             // highest dimension
    std::int64_t nlast = 0;  // candidates are the vectors 1..nlast
    float scalmx0 = 0.0f;    // radius every step starts from
};

// The part of the step's state that the search changes; it survives restarts of the
// search within one step.
struct SearchState {
    float scalmx = 0.0f;  // current radius, absolute units of the series
    int ngrow = 0;        // enlargements at this step, of both kinds
    int mlow = 2;         // lowest dimension still being filled
};

enum class SearchResult { Accepted, GivenUp };

// The integer radius of a scan: scalmx truncated toward zero, the most negative integer
// when it does not fit.
std::int32_t radius_of(float scalmx);

// ngrow += 1, then scalmx += ngrow * (scalmx / 8), in double, stored as single precision.
void grow_radius(SearchState& s);

// Finds the neighbours of vector iref for dimensions s.mlow..p.mto (dimension 1 too when
// s.mlow is 1), enlarging the radius and searching again while a dimension has fewer
// than min(ncube, 2k); gives the step up after more than MAXGROW enlargements, with the
// radius restored and the limit record on `console`. Dimensions below the starting mlow
// keep their lists.
SearchResult find_neighbourhoods(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                                 SearchState& s, Neighbourhoods& nb, textio::RecordWriter& console);

// The two builds of the search (see kernels.hpp): the plain one scans every vector; the
// fast one visits, in the same increasing order, only the vectors whose first coordinate
// is within the radius. find_neighbourhoods is one of them.
namespace plain {
SearchResult find_neighbourhoods(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                                 SearchState& s, Neighbourhoods& nb, textio::RecordWriter& console);
}
namespace fast {
SearchResult find_neighbourhoods(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                                 SearchState& s, Neighbourhoods& nb, textio::RecordWriter& console);
}

// The progress record of an accepted search and the limit record of a step given up.
void write_progress(textio::RecordWriter& console, int ngrow, int nn_mto);
void write_limit_record(textio::RecordWriter& console);

}  // namespace tarnvex::embedding
