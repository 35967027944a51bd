#pragma once
// Least-squares estimate of the local linear map of one dimension from its neighbourhood.

#include <array>
#include <cstdint>

#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/matrix.hpp"
#include "textio/channels.hpp"

namespace tarnvex::spectrum {

// Scratch of one dimension of one step; rebuilt for every dimension.
struct LocalMapScratch {
    // dy(j, c), dz(j, c): displacements of neighbour j from the reference point now and
    // evolv samples later, exact integers held as doubles.
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dy;
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dz;
    // The same displacements held coordinate by coordinate (KMAX places a coordinate), for
    // the fast covariances, with their largest magnitudes.
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dyc;
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dzc;
    std::int64_t max_dy = 0;
    std::int64_t max_dz = 0;
    // The same again as 16-bit integers, coordinate by coordinate, KPAD places a
    // coordinate, zero from the count to the next multiple of 32.
    static constexpr std::size_t KPAD = 224;
    std::array<std::int16_t, KPAD * MMAX> y16;
    std::array<std::int16_t, KPAD * MMAX> z16;
    linalg::Mat20 v;  // covariance of dy, replaced by its inverse
    linalg::Mat20 c;  // cross-covariance of dz (rows) with dy (columns)
    linalg::Mat20 a;  // the map C V^-1

    double& dy_at(int j, int col) {
        return dy[static_cast<std::size_t>((j - 1) * MMAX + (col - 1))];
    }
    double& dz_at(int j, int col) {
        return dz[static_cast<std::size_t>((j - 1) * MMAX + (col - 1))];
    }
};

// Estimates A = C V^-1 for dimension m at reference vector iref from the neighbours of
// dimension m, their successors `evolv` vectors later. Returns 0 with the map in s.a, or
// 1 when V is singular (mtrinv has written its line to `console`).
[[nodiscard]] int estimate_local_map(const embedding::DelayVectors& dv,
                                     const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                                     std::int64_t evolv, LocalMapScratch& s,
                                     textio::RecordWriter& console);

// The covariances V and C of dimension m from the displacements (count neighbours), each
// divided by the count; and the map A = C V^-1 from C and the inverse in V. Two builds of
// each (see kernels.hpp): the plain covariances read s.dy and s.dz, the fast ones s.dyc,
// s.dzc, s.max_dy and s.max_dz. neighbourhood_covariances forms the displacements of the
// neighbours of dimension m and then V and C from them.
namespace plain {
void neighbourhood_covariances(const embedding::DelayVectors& dv,
                               const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                               std::int64_t evolv, LocalMapScratch& s);
void covariances(LocalMapScratch& s, int m, int count);
void map_product(LocalMapScratch& s, int m);
}  // namespace plain
namespace fast {
void neighbourhood_covariances(const embedding::DelayVectors& dv,
                               const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                               std::int64_t evolv, LocalMapScratch& s);
void covariances(LocalMapScratch& s, int m, int count);
void narrow_covariances(LocalMapScratch& s, int m, int count);
void map_product(LocalMapScratch& s, int m);
}  // namespace fast

}  // namespace tarnvex::spectrum
