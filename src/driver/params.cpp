#include "driver/params.hpp"

#include "convert.hpp"
#include "embedding/delay_vectors.hpp"
#include "limits.hpp"

namespace tarnvex::driver {

void derive_extent(Params& p, std::span<const float> x) {
    float xmax = -1.0e10f;
    float xmin = 1.0e10f;
    for (std::int32_t i = 0; i < p.npts; ++i) {
        const float v = x[static_cast<std::size_t>(i)];
        if (v > xmax) xmax = v;
        if (v < xmin) xmin = v;
    }
    p.xmax = xmax;
    p.xmin = xmin;
    p.extent = xmax - xmin;
}

float initial_radius(float scalpct, float extent) {
    return static_cast<float>(static_cast<double>(scalpct) * static_cast<double>(extent) / 100.0);
}

std::string_view parameter_check(const Params& p, std::span<const float> x) {
    if (p.mto > MMAX) return " emb dim. too high !!";
    if (p.ncube > KMAX) return "number of points per cube too large!";
    if (p.mfrom < 1 || p.mto < 1) return "emb dim. must be at least 1";
    if (p.ncube < 1) return "number of points per cube must be at least 1";
    if (p.delay < 0) return "time delay must not be negative";
    if (p.evolv < 1) return "evolv time must be at least 1";
    if (!(p.dt > 0.0f)) return "dt must be positive";
    const std::int64_t nvec = embedding::vector_count(p.npts, p.delay, p.mto);
    if (p.istart < 1 || std::int64_t{p.istart} + 1 > nvec) {
        return "start point outside the embedded series";
    }
    for (std::int32_t i = 0; i < p.npts; ++i) {
        if (!fits_i32(x[static_cast<std::size_t>(i)])) {
            return "data value too large for integer coordinates";
        }
    }
    return {};
}

}  // namespace tarnvex::driver
