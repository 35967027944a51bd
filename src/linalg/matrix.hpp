#pragma once
// The one square-matrix type: 20 x 20 doubles stored column by column, indexed from 1.
// Every routine touches only the leading n x n block of it.

#include <array>
#include <cassert>

#include "limits.hpp"

namespace tarnvex::linalg {

struct Mat20 {
    // Element (i, j) lies (i - 1) + (j - 1) * MMAX places after element (1, 1).
    std::array<double, MMAX * MMAX> a;

    double& operator()(int i, int j) {
        assert(i >= 1 && i <= MMAX && j >= 1 && j <= MMAX);
        return a[static_cast<std::size_t>((i - 1) + (j - 1) * MMAX)];
    }
    double operator()(int i, int j) const {
        assert(i >= 1 && i <= MMAX && j >= 1 && j <= MMAX);
        return a[static_cast<std::size_t>((i - 1) + (j - 1) * MMAX)];
    }
};

}  // namespace tarnvex::linalg
