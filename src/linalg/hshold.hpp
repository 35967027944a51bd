#pragma once

#include "linalg/matrix.hpp"
#include "textio/channels.hpp"

namespace tarnvex::linalg {

// Factors the leading n x n block of `b` as b = q * r, q with orthonormal columns and r
// upper triangular with a strictly positive diagonal: Householder reflections applied to
// `b` in place give r, whose rows are then sign-normalised; `b` is restored bit for bit
// from a private copy, r is inverted by mtrinv and q = b * r^-1 over all n terms.
// Returns 0 on success. Returns 1 after writing "householder: matrix singular" when the
// remaining part of a column has a squared length below 1e-50 (then q and r are zero and
// `b` holds the reflections done so far), or after mtrinv's line and
// "householder: mtrinv: matrix singular" when r cannot be inverted.
[[nodiscard]] int hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console);

// The two builds of the same routine (see kernels.hpp); hshold is one of them.
namespace plain {
[[nodiscard]] int hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console);
}
namespace fast {
[[nodiscard]] int hshold(Mat20& b, Mat20& q, Mat20& r, int n, textio::RecordWriter& console);
}

}  // namespace tarnvex::linalg
