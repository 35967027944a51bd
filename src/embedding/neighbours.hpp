#pragma once
// Neighbour search of the reference point in all dimensions at once, with the maximum
// norm, an integer radius and a radius that grows while a dimension has too few.

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "embedding/delay_vectors.hpp"
#include "limits.hpp"

namespace tarnvex::embedding {

// The neighbourhoods of one step: nn(k) neighbours found for dimension k, their vector
// indices nbr(1..nn(k), k) in increasing order.
class Neighbourhoods {
  public:
    std::int32_t& nn(int k) {
        assert(k >= 1 && k <= MMAX);
        return counts_[static_cast<std::size_t>(k)];
    }
    std::int32_t nn(int k) const {
        assert(k >= 1 && k <= MMAX);
        return counts_[static_cast<std::size_t>(k)];
    }
    std::int32_t& nbr(int j, int k) {
        assert(j >= 1 && j <= KMAX && k >= 1 && k <= MMAX);
        return lists_[static_cast<std::size_t>((j - 1) + (k - 1) * KMAX)];
    }
    std::int32_t nbr(int j, int k) const {
        assert(j >= 1 && j <= KMAX && k >= 1 && k <= MMAX);
        return lists_[static_cast<std::size_t>((j - 1) + (k - 1) * KMAX)];
    }
    // The list of dimension k, nn(k) indices.
    const std::int32_t* list(int k) const {
        return lists_.data() + static_cast<std::size_t>(k - 1) * KMAX;
    }
    // Every count zero.
    void clear() { counts_.fill(0); }
    const std::array<std::int32_t, MMAX + 1>& counts() const { return counts_; }

  private:
    std::array<std::int32_t, MMAX + 1> counts_{};
    std::array<std::int32_t, static_cast<std::size_t>(KMAX) * MMAX> lists_{};
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

// The search over one table of delay vectors. find() finds the neighbours of vector iref
// for dimensions s.mlow..p.mto (dimension 1 too when s.mlow is 1), enlarging the radius and
// searching again while a dimension has fewer than min(ncube, 2k); it gives the step up
// after more than MAXGROW enlargements, with the radius restored. Dimensions below the
// starting mlow keep their lists.
class NeighbourSearch {
  public:
    virtual ~NeighbourSearch() = default;
    SearchResult find(const SearchParams& p, std::int64_t iref, SearchState& s, Neighbourhoods& nb);

  protected:
    explicit NeighbourSearch(const DelayVectors& dv) : dv_(dv) {}
    // One scan at a fixed integer radius: the counts of dimensions mlow..mto from zero.
    virtual void scan(const SearchParams& p, std::int64_t iref, std::int32_t iradius, int& mlow,
                      Neighbourhoods& nb) = 0;
    const DelayVectors& dv_;
};

// The two builds of the search (see kernels.hpp): the plain one scans every vector; the
// fast one visits, in the same increasing order, only the vectors whose first coordinate
// is within the radius, through an index of its own, block by block of consecutive vectors
// until every dimension is full. The table must outlive the search.
namespace plain {
std::unique_ptr<NeighbourSearch> make_search(const DelayVectors& dv);
}
namespace fast {
// A table of at most this many vectors is searched as one block: the search of a short
// series visits every vector within the radius of the first coordinate at once, which is
// the fastest way there. A longer one is searched in blocks that double from
// kFirstSearchBlock vectors up to kLargestSearchBlock: a step whose dimensions fill early
// (chaos, most steps) stops within the first few small blocks, and one whose dimensions
// do not fill (noise, high dimensions) visits few blocks in all. Each block is searched
// through a k-d tree over its first coordinates, so that the vectors visited are those
// near the reference point in several coordinates, not in one.
inline constexpr std::int64_t kWholeSearchUpTo = 32768;
inline constexpr std::size_t kFirstSearchBlock = 4096;
inline constexpr std::size_t kLargestSearchBlock = 262144;
// Where the blocks of a search over nvec vectors begin, the end last: blocks of `block`
// vectors, or for block 0 the blocks a run chooses.
std::vector<std::size_t> search_blocks(std::int64_t nvec, std::size_t block = 0);
// block: the vectors of a block, 0 for the blocks a run chooses; tree: whether a block is
// searched through a k-d tree, none for a long series only.
std::unique_ptr<NeighbourSearch> make_search(const DelayVectors& dv, std::size_t block = 0,
                                             std::optional<bool> tree = std::nullopt);
// For tests: no mark of a fast search is left set between scans; a fast search compares
// 16-bit coordinates (its table spans at most 65535).
bool marks_clear(const NeighbourSearch& search);
bool compares_16_bits(const NeighbourSearch& search);
}  // namespace fast

}  // namespace tarnvex::embedding
