#pragma once

#include "linalg/matrix.hpp"
#include "textio/channels.hpp"

namespace tarnvex::linalg {

// Replaces the leading n x n block of `a` by its inverse: Gauss-Jordan exchange steps with
// full pivoting (first largest magnitude in row-then-column order), rows and columns left
// in place during the elimination, the permutation undone at the end, rows first.
// Returns 0 on success. Returns 1 when the remaining block is exactly zero at some step,
// after writing "mtrinv: matrix singular" to `console`; `a` is then left as the completed
// steps left it. n <= 0 changes nothing and returns 0.
[[nodiscard]] int mtrinv(Mat20& a, int n, textio::RecordWriter& console);

// The two builds of the same routine (see kernels.hpp); mtrinv is one of them.
namespace plain {
[[nodiscard]] int mtrinv(Mat20& a, int n, textio::RecordWriter& console);
}
namespace fast {
[[nodiscard]] int mtrinv(Mat20& a, int n, textio::RecordWriter& console);
}  // namespace fast

}  // namespace tarnvex::linalg
