#include "spectrum/local_map.hpp"

#include <algorithm>

#include "kernels.hpp"
#include "linalg/mtrinv.hpp"

namespace tarnvex::spectrum {

int estimate_local_map(const embedding::DelayVectors& dv, const embedding::Neighbourhoods& nb,
                       int m, std::int64_t iref, std::int64_t evolv, LocalMapScratch& s,
                       textio::RecordWriter& console) {
    const int count = nb.nn(m);
    // Displacements: integer differences (in 64 bits), then converted, so they are exact.
#ifdef TARNVEX_PLAIN_KERNELS
    for (int j = 1; j <= count; ++j) {
        const std::int64_t i = nb.nbr(j, m);
        for (int c = 1; c <= m; ++c) {
            const std::int64_t now = std::int64_t{dv.iy(i, c)} - dv.iy(iref, c);
            const std::int64_t later = std::int64_t{dv.iy(i + evolv, c)} - dv.iy(iref + evolv, c);
            s.dy_at(j, c) = static_cast<double>(now);
            s.dz_at(j, c) = static_cast<double>(later);
        }
    }
    plain::covariances(s, m, count);
#else
    std::int64_t max_dy = 0;
    std::int64_t max_dz = 0;
    const std::int32_t* const ref_now = dv.row(iref);
    const std::int32_t* const ref_later = dv.row(iref + evolv);
    const auto uk = static_cast<std::size_t>(KMAX);
    for (int j = 0; j < count; ++j) {
        const std::int64_t i = nb.nbr(j + 1, m);
        const std::int32_t* const now_row = dv.row(i);
        const std::int32_t* const later_row = dv.row(i + evolv);
        for (std::size_t c = 0; c < static_cast<std::size_t>(m); ++c) {
            const std::int64_t now = std::int64_t{now_row[c]} - ref_now[c];
            const std::int64_t later = std::int64_t{later_row[c]} - ref_later[c];
            max_dy = std::max(max_dy, now < 0 ? -now : now);
            max_dz = std::max(max_dz, later < 0 ? -later : later);
            s.dyc[c * uk + static_cast<std::size_t>(j)] = static_cast<double>(now);
            s.dzc[c * uk + static_cast<std::size_t>(j)] = static_cast<double>(later);
        }
    }
    s.max_dy = max_dy;
    s.max_dz = max_dz;
    fast::covariances(s, m, count);
#endif
    if (linalg::mtrinv(s.v, m, console) != 0) return 1;
#ifdef TARNVEX_PLAIN_KERNELS
    plain::map_product(s, m);
#else
    // Both give the same bits; up to order 12 the plain loops are the quicker.
    if (m <= 12) {
        plain::map_product(s, m);
    } else {
        fast::map_product(s, m);
    }
#endif
    return 0;
}

// Each element summed over the neighbours in list order, then divided by the count.
void plain::covariances(LocalMapScratch& s, int m, int count) {
    const double n = static_cast<double>(count);
    for (int r = 1; r <= m; ++r) {
        for (int c = 1; c <= m; ++c) {
            double v = 0.0;
            double cc = 0.0;
            for (int j = 1; j <= count; ++j) {
                v = v + s.dy_at(j, r) * s.dy_at(j, c);
                cc = cc + s.dz_at(j, r) * s.dy_at(j, c);
            }
            s.v(r, c) = v / n;
            s.c(r, c) = cc / n;
        }
    }
}

// A = C V^-1, row by row, each element summed in increasing k.
void plain::map_product(LocalMapScratch& s, int m) {
    for (int r = 1; r <= m; ++r) {
        for (int c = 1; c <= m; ++c) {
            double sum = 0.0;
            for (int k = 1; k <= m; ++k)
                sum = sum + s.c(r, k) * s.v(k, c);
            s.a(r, c) = sum;
        }
    }
}

namespace {

// The sum of a[j] * b[j] over j < count in increasing j: the plain sequence of additions.
inline double dot_in_order(const double* a, const double* b, int count) {
    double sum = 0.0;
    for (int j = 0; j < count; ++j)
        sum = sum + a[j] * b[j];
    return sum;
}

// The same sum taken eight ways at once. Only for terms and partial sums that are all
// exact (integers below 2^53), where every order of addition gives the same result.
inline double dot_exact(const double* __restrict a, const double* __restrict b, int count) {
    double acc[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    int j = 0;
    for (; j + 8 <= count; j += 8) {
        for (int l = 0; l < 8; ++l)
            acc[l] = acc[l] + a[j + l] * b[j + l];
    }
    for (; j < count; ++j)
        acc[0] = acc[0] + a[j] * b[j];
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// True when every product of two displacements and every partial sum of up to `count`
// such products is an integer below 2^53 in magnitude, hence exact in double.
inline bool sums_are_exact(std::int64_t max_dy, std::int64_t max_dz, int count) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 26;
    if (max_dy >= kLimit || max_dz >= kLimit) return false;
    const std::int64_t bound = std::max(max_dy, max_dz) * max_dy * count;
    return bound <= (std::int64_t{1} << 53);
}

}  // namespace

// Each element as one dot product over the neighbours. When the displacements are small
// enough for every sum to be exact (the rule, for series of a few million integer steps),
// the dot products run eight lanes wide; otherwise in list order, the plain sequence. V is
// symmetric (a product does not depend on the order of its factors): its upper half is
// summed and mirrored.
TARNVEX_VECTOR_CLONES
void fast::covariances(LocalMapScratch& s, int m, int count) {
    const auto um = static_cast<std::size_t>(m);
    const bool exact = sums_are_exact(s.max_dy, s.max_dz, count);
    const double n = static_cast<double>(count);
    double* __restrict const v = s.v.a.data();
    double* __restrict const c = s.c.a.data();
    for (std::size_t col = 0; col < um; ++col) {
        const double* const yc = s.dyc.data() + col * KMAX;
        for (std::size_t row = 0; row < um; ++row) {
            const double* const yr = s.dyc.data() + row * KMAX;
            const double* const zr = s.dzc.data() + row * KMAX;
            if (row <= col) {
                v[row + col * MMAX] =
                    (exact ? dot_exact(yr, yc, count) : dot_in_order(yr, yc, count)) / n;
            }
            c[row + col * MMAX] =
                (exact ? dot_exact(zr, yc, count) : dot_in_order(zr, yc, count)) / n;
        }
    }
    for (std::size_t col = 0; col < um; ++col) {
        for (std::size_t row = col + 1; row < um; ++row)
            v[row + col * MMAX] = v[col + row * MMAX];
    }
}

// A = C V^-1 a column at a time: every element still sums its terms in increasing k.
TARNVEX_VECTOR_CLONES
void fast::map_product(LocalMapScratch& s, int m) {
    const auto um = static_cast<std::size_t>(m);
    const double* __restrict const c = s.c.a.data();
    const double* __restrict const v = s.v.a.data();
    double* __restrict const a = s.a.a.data();
    for (std::size_t col = 0; col < um; ++col) {
        double* __restrict const ac = a + col * MMAX;
        for (std::size_t row = 0; row < um; ++row)
            ac[row] = 0.0;
        for (std::size_t k = 0; k < um; ++k) {
            const double vkc = v[k + col * MMAX];
            const double* __restrict const ck = c + k * MMAX;
            for (std::size_t row = 0; row < um; ++row)
                ac[row] = ac[row] + ck[row] * vkc;
        }
    }
}

}  // namespace tarnvex::spectrum
