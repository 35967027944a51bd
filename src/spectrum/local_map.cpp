#include "spectrum/local_map.hpp"

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
            const std::int64_t later = std::int64_t{dv.iy(i + evolv, c)} - dv.iy(iref + evolv, c);
            s.dy_at(j, c) = static_cast<double>(now);
            s.dz_at(j, c) = static_cast<double>(later);
        }
    }
    // Covariances, each sum taken over the neighbours in list order, then divided.
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
    if (linalg::mtrinv(s.v, m, console) != 0) return 1;
    // A = C V^-1, row by row.
    for (int r = 1; r <= m; ++r) {
        for (int c = 1; c <= m; ++c) {
            double sum = 0.0;
            for (int k = 1; k <= m; ++k)
                sum = sum + s.c(r, k) * s.v(k, c);
            s.a(r, c) = sum;
        }
    }
    return 0;
}

}  // namespace tarnvex::spectrum
