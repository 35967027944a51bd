#pragma once
// Least-squares estimate of the local linear map of one dimension from its neighbourhood.

#include <cstdint>
#include <memory>

#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/kernel_table.hpp"
#include "linalg/matrix.hpp"

namespace tarnvex::spectrum {

// The matrices of one dimension of one step; rebuilt for every dimension.
struct LocalMap {
    linalg::Mat20 v;  // covariance of the displacements now, replaced by its inverse
    linalg::Mat20 c;  // cross-covariance of the displacements later (rows) with now (columns)
    linalg::Mat20 a;  // the map C V^-1
};

// The covariances V and C of dimension m: the displacements of the neighbours of dimension
// m from the reference point iref now (dy) and `evolv` vectors later (dz), exact integers,
// and each element of V = sum dy dy^T and C = sum dz dy^T over the neighbours divided by
// their count. The two builds (see kernels.hpp) keep their displacements in scratch of
// their own.
class Covariances {
  public:
    virtual ~Covariances() = default;
    virtual void compute(const embedding::DelayVectors& dv, const embedding::Neighbourhoods& nb,
                         int m, std::int64_t iref, std::int64_t evolv, linalg::Mat20& v,
                         linalg::Mat20& c) = 0;
};

namespace plain {
std::unique_ptr<Covariances> make_covariances();
}
namespace fast {
std::unique_ptr<Covariances> make_covariances();
}

enum class MapStatus { Ok, SingularCovariance };

// Estimates A = C V^-1 for dimension m at reference vector iref from the neighbours of
// dimension m, their successors `evolv` vectors later: the map in map.a, or
// SingularCovariance when V cannot be inverted.
[[nodiscard]] MapStatus estimate_local_map(Covariances& cov, const linalg::MatrixKernels& k,
                                           const embedding::DelayVectors& dv,
                                           const embedding::Neighbourhoods& nb, int m,
                                           std::int64_t iref, std::int64_t evolv, LocalMap& map);

}  // namespace tarnvex::spectrum
