#pragma once
// The matrix product of the leading n x n blocks, each element summed over k in increasing
// order from +0: out(i, c) = sum of x(i, k) * y(k, c).

#include "linalg/matrix.hpp"

namespace tarnvex::linalg {

// Two builds of the same product (see kernels.hpp). `out` must not be x or y; only its
// leading n x n block is written. The fast one forms a column of out at a time, eight
// rows side by side. With skip_zero_terms, a term whose y(k, c) is zero is left out of
// the sum: the caller promises that x is finite, so that such a term is a zero, which
// changes no sum that starts from +0.
namespace plain {
void multiply(const Mat20& x, const Mat20& y, Mat20& out, int n);
}
namespace fast {
void multiply(const Mat20& x, const Mat20& y, Mat20& out, int n, bool skip_zero_terms);
}

}  // namespace tarnvex::linalg
