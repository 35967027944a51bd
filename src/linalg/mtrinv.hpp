#pragma once

#include "linalg/matrix.hpp"

namespace tarnvex::linalg {

enum class InvertStatus { Ok, Singular };

// Replaces the leading n x n block of `a` by its inverse: Gauss-Jordan exchange steps with
// full pivoting (first largest magnitude in row-then-column order), rows and columns left
// in place during the elimination, the permutation undone at the end, rows first.
// Returns Singular when the remaining block is exactly zero at some step; `a` is then left
// as the completed steps left it. n <= 0 changes nothing.
// Two builds of the same routine (see kernels.hpp).
namespace plain {
[[nodiscard]] InvertStatus mtrinv(Mat20& a, int n);
}
namespace fast {
[[nodiscard]] InvertStatus mtrinv(Mat20& a, int n);
// The inversion on runs of eight places, for orders of 3 and more; mtrinv takes the plain
// loops below that, where they are the quicker.
[[nodiscard]] InvertStatus mtrinv_in_runs(Mat20& a, int n);
}  // namespace fast

}  // namespace tarnvex::linalg
