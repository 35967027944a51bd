#pragma once
// One orthonormal frame per dimension, carried along the reference trajectory by the local
// maps; the logarithms of the stretching factors summed into running exponent estimates.

#include <array>
#include <cstddef>
#include <cstdint>

#include "limits.hpp"
#include "linalg/kernel_table.hpp"
#include "linalg/matrix.hpp"

namespace tarnvex::spectrum {

// What dimension m carries from step to step: its orthonormal frame, the sums logsum(i) of
// the natural logarithms of the i-th stretching factor (double), and the estimates
// lambda(i) of the i-th exponent (float, bits per unit time).
struct DimensionState {
    linalg::Mat20 frame;
    std::array<double, MMAX + 1> logsum{};
    std::array<float, MMAX + 1> lambda{};
};

// Every dimension's state twice: the state in force, and the place where a step builds the
// next one, which takes its place when the step is taken. A step that is not taken leaves
// the state in force as it was, whatever it built.
class Spectrum {
  public:
    const DimensionState& of(int m) const { return states_[index(m)][side_[index(m)]]; }
    DimensionState& of(int m) { return states_[index(m)][side_[index(m)]]; }
    DimensionState& building(int m) { return states_[index(m)][side_[index(m)] ^ 1u]; }
    void take(int m) { side_[index(m)] ^= 1u; }

  private:
    static std::size_t index(int m) { return static_cast<std::size_t>(m); }
    std::array<std::array<DimensionState, 2>, MMAX + 1> states_;
    std::array<std::uint8_t, MMAX + 1> side_{};
};

// The frames in force of dimensions 1..mto become the identity over their mto x mto block;
// the sums of those dimensions become zero. A state built later is complete over its
// dimension's m x m block, the only part any step reads.
void reset_spectrum(Spectrum& sp, int mto);

// Every sum in force becomes zero (end of the warm-up); the frames are kept.
void clear_sums(Spectrum& sp);

enum class PropagationStatus { Ok, SingularColumn, SingularFactor };

// The step of dimension m by the map `a`, built beside its state in force, from which it
// reads: the product map * frame (in `product`) factored into the new frame and the
// triangular factor `r`, the logarithms of whose diagonal go into the new sums, and the
// estimates lambda(i) = logsum(i) / (nstep * tfac), tfac being evolv * ln 2 * dt. take(m)
// then puts it in force; when the orthonormalisation fails it must not be taken. It
// touches nothing of other dimensions, so that several dimensions may be built at once.
[[nodiscard]] PropagationStatus build_step(Spectrum& sp, const linalg::MatrixKernels& k,
                                           const linalg::Mat20& a, int m, std::int64_t nstep,
                                           float tfac, linalg::Mat20& product, linalg::Mat20& r);

}  // namespace tarnvex::spectrum
