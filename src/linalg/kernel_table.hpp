#pragma once
// The matrix kernels of a run, chosen once: the plain loops or the fast ones (see
// kernels.hpp). Both give the same bits.

#include "linalg/hshold.hpp"
#include "linalg/matrix.hpp"
#include "linalg/mtrinv.hpp"

namespace tarnvex::linalg {

struct MatrixKernels {
    InvertStatus (*invert)(Mat20& a, int n);
    // out = x * y over the leading n x n blocks, every element summed in increasing k from
    // +0; out must be neither x nor y.
    void (*multiply)(const Mat20& x, const Mat20& y, Mat20& out, int n);
    OrthoStatus (*orthonormalise)(Mat20& b, Mat20& q, Mat20& r, int n);
};

const MatrixKernels& plain_matrix_kernels();
const MatrixKernels& fast_matrix_kernels();

}  // namespace tarnvex::linalg
