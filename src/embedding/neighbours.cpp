#include "embedding/neighbours.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>

#include "convert.hpp"
#include "kernels.hpp"

namespace tarnvex::embedding {

std::int32_t radius_of(float scalmx) {
    return trunc_to_i32(scalmx);
}

void grow_radius(SearchState& s) {
    s.ngrow = s.ngrow + 1;
    const double r = static_cast<double>(s.scalmx);
    s.scalmx = static_cast<float>(r + static_cast<double>(s.ngrow) * (r / 8.0));
}

SearchResult NeighbourSearch::find(const SearchParams& p, std::int64_t iref, SearchState& s,
                                   Neighbourhoods& nb) {
    for (;;) {
        scan(p, iref, radius_of(s.scalmx), s.mlow, nb);
        bool short_dimension = false;
        for (int k = s.mlow; k <= p.mto; ++k) {
            if (nb.nn(k) < 2 * k) {
                s.mlow = k;
                grow_radius(s);
                if (s.ngrow > MAXGROW) {
                    s.scalmx = p.scalmx0;
                    return SearchResult::GivenUp;
                }
                short_dimension = true;
                break;
            }
        }
        if (!short_dimension) return SearchResult::Accepted;
    }
}

namespace {

// The fast search's own copies of the table, in blocks of consecutive vectors, their
// coordinates (and vector indices) in an order of the block's own, coordinate by coordinate
// (nvec places each), so that the vectors of a block near the reference point lie side by
// side. A scan takes the blocks in increasing index and stops after the one that fills the
// last dimension, so that on a long series it visits a few blocks, not the whole series.
//
// Two orders. By the first coordinate (ties by index): the vectors within the radius of the
// first coordinate are one run of places, found by two binary searches; the order of the
// table of a short series, searched as one block. By a k-d tree over the first `tree_dims`
// coordinates: each node holds a run of places and the box its vectors span, split at the
// median of its widest coordinate into two halves, down to leaves of at most kLeaf vectors;
// a scan visits only the nodes whose box meets the radius around the reference point in the
// coordinates every dimension it fills shares, so that the vectors it works through are
// those near the reference point in several coordinates, not in one; the order of a long
// series.
//
// When the table, zero included, spans at most 65535 (compact), the sorted coordinates again
// in 16 bits as coordinate - base, so that twice as many compare at once.
struct SearchIndex {
    std::int64_t nvec = 0;
    int dims = 0;
    // Block b holds the places [block_starts[b], block_starts[b + 1]); the largest block.
    std::vector<std::size_t> block_starts;
    std::size_t largest_block = 1;
    bool tree = false;
    int tree_dims = 0;
    // By the first coordinate: the first coordinate in the order of the places.
    std::vector<std::int32_t> sorted_key;
    std::vector<std::int32_t> sorted_index;
    std::vector<std::int32_t> sorted_cols;
    // The k-d tree: nodes (a leaf has no children), each node's box as tree_dims lowest then
    // tree_dims highest coordinates, and each block's root (-1 for none).
    struct Node {
        std::uint32_t begin = 0;  // places [begin, end)
        std::uint32_t end = 0;
        std::int32_t left = -1;
        std::int32_t right = -1;
    };
    std::vector<Node> nodes;
    std::vector<std::int32_t> boxes;
    std::vector<std::int32_t> roots;
    bool compact = false;
    std::int64_t base = 0;
    std::vector<std::int16_t> sorted_cols16;

    static constexpr int kTreeDims = 6;  // coordinates a tree splits on, at most
    static constexpr std::size_t kLeaf = 32;

    SearchIndex(const DelayVectors& dv, std::vector<std::size_t> starts, bool on_tree)
        : nvec(dv.nvec()),
          dims(dv.dimensions()),
          block_starts(std::move(starts)),
          tree(on_tree && dims >= 1),
          tree_dims(std::min(dims, kTreeDims)) {
        const auto count = static_cast<std::size_t>(nvec);
        for (std::size_t b = 0; b + 1 < block_starts.size(); ++b)
            largest_block = std::max(largest_block, block_starts[b + 1] - block_starts[b]);
        sorted_index.resize(count);
        sorted_cols.resize(count * static_cast<std::size_t>(dims));
        std::iota(sorted_index.begin(), sorted_index.end(), 1);
        if (count > 0 && tree) {
            for (std::size_t blk = 0; blk < blocks(); ++blk)
                roots.push_back(build(dv, block_begin(blk), block_end(blk)));
        } else if (count > 0) {
            sorted_key.resize(count);
            const std::int32_t* first = dv.column(1);
            for (std::size_t blk = 0; blk < blocks(); ++blk) {
                const auto b = sorted_index.begin() + static_cast<std::ptrdiff_t>(block_begin(blk));
                const auto e = sorted_index.begin() + static_cast<std::ptrdiff_t>(block_end(blk));
                std::sort(b, e, [first](std::int32_t x, std::int32_t y) {
                    return first[x - 1] < first[y - 1] || (first[x - 1] == first[y - 1] && x < y);
                });
            }
            for (std::size_t i = 0; i < count; ++i)
                sorted_key[i] = first[sorted_index[i] - 1];
        }
        for (int k = 1; k <= dims; ++k) {
            const std::int32_t* const col = dv.column(k);
            std::int32_t* const to = sorted_cols.data() + static_cast<std::size_t>(k - 1) * count;
            for (std::size_t place = 0; place < count; ++place)
                to[place] = col[sorted_index[place] - 1];
        }
        // Every place of the sorted columns lies in the table's span, zero included.
        compact = dv.highest() - dv.lowest() <= 65535;
        base = dv.lowest() + 32768;
        if (compact) {
            sorted_cols16.resize(sorted_cols.size());
            for (std::size_t i = 0; i < sorted_cols.size(); ++i)
                sorted_cols16[i] = static_cast<std::int16_t>(sorted_cols[i] - base);
        }
    }

    std::size_t blocks() const { return block_starts.size() - 1; }
    std::size_t block_begin(std::size_t b) const { return block_starts[b]; }
    std::size_t block_end(std::size_t b) const { return block_starts[b + 1]; }
    const std::int32_t* low(std::size_t node) const {
        return boxes.data() + node * 2 * static_cast<std::size_t>(tree_dims);
    }
    const std::int32_t* high(std::size_t node) const { return low(node) + tree_dims; }

  private:
    // The node of the places [begin, end) (their vectors in sorted_index), its subtree built;
    // -1 for no places.
    std::int32_t build(const DelayVectors& dv, std::size_t begin, std::size_t end) {
        if (begin == end) return -1;
        const auto id = static_cast<std::int32_t>(nodes.size());
        nodes.push_back(
            {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end), -1, -1});
        const std::size_t at_box = boxes.size();
        boxes.resize(at_box + 2 * static_cast<std::size_t>(tree_dims));
        int widest = 0;
        std::int64_t spread = 0;
        for (int k = 1; k <= tree_dims; ++k) {
            const std::int32_t* col = dv.column(k);
            std::int32_t lo = col[sorted_index[begin] - 1];
            std::int32_t hi = lo;
            for (std::size_t i = begin; i < end; ++i) {
                lo = std::min(lo, col[sorted_index[i] - 1]);
                hi = std::max(hi, col[sorted_index[i] - 1]);
            }
            boxes[at_box + static_cast<std::size_t>(k - 1)] = lo;
            boxes[at_box + static_cast<std::size_t>(tree_dims + k - 1)] = hi;
            if (std::int64_t{hi} - lo > spread) {
                spread = std::int64_t{hi} - lo;
                widest = k;
            }
        }
        if (end - begin <= kLeaf || widest == 0) return id;
        const std::int32_t* col = dv.column(widest);
        const std::size_t mid = begin + (end - begin) / 2;
        std::nth_element(sorted_index.begin() + static_cast<std::ptrdiff_t>(begin),
                         sorted_index.begin() + static_cast<std::ptrdiff_t>(mid),
                         sorted_index.begin() + static_cast<std::ptrdiff_t>(end),
                         [col](std::int32_t x, std::int32_t y) {
                             return col[x - 1] < col[y - 1] || (col[x - 1] == col[y - 1] && x < y);
                         });
        const std::int32_t left = build(dv, begin, mid);
        const std::int32_t right = build(dv, mid, end);
        nodes[static_cast<std::size_t>(id)].left = left;
        nodes[static_cast<std::size_t>(id)].right = right;
        return id;
    }
};

// Scratch of a fast scan of one block. One bit per vector of the block marks the candidates
// that can count, with a summary bit for each non-zero word; all clear between scans. For a
// marked vector: its first coordinate beyond the radius (or mto + 1). While a run of places
// is worked out, the same by place of the run, a flag for each place that can count; and
// the places of the block that can count, with theirs.
struct ScanScratch {
    std::vector<std::uint64_t> marks;
    std::vector<std::uint64_t> summary;
    std::vector<std::uint8_t> kstop;
    std::vector<std::int32_t> kstop_sorted;
    std::vector<std::int16_t> kstop_sorted16;
    std::vector<std::uint16_t> within;  // all ones while a place is within so far
    std::vector<std::uint8_t> counts_here;
    std::vector<std::int32_t> kept;
    std::vector<std::uint8_t> kept_kstop;
    // The runs of places a tree's search found, and whether coordinate 1 is to be checked.
    std::vector<std::uint32_t> run_begin;
    std::vector<std::uint32_t> run_end;
    std::vector<std::uint8_t> run_check;
    std::vector<std::int32_t> stack;

    explicit ScanScratch(std::size_t block)
        : marks(block / 64 + 1),
          summary(block / 64 / 64 + 1),
          kstop(block),
          kstop_sorted(block),
          kstop_sorted16(block),
          within(block),
          counts_here(block + 8),
          kept(block),
          kept_kstop(block),
          run_begin(block + 1),
          run_end(block + 1),
          run_check(block + 1),
          stack(block + 64) {}
};

// Adds candidate j to the list of dimension k; a full dimension moves mlow above itself.
inline void take(Neighbourhoods& nb, int k, std::int64_t j, int ncube, int& mlow) {
    std::int32_t& count = nb.nn(k);
    assert(count < KMAX);
    ++count;
    nb.nbr(count, k) = static_cast<std::int32_t>(j);
    if (count == ncube) mlow = k + 1;
}

// The coordinates 2..mto of a candidate that passed the first coordinate and the
// temporal exclusion: counted for every dimension still filling while the running
// maximum stays within the radius.
inline void examine(const std::int32_t* v, const SearchParams& p, std::int64_t j,
                    std::int64_t idist, std::int64_t radius,
                    const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, int& mlow,
                    Neighbourhoods& nb) {
    if (mlow == 1) take(nb, 1, j, p.ncube, mlow);
    for (int k = 2; k <= p.mto; ++k) {
        const std::int64_t d = std::llabs(v[k - 1] - ref[static_cast<std::size_t>(k)]);
        if (d > idist) idist = d;
        if (idist > radius) break;
        if (k >= mlow) take(nb, k, j, p.ncube, mlow);
    }
}

// For the candidates at sorted places [first, last): the first coordinate whose distance
// exceeds the radius (mto + 1 when none does), their first coordinate being within it;
// that is where the running maximum first exceeds the radius. One coordinate at a time
// over all candidates, in whole-number bounds, so that the comparisons run side by side.
TARNVEX_VECTOR_CLONES
void first_excess(const SearchIndex& ix, std::size_t first, std::size_t last,
                  const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, std::int64_t radius,
                  int mto, std::int32_t* __restrict kstop) {
    const std::size_t count = last - first;
    for (std::size_t i = 0; i < count; ++i)
        kstop[i] = mto + 1;
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    for (int k = 2; k <= mto; ++k) {
        const auto lo =
            static_cast<std::int32_t>(std::max(kMin, ref[static_cast<std::size_t>(k)] - radius));
        const auto hi =
            static_cast<std::int32_t>(std::min(kMax, ref[static_cast<std::size_t>(k)] + radius));
        const std::int32_t* __restrict const col =
            ix.sorted_cols.data() +
            static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(ix.nvec) + first;
        const std::int32_t alive = mto + 1;
        for (std::size_t i = 0; i < count; ++i) {
            const bool out = col[i] < lo || col[i] > hi;
            kstop[i] = (kstop[i] == alive && out) ? k : kstop[i];
        }
    }
}

// The same with the 16-bit coordinates of a compact table: the bounds are taken relative to
// the base and clamped to 16 bits, which every coordinate lies within.
TARNVEX_VECTOR_CLONES
void first_excess16(const SearchIndex& ix, std::size_t first, std::size_t last,
                    const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, std::int64_t radius,
                    int mto, std::int16_t* __restrict kstop, std::uint16_t* __restrict within) {
    const std::size_t count = last - first;
    // kstop = 2 + the number of coordinates 2..mto before the first that leaves the radius:
    // a lane still within every coordinate so far adds one per coordinate. A coordinate
    // lies in [lo, hi] exactly when (c - lo), taken modulo 2^16, is at most hi - lo.
    for (std::size_t i = 0; i < count; ++i) {
        within[i] = 0xffff;
        kstop[i] = 2;
    }
    constexpr std::int64_t kMin = std::numeric_limits<std::int16_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int16_t>::max();
    for (int k = 2; k <= mto; ++k) {
        const std::int64_t centre = ref[static_cast<std::size_t>(k)] - ix.base;
        const std::int64_t lo = std::max(kMin, centre - radius);
        const std::int64_t hi = std::min(kMax, centre + radius);
        const auto width = static_cast<std::uint16_t>(hi - lo);
        const auto offset = static_cast<std::uint16_t>(lo);
        const std::int16_t* __restrict const col =
            ix.sorted_cols16.data() +
            static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(ix.nvec) + first;
        for (std::size_t i = 0; i < count; ++i) {
            const auto from_lo =
                static_cast<std::uint16_t>(static_cast<std::uint16_t>(col[i]) - offset);
            within[i] = from_lo <= width ? within[i] : std::uint16_t{0};
            kstop[i] = static_cast<std::int16_t>(kstop[i] + (within[i] & 1));
        }
    }
}

std::array<std::int64_t, DelayVectors::ROW + 1> reference(const DelayVectors& dv, std::int64_t iref,
                                                          int mto) {
    std::array<std::int64_t, DelayVectors::ROW + 1> ref{};  // zero beyond mto
    for (int k = 1; k <= mto; ++k)
        ref[static_cast<std::size_t>(k)] = dv.iy(iref, k);
    return ref;
}

// One scan over all candidates at a fixed integer radius, in increasing index.
void scan_plain(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                std::int32_t iradius, int& mlow, Neighbourhoods& nb) {
    for (int k = mlow; k <= p.mto; ++k)
        nb.nn(k) = 0;
    const std::int64_t radius = iradius;
    const auto ref = reference(dv, iref, p.mto);
    if (p.nlast < 1) return;
    const std::int32_t* const first = dv.column(1);
    const std::int32_t* const rows = dv.row(1);
    const std::int64_t nlast = p.nlast;
    const int mto = p.mto;
    const std::int64_t centre = ref[1];
    for (std::int64_t j = 1; j <= nlast; ++j) {
        if (mlow > mto) break;  // every dimension is full: nothing more can be counted
        // The first coordinate is tested before anything else.
        const std::int64_t idist = std::llabs(first[j - 1] - centre);
        if (idist > radius) continue;
        if (std::llabs(j - iref) < NEXCL) continue;
        examine(rows + static_cast<std::size_t>(j - 1) * DelayVectors::ROW, p, j, idist, radius,
                ref, mlow, nb);
    }
}

// The places [first, last) of a block's order whose first coordinate (when `check_first`;
// else it is known to be) and second are within the radius: those that can count for
// dimension mlow (or, with mlow = 1, all of them) are added to the kept places with where
// each leaves the radius. Only they can count for any dimension this scan fills.
std::size_t keep_run(const SearchIndex& ix, ScanScratch& sc, std::size_t first, std::size_t last,
                     bool check_first, const SearchParams& p, std::int64_t radius,
                     const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, int mlow,
                     std::size_t kept) {
    const std::int32_t least = mlow == 1 ? 1 : std::max(mlow, 2);
    const std::size_t band = last - first;
    // The scratch through plain pointers: a byte stored through a vector's element could
    // be any object to the compiler, which would then reload every vector's pointer after
    // each store and leave the loops unvectorised.
    std::uint8_t* __restrict const counts_here = sc.counts_here.data();
    std::int16_t* __restrict const kstop16 = sc.kstop_sorted16.data();
    std::int32_t* __restrict const kstop32 = sc.kstop_sorted.data();
    std::int32_t* __restrict const kept_place = sc.kept.data();
    std::uint8_t* __restrict const kept_kstop = sc.kept_kstop.data();
    // In the block's order, over contiguous coordinates: where each candidate leaves the
    // radius, found without a branch.
    if (ix.compact) {
        first_excess16(ix, first, last, ref, radius, p.mto, kstop16, sc.within.data());
        for (std::size_t i = 0; i < band; ++i)
            counts_here[i] = kstop16[i] > least ? 1 : 0;
    } else {
        first_excess(ix, first, last, ref, radius, p.mto, kstop32);
        for (std::size_t i = 0; i < band; ++i)
            counts_here[i] = kstop32[i] > least ? 1 : 0;
    }
    if (check_first) {
        const std::int32_t* __restrict const first_col = ix.sorted_cols.data() + first;
        for (std::size_t i = 0; i < band; ++i) {
            if (std::llabs(std::int64_t{first_col[i]} - ref[1]) > radius) counts_here[i] = 0;
        }
    }
    // The places that count, eight flags (one byte each) at a time.
    for (std::size_t i = band; i < ((band + 7) & ~std::size_t{7}); ++i)
        counts_here[i] = 0;
    for (std::size_t i0 = 0; i0 < band; i0 += 8) {
        std::uint64_t flags;
        std::memcpy(&flags, counts_here + i0, sizeof flags);
        while (flags != 0) {
            const std::size_t i = i0 + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
            flags &= flags - 1;
            kept_place[kept] = static_cast<std::int32_t>(first + i);
            kept_kstop[kept] = static_cast<std::uint8_t>(ix.compact ? kstop16[i] : kstop32[i]);
            ++kept;
        }
    }
    return kept;
}

// The runs of places of block b whose vectors can be within the radius: in a tree, the
// nodes whose box meets the radius around the reference point in the coordinates shared by
// every dimension the scan fills (the first mlow, at most the tree's), whole where the box
// lies within it, else leaf by leaf with the first coordinate checked; else the one run
// whose first coordinate is within it. Each run goes to keep_run; the count of places kept.
std::size_t keep_block(const SearchIndex& ix, ScanScratch& sc, std::size_t b, const SearchParams& p,
                       std::int64_t radius,
                       const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, int mlow) {
    if (!ix.tree) {
        const auto below = [](std::int32_t v, std::int64_t x) { return v < x; };
        const auto above = [](std::int64_t x, std::int32_t v) { return x < v; };
        const auto key = ix.sorted_key.begin();
        const auto lo = std::lower_bound(key + static_cast<std::ptrdiff_t>(ix.block_begin(b)),
                                         key + static_cast<std::ptrdiff_t>(ix.block_end(b)),
                                         ref[1] - radius, below);
        const auto hi = std::upper_bound(lo, key + static_cast<std::ptrdiff_t>(ix.block_end(b)),
                                         ref[1] + radius, above);
        if (lo == hi) return 0;
        return keep_run(ix, sc, static_cast<std::size_t>(lo - key),
                        static_cast<std::size_t>(hi - key), false, p, radius, ref, mlow, 0);
    }
    const int shared = std::min(std::max(mlow, 1), ix.tree_dims);
    std::size_t runs = 0;
    std::size_t depth = 0;
    if (ix.roots[b] >= 0) sc.stack[depth++] = ix.roots[b];
    while (depth > 0) {
        const auto node = static_cast<std::size_t>(sc.stack[--depth]);
        const std::int32_t* lo = ix.low(node);
        const std::int32_t* hi = ix.high(node);
        bool meets = true;
        bool within = true;
        for (int k = 1; k <= shared; ++k) {
            const std::int64_t from = ref[static_cast<std::size_t>(k)] - radius;
            const std::int64_t to = ref[static_cast<std::size_t>(k)] + radius;
            const auto i = static_cast<std::size_t>(k - 1);
            if (hi[i] < from || lo[i] > to) {
                meets = false;
                break;
            }
            within = within && lo[i] >= from && hi[i] <= to;
        }
        if (!meets) continue;
        const SearchIndex::Node& n = ix.nodes[node];
        if (within || n.left < 0) {
            // Places of consecutive nodes join into one run.
            const bool check = !within;
            if (runs > 0 && sc.run_end[runs - 1] == n.begin &&
                sc.run_check[runs - 1] == static_cast<std::uint8_t>(check)) {
                sc.run_end[runs - 1] = n.end;
            } else {
                sc.run_begin[runs] = n.begin;
                sc.run_end[runs] = n.end;
                sc.run_check[runs] = static_cast<std::uint8_t>(check);
                ++runs;
            }
            continue;
        }
        // The left half first, so that runs come in increasing places.
        sc.stack[depth++] = n.right;
        sc.stack[depth++] = n.left;
    }
    std::size_t kept = 0;
    for (std::size_t r = 0; r < runs; ++r) {
        kept = keep_run(ix, sc, sc.run_begin[r], sc.run_end[r], sc.run_check[r] != 0, p, radius,
                        ref, mlow, kept);
    }
    return kept;
}

// The candidates of block b (vector indices from its first) that can count, taken in
// increasing index: found through the block's order, then marked by index.
void scan_block(const SearchIndex& ix, ScanScratch& sc, std::size_t b, const SearchParams& p,
                std::int64_t iref, std::int64_t radius,
                const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, int& mlow,
                Neighbourhoods& nb) {
    const std::size_t kept = keep_block(ix, sc, b, p, radius, ref, mlow);
    if (kept == 0) return;
    // Marked by index within the block, with one summary bit for each word of marks that
    // holds any.
    const auto first_index = static_cast<std::int64_t>(ix.block_begin(b)) + 1;
    // Plain pointers, as in keep_run: byte stores must not make the compiler reload them.
    std::uint8_t* __restrict const kstop = sc.kstop.data();
    std::uint64_t* __restrict const marks = sc.marks.data();
    std::uint64_t* __restrict const summary = sc.summary.data();
    const std::int32_t* __restrict const kept_place = sc.kept.data();
    const std::uint8_t* __restrict const kept_kstop = sc.kept_kstop.data();
    const std::int32_t* __restrict const sorted_index = ix.sorted_index.data();
    std::size_t smin = sc.summary.size();
    std::size_t smax = 0;
    for (std::size_t q = 0; q < kept; ++q) {
        const auto place = static_cast<std::size_t>(kept_place[q]);
        const auto bit = static_cast<std::size_t>(sorted_index[place] - first_index);
        kstop[bit] = kept_kstop[q];
        const std::size_t w = bit >> 6;
        marks[w] |= std::uint64_t{1} << (bit & 63);
        summary[w >> 6] |= std::uint64_t{1} << (w & 63);
        smin = std::min(smin, w >> 6);
        smax = std::max(smax, w >> 6);
    }
    // In increasing index: the counting. Every mark is cleared, also after the last
    // dimension has filled.
    for (std::size_t sw = smin; sw <= smax; ++sw) {
        std::uint64_t words = summary[sw];
        summary[sw] = 0;
        while (words != 0) {
            const std::size_t w = sw * 64 + static_cast<std::size_t>(std::countr_zero(words));
            words &= words - 1;
            std::uint64_t bits = marks[w];
            marks[w] = 0;
            while (bits != 0 && mlow <= p.mto) {
                const auto bit = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
                const auto j = static_cast<std::int64_t>(bit) + first_index;
                bits &= bits - 1;
                if (j > p.nlast) break;
                if (std::llabs(j - iref) < NEXCL) continue;
                if (mlow == 1) take(nb, 1, j, p.ncube, mlow);
                const int stop = kstop[bit];
                for (int k = mlow > 2 ? mlow : 2; k < stop; ++k)
                    take(nb, k, j, p.ncube, mlow);
            }
        }
    }
}

// The same scan as the plain one, block by block in increasing index, until every dimension
// is full or the candidates end.
void scan_fast(const DelayVectors& dv, const SearchIndex& ix, ScanScratch& sc,
               const SearchParams& p, std::int64_t iref, std::int32_t iradius, int& mlow,
               Neighbourhoods& nb) {
    for (int k = mlow; k <= p.mto; ++k)
        nb.nn(k) = 0;
    const std::int64_t radius = iradius;
    if (radius < 0 || p.nlast < 1) return;
    const auto ref = reference(dv, iref, p.mto);
    const auto last = static_cast<std::size_t>(std::min(p.nlast, ix.nvec));
    for (std::size_t b = 0; b < ix.blocks() && ix.block_begin(b) < last && mlow <= p.mto; ++b)
        scan_block(ix, sc, b, p, iref, radius, ref, mlow, nb);
}

class PlainSearch final : public NeighbourSearch {
  public:
    explicit PlainSearch(const DelayVectors& dv) : NeighbourSearch(dv) {}

  protected:
    void scan(const SearchParams& p, std::int64_t iref, std::int32_t iradius, int& mlow,
              Neighbourhoods& nb) override {
        scan_plain(dv_, p, iref, iradius, mlow, nb);
    }
};

class FastSearch final : public NeighbourSearch {
  public:
    FastSearch(const DelayVectors& dv, std::vector<std::size_t> block_starts, bool tree)
        : NeighbourSearch(dv),
          index_(dv, std::move(block_starts), tree),
          scratch_(index_.largest_block) {}
    bool marks_clear() const {
        for (std::uint64_t w : scratch_.marks)
            if (w != 0) return false;
        for (std::uint64_t w : scratch_.summary)
            if (w != 0) return false;
        return true;
    }
    bool compact() const { return index_.compact; }

  protected:
    void scan(const SearchParams& p, std::int64_t iref, std::int32_t iradius, int& mlow,
              Neighbourhoods& nb) override {
        scan_fast(dv_, index_, scratch_, p, iref, iradius, mlow, nb);
    }

  private:
    SearchIndex index_;
    ScanScratch scratch_;
};

}  // namespace

std::unique_ptr<NeighbourSearch> plain::make_search(const DelayVectors& dv) {
    return std::make_unique<PlainSearch>(dv);
}

std::vector<std::size_t> fast::search_blocks(std::int64_t nvec, std::size_t block) {
    const auto count = static_cast<std::size_t>(std::max<std::int64_t>(nvec, 0));
    std::vector<std::size_t> starts{0};
    if (block == 0 && nvec <= kWholeSearchUpTo) {
        starts.push_back(count);
        return starts;
    }
    std::size_t size = block == 0 ? kFirstSearchBlock : block;
    while (starts.back() < count) {
        starts.push_back(std::min(starts.back() + size, count));
        if (block == 0) size = std::min(size * 2, kLargestSearchBlock);
    }
    return starts;
}

std::unique_ptr<NeighbourSearch> fast::make_search(const DelayVectors& dv, std::size_t block,
                                                   std::optional<bool> tree) {
    const bool long_series = dv.nvec() > kWholeSearchUpTo;
    return std::make_unique<FastSearch>(dv, search_blocks(dv.nvec(), block),
                                        tree.value_or(long_series));
}

bool fast::marks_clear(const NeighbourSearch& search) {
    const auto* fast = dynamic_cast<const FastSearch*>(&search);
    return fast == nullptr || fast->marks_clear();
}

bool fast::compares_16_bits(const NeighbourSearch& search) {
    const auto* fast = dynamic_cast<const FastSearch*>(&search);
    return fast != nullptr && fast->compact();
}

}  // namespace tarnvex::embedding
