#include "spectrum/local_map.hpp"

#include "kernels.hpp"
#include "linalg/mtrinv.hpp"

namespace tarnvex::spectrum {

int estimate_local_map(const embedding::DelayVectors& dv, const embedding::Neighbourhoods& nb,
                       int m, std::int64_t iref, std::int64_t evolv, LocalMapScratch& s,
                       textio::RecordWriter& console) {
    const int count = nb.nn(m);
    // Displacements: integer differences (in 64 bits), then converted, so they are exact.
    for (int j = 1; j <= count; ++j) {
        const std::int64_t i = nb.nbr(j, m);
        for (int c = 1; c <= m; ++c) {
            const std::int64_t now = std::int64_t{dv.iy(i, c)} - dv.iy(iref, c);
            const std::int64_t later =
                std::int64_t{dv.iy(i + evolv, c)} - dv.iy(iref + evolv, c);
            s.dy_at(j, c) = static_cast<double>(now);
            s.dz_at(j, c) = static_cast<double>(later);
        }
    }
#ifdef TARNVEX_PLAIN_KERNELS
    plain::covariances(s, m, count);
#else
    fast::covariances(s, m, count);
#endif
    if (linalg::mtrinv(s.v, m, console) != 0) return 1;
#ifdef TARNVEX_PLAIN_KERNELS
    plain::map_product(s, m);
#else
    fast::map_product(s, m);
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
            for (int k = 1; k <= m; ++k) sum = sum + s.c(r, k) * s.v(k, c);
            s.a(r, c) = sum;
        }
    }
}

// One neighbour at a time, its outer products added to every element: each element still
// receives its terms in list order, so every sum is the plain one bit for bit. V is
// symmetric (a product does not depend on the order of its factors): its upper half is
// summed and mirrored.
TARNVEX_VECTOR_CLONES
void fast::covariances(LocalMapScratch& s, int m, int count) {
    const auto um = static_cast<std::size_t>(m);
    double* __restrict const v = s.v.a.data();
    double* __restrict const c = s.c.a.data();
    for (std::size_t col = 0; col < um; ++col) {
        for (std::size_t row = 0; row < um; ++row) {
            v[row + col * MMAX] = 0.0;
            c[row + col * MMAX] = 0.0;
        }
    }
    for (int j = 0; j < count; ++j) {
        const double* __restrict const y = s.dy.data() + static_cast<std::size_t>(j) * MMAX;
        const double* __restrict const z = s.dz.data() + static_cast<std::size_t>(j) * MMAX;
        for (std::size_t col = 0; col < um; ++col) {
            const double yc = y[col];
            double* __restrict const vc = v + col * MMAX;
            double* __restrict const cc = c + col * MMAX;
            for (std::size_t row = 0; row <= col; ++row) vc[row] = vc[row] + y[row] * yc;
            for (std::size_t row = 0; row < um; ++row) cc[row] = cc[row] + z[row] * yc;
        }
    }
    const double n = static_cast<double>(count);
    for (std::size_t col = 0; col < um; ++col) {
        for (std::size_t row = 0; row <= col; ++row) v[row + col * MMAX] = v[row + col * MMAX] / n;
        for (std::size_t row = 0; row < um; ++row) c[row + col * MMAX] = c[row + col * MMAX] / n;
    }
    for (std::size_t col = 0; col < um; ++col) {
        for (std::size_t row = col + 1; row < um; ++row) v[row + col * MMAX] = v[col + row * MMAX];
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
        for (std::size_t row = 0; row < um; ++row) ac[row] = 0.0;
        for (std::size_t k = 0; k < um; ++k) {
            const double vkc = v[k + col * MMAX];
            const double* __restrict const ck = c + k * MMAX;
            for (std::size_t row = 0; row < um; ++row) ac[row] = ac[row] + ck[row] * vkc;
        }
    }
}

}  // namespace tarnvex::spectrum
