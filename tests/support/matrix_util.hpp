#pragma once
// Helpers for tests of the matrix routines.

#include <initializer_list>
#include <random>

#include "linalg/matrix.hpp"

namespace tarnvex::testing {

// A matrix whose leading block is given row by row; the rest holds a marker value that
// routines must leave alone.
inline linalg::Mat20 rows(std::initializer_list<std::initializer_list<double>> r) {
    linalg::Mat20 m;
    m.a.fill(777.0);
    int i = 1;
    for (const auto& row : r) {
        int j = 1;
        for (double v : row)
            m(i, j++) = v;
        ++i;
    }
    return m;
}

inline linalg::Mat20 random_matrix(std::mt19937& gen, int n, double diag_boost) {
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    linalg::Mat20 m;
    m.a.fill(0.0);
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i)
            m(i, j) = dist(gen) + (i == j ? diag_boost : 0.0);
    }
    return m;
}

}  // namespace tarnvex::testing
