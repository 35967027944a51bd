#pragma once
// One orthonormal frame per dimension, carried along the reference trajectory by the local
// maps; the logarithms of the stretching factors summed into running exponent estimates.

#include <array>
#include <cstdint>

#include "limits.hpp"
#include "linalg/kernel_table.hpp"
#include "linalg/matrix.hpp"

namespace tarnvex::spectrum {

struct Spectrum {
    std::array<linalg::Mat20, MMAX + 1> frame;  // frame[m]: orthonormal frame of dimension m
    // logsum(m, i): double, sum of natural logarithms of the i-th stretching factor.
    std::array<std::array<double, MMAX + 1>, MMAX + 1> logsum{};
    // lambda(m, i): float, estimate of the i-th exponent of dimension m, bits per unit time.
    std::array<std::array<float, MMAX + 1>, MMAX + 1> lambda{};
    linalg::Mat20 product;  // the product map * frame
    linalg::Mat20 qnew;     // new frame from the orthonormalisation
    linalg::Mat20 rfac;     // its triangular factor
};

// Frames of dimensions 1..mto become the identity over their mto x mto block; the sums of
// those dimensions become zero.
void reset_spectrum(Spectrum& sp, int mto);

// The whole table of sums becomes zero (end of the warm-up); the frames are kept.
void clear_sums(Spectrum& sp);

enum class PropagationStatus { Ok, SingularColumn, SingularFactor };

// Advances dimension m by the map `a`: the product map * frame, its orthonormalisation, the
// new frame, the log sums and the estimates lambda(m, i) = logsum(m, i) / (nstep * tfac),
// tfac being evolv * ln 2 * dt. When the orthonormalisation fails the frame and the sums
// are left untouched. It is transport() and then accumulate().
[[nodiscard]] PropagationStatus propagate_dimension(Spectrum& sp, const linalg::MatrixKernels& k,
                                                    const linalg::Mat20& a, int m,
                                                    std::int64_t nstep, float tfac);

// The two halves of propagate_dimension. transport() reads only the frame of dimension m
// and writes only its own matrices: the product map * frame (in `product`) factored into
// the new frame `q` and the triangular factor `r`; several dimensions may be transported
// at once. accumulate() takes q as the frame and r's diagonal into the sums and estimates.
[[nodiscard]] PropagationStatus transport(const Spectrum& sp, const linalg::MatrixKernels& k,
                                          const linalg::Mat20& a, int m, linalg::Mat20& product,
                                          linalg::Mat20& q, linalg::Mat20& r);
void accumulate(Spectrum& sp, const linalg::Mat20& q, const linalg::Mat20& r, int m,
                std::int64_t nstep, float tfac);

}  // namespace tarnvex::spectrum
