#include "linalg/kernel_table.hpp"

#include "linalg/product.hpp"

namespace tarnvex::linalg {

namespace {

// Every term added: the callers' factors may hold infinities or NaNs.
void fast_multiply(const Mat20& x, const Mat20& y, Mat20& out, int n) {
    fast::multiply(x, y, out, n, false);
}

const MatrixKernels kPlain{plain::mtrinv, plain::multiply, plain::hshold};
const MatrixKernels kFast{fast::mtrinv, fast_multiply, fast::hshold};

}  // namespace

const MatrixKernels& plain_matrix_kernels() {
    return kPlain;
}

const MatrixKernels& fast_matrix_kernels() {
    return kFast;
}

}  // namespace tarnvex::linalg
