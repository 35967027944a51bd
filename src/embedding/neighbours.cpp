#include "embedding/neighbours.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "convert.hpp"

namespace tarnvex::embedding {

std::int32_t radius_of(float scalmx) {
    return trunc_to_i32(scalmx);
}

void grow_radius(SearchState& s) {
    s.ngrow = s.ngrow + 1;
    const double r = static_cast<double>(s.scalmx);
    s.scalmx = static_cast<float>(r + static_cast<double>(s.ngrow) * (r / 8.0));
}

void write_progress(textio::RecordWriter& console, int ngrow, int nn_mto) {
    console.write_edited(textio::kProgressRecord, {ngrow, nn_mto});
}

void write_limit_record(textio::RecordWriter& console) {
    console.write_edited(textio::kLimitRecord, {});
}

namespace {

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
inline void examine(const DelayVectors& dv, const SearchParams& p, std::int64_t j,
                    std::int64_t idist, std::int64_t radius,
                    const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, int& mlow,
                    Neighbourhoods& nb) {
    if (mlow == 1) take(nb, 1, j, p.ncube, mlow);
    const std::int32_t* const v = dv.row(j);
    for (int k = 2; k <= p.mto; ++k) {
        const std::int64_t d = std::llabs(v[k - 1] - ref[static_cast<std::size_t>(k)]);
        if (d > idist) idist = d;
        if (idist > radius) break;
        if (k >= mlow) take(nb, k, j, p.ncube, mlow);
    }
}

// The same counting with one branch per four coordinates: the running maximum first
// exceeds the radius at the first coordinate whose own distance exceeds it, so four
// coordinates are compared at once and the dimensions below the first excess counted.
inline void examine_by_fours(const DelayVectors& dv, const SearchParams& p, std::int64_t j,
                             std::int64_t radius,
                             const std::array<std::int64_t, DelayVectors::ROW + 1>& ref, int& mlow,
                             Neighbourhoods& nb) {
    if (mlow == 1) take(nb, 1, j, p.ncube, mlow);
    const std::int32_t* const v = dv.row(j);
    int kstop = p.mto + 1;  // first coordinate beyond the radius, or mto + 1
    for (int k0 = 1; k0 < p.mto; k0 += 4) {
        unsigned over = 0;
        for (int l = 0; l < 4; ++l) {
            const std::int64_t d =
                std::int64_t{v[k0 + l]} - ref[static_cast<std::size_t>(k0 + l + 1)];
            over |= static_cast<unsigned>((d > radius) | (d < -radius)) << l;
        }
        if (over != 0) {
            kstop = std::min(kstop, k0 + std::countr_zero(over) + 1);
            break;
        }
    }
    for (int k = mlow > 2 ? mlow : 2; k < kstop; ++k)
        take(nb, k, j, p.ncube, mlow);
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
    const std::int32_t* first = dv.column(1);
    for (std::int64_t j = 1; j <= p.nlast; ++j) {
        if (mlow > p.mto) break;  // every dimension is full: nothing more can be counted
        // The first coordinate is tested before anything else.
        const std::int64_t idist = std::llabs(first[j - 1] - ref[1]);
        if (idist > radius) continue;
        if (std::llabs(j - iref) < NEXCL) continue;
        examine(dv, p, j, idist, radius, ref, mlow, nb);
    }
}

// The same scan visiting only the vectors whose first coordinate is within the radius:
// they are marked from the sorted first coordinates, then taken in increasing index.
void scan_fast(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
               std::int32_t iradius, int& mlow, Neighbourhoods& nb) {
    for (int k = mlow; k <= p.mto; ++k)
        nb.nn(k) = 0;
    const std::int64_t radius = iradius;
    if (radius < 0 || p.nlast < 1) return;
    const auto ref = reference(dv, iref, p.mto);
    const auto begin = dv.sorted_first.begin();
    const auto end = begin + static_cast<std::ptrdiff_t>(dv.nvec);
    const auto lo = std::lower_bound(begin, end, ref[1] - radius,
                                     [](std::int32_t v, std::int64_t x) { return v < x; });
    const auto hi = std::upper_bound(lo, end, ref[1] + radius,
                                     [](std::int64_t x, std::int32_t v) { return x < v; });
    if (lo == hi) return;
    std::size_t wmin = NMAX / 64 + 1;
    std::size_t wmax = 0;
    for (auto it = lo; it != hi; ++it) {
        const auto bit =
            static_cast<std::size_t>(dv.sorted_index[static_cast<std::size_t>(it - begin)] - 1);
        const std::size_t w = bit >> 6;
        nb.marks[w] |= std::uint64_t{1} << (bit & 63);
        if (w < wmin) wmin = w;
        if (w > wmax) wmax = w;
    }
    for (std::size_t w = wmin; w <= wmax; ++w) {
        std::uint64_t bits = nb.marks[w];
        nb.marks[w] = 0;
        while (bits != 0 && mlow <= p.mto) {
            const auto j = static_cast<std::int64_t>(
                w * 64 + static_cast<std::size_t>(std::countr_zero(bits)) + 1);
            bits &= bits - 1;
            if (j > p.nlast) break;
            if (std::llabs(j - iref) < NEXCL) continue;
            examine_by_fours(dv, p, j, radius, ref, mlow, nb);
        }
    }
}

template <void (*Scan)(const DelayVectors&, const SearchParams&, std::int64_t, std::int32_t, int&,
                       Neighbourhoods&)>
SearchResult search(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                    SearchState& s, Neighbourhoods& nb, textio::RecordWriter& console) {
    for (;;) {
        Scan(dv, p, iref, radius_of(s.scalmx), s.mlow, nb);
        bool short_dimension = false;
        for (int k = s.mlow; k <= p.mto; ++k) {
            if (nb.nn(k) < 2 * k) {
                s.mlow = k;
                grow_radius(s);
                if (s.ngrow > MAXGROW) {
                    s.scalmx = p.scalmx0;
                    write_limit_record(console);
                    return SearchResult::GivenUp;
                }
                short_dimension = true;
                break;
            }
        }
        if (!short_dimension) return SearchResult::Accepted;
    }
}

}  // namespace

SearchResult plain::find_neighbourhoods(const DelayVectors& dv, const SearchParams& p,
                                        std::int64_t iref, SearchState& s, Neighbourhoods& nb,
                                        textio::RecordWriter& console) {
    return search<scan_plain>(dv, p, iref, s, nb, console);
}

SearchResult fast::find_neighbourhoods(const DelayVectors& dv, const SearchParams& p,
                                       std::int64_t iref, SearchState& s, Neighbourhoods& nb,
                                       textio::RecordWriter& console) {
    return search<scan_fast>(dv, p, iref, s, nb, console);
}

SearchResult find_neighbourhoods(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                                 SearchState& s, Neighbourhoods& nb,
                                 textio::RecordWriter& console) {
#ifdef TARNVEX_PLAIN_KERNELS
    return plain::find_neighbourhoods(dv, p, iref, s, nb, console);
#else
    return fast::find_neighbourhoods(dv, p, iref, s, nb, console);
#endif
}

}  // namespace tarnvex::embedding
