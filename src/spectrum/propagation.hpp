#pragma once
// One orthonormal frame per dimension, carried along the reference trajectory by the local
// maps; the logarithms of the stretching factors summed into running exponent estimates.

#include <array>
#include <cstdint>

#include "limits.hpp"
#include "linalg/matrix.hpp"
#include "textio/channels.hpp"

namespace tarnvex::spectrum {

struct Spectrum {
    std::array<linalg::Mat20, MMAX + 1> frame;  // frame[m]: orthonormal frame of dimension m
    // logsum(m, i): double, sum of natural logarithms of the i-th stretching factor.
    std::array<std::array<double, MMAX + 1>, MMAX + 1> logsum;
    // lambda(m, i): float, estimate of the i-th exponent of dimension m, bits per unit time.
    std::array<std::array<float, MMAX + 1>, MMAX + 1> lambda;
    linalg::Mat20 qnew;                // new frame from the orthonormalisation
    linalg::Mat20 rfac;                // its triangular factor
    std::array<double, MMAX + 1> row;  // one row of the product map * frame
    linalg::Mat20 product;             // the product map * frame, built a column at a time
};

// Frames of dimensions 1..mto become the identity over their mto x mto block; the sums of
// those dimensions become zero.
void reset_spectrum(Spectrum& sp, int mto);

// The whole table of sums becomes zero (end of the warm-up); the frames are kept.
void clear_sums(Spectrum& sp);

// What the reports of one dimension carry besides its estimates.
struct ReportContext {
    std::int64_t nstep;  // counted steps, this one included
    std::int64_t evolv;  // evolution time in force, in samples
    float tfac;          // evolv * ln 2 * dt
};

// Advances dimension m by the map `a` (overwritten by map * frame): orthonormalisation,
// new frame, log sums, estimates, then the console report when nstep is a multiple of 50
// and the result-file report when it is a multiple of 25. Returns 1, leaving the frame
// and sums untouched, when the orthonormalisation fails.
[[nodiscard]] int propagate_dimension(Spectrum& sp, linalg::Mat20& a, int m,
                                      const ReportContext& ctx, textio::RecordWriter& console,
                                      textio::RecordWriter& result);

}  // namespace tarnvex::spectrum
