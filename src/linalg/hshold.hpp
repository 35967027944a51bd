#pragma once

#include "linalg/matrix.hpp"

namespace tarnvex::linalg {

// A column whose remaining part has a squared length below this cannot be reflected: the
// frame has collapsed in that direction.
inline constexpr double kSingularColumn = 1e-50;

enum class OrthoStatus { Ok, SingularColumn, SingularFactor };

// Factors the leading n x n block of `b` as b = q * r, q with orthonormal columns and r
// upper triangular with a strictly positive diagonal: Householder reflections applied to
// `b` in place give r, whose rows are then sign-normalised; `b` is restored bit for bit
// from a private copy, r is inverted by mtrinv and q = b * r^-1 over all n terms.
// Returns SingularColumn when the remaining part of a column has a squared length below
// kSingularColumn (then q and r are zero and `b` holds the reflections done so far), or
// SingularFactor when r cannot be inverted.
// Two builds of the same routine (see kernels.hpp).
namespace plain {
[[nodiscard]] OrthoStatus hshold(Mat20& b, Mat20& q, Mat20& r, int n);
}
namespace fast {
[[nodiscard]] OrthoStatus hshold(Mat20& b, Mat20& q, Mat20& r, int n);
}

}  // namespace tarnvex::linalg
