#pragma once
// The run parameters entered in the dialogue, their derived values and their checks.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnvex::driver {

struct Params {
    std::string infile;   // series file name, 20 characters as read
    std::string outfile;  // result file name, 20 characters as read
    // Every parameter is 0 before the dialogue; a null answer leaves it so.
    std::int32_t npts = 0;    // samples used, reduced to ndata
    std::int32_t ncube = 0;   // neighbours wanted per neighbourhood
    std::int32_t tmax = 0;    // counted steps wanted after the warm-up
    std::int32_t delay = 0;   // embedding delay, samples
    std::int32_t mfrom = 0;   // lowest embedding dimension
    std::int32_t mto = 0;     // highest embedding dimension
    std::int32_t istart = 0;  // first reference point
    float dt = 0.0f;          // sampling step, units of time
    std::int32_t evolv = 0;   // evolution time, samples
    float scalpct = 0.0f;     // initial radius, percent of the extent

    // Derived values, single precision.
    float xmax = 0.0f;
    float xmin = 0.0f;
    float extent = 0.0f;
    float periode = 0.0f;
    float scalmx = 0.0f;   // initial search radius, absolute units of the series
    float scalmx0 = 0.0f;  // copy taken after the dialogue; every step starts from it
};

// Largest and smallest of x[0..npts-1] (start values -1e10 and +1e10, strict comparisons)
// and their difference.
void derive_extent(Params& p, std::span<const float> x);

// scalpct * extent / 100, multiplied first, in double, stored as single precision.
float initial_radius(float scalpct, float extent);

// The checks after the parameter header, in order: the two table limits, then the checks
// that keep every later index and conversion defined. Returns the console text of the
// first that fails, or an empty view when the run may go on.
std::string_view parameter_check(const Params& p, std::span<const float> x);

}  // namespace tarnvex::driver
