#include "embedding/neighbours.hpp"

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

// One scan over all candidates at a fixed integer radius.
void scan(const DelayVectors& dv, const SearchParams& p, std::int64_t iref, std::int32_t iradius,
          int& mlow, Neighbourhoods& nb) {
    for (int k = mlow; k <= p.mto; ++k)
        nb.nn(k) = 0;
    const std::int64_t radius = iradius;
    std::array<std::int64_t, MMAX + 1> ref{};
    for (int k = 1; k <= p.mto; ++k)
        ref[static_cast<std::size_t>(k)] = dv.iy(iref, k);
    const std::int32_t* first = dv.column(1);

    for (std::int64_t j = 1; j <= p.nlast; ++j) {
        if (mlow > p.mto) break;  // every dimension is full: nothing more can be counted
        // The first coordinate is tested before anything else.
        std::int64_t idist = std::llabs(first[j - 1] - ref[1]);
        if (idist > radius) continue;
        if (std::llabs(j - iref) < NEXCL) continue;
        if (mlow == 1) take(nb, 1, j, p.ncube, mlow);
        for (int k = 2; k <= p.mto; ++k) {
            const std::int64_t d = std::llabs(dv.iy(j, k) - ref[static_cast<std::size_t>(k)]);
            if (d > idist) idist = d;
            if (idist > radius) break;
            if (k >= mlow) take(nb, k, j, p.ncube, mlow);
        }
    }
}

}  // namespace

SearchResult find_neighbourhoods(const DelayVectors& dv, const SearchParams& p, std::int64_t iref,
                                 SearchState& s, Neighbourhoods& nb,
                                 textio::RecordWriter& console) {
    for (;;) {
        scan(dv, p, iref, radius_of(s.scalmx), s.mlow, nb);
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

}  // namespace tarnvex::embedding
