#pragma once
// The step loop: follows the reference trajectory through the warm-up and the counted
// steps, driving the neighbour search, the local maps and the frames, and keeps what the
// run did in its result.

#include <memory>
#include <span>

#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/kernel_table.hpp"
#include "spectrum/local_map.hpp"
#include "spectrum/propagation.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::driver {

// Every table of a run, allocated once before the step loop, with the kernels of the
// chosen set and their scratch. Large: make it on the heap.
struct Workspace {
    // The delay vectors of the samples used, for dimension p.mto.
    Workspace(std::span<const float> x, const Parameters& p);

    embedding::DelayVectors vectors;
    std::unique_ptr<embedding::NeighbourSearch> search;
    std::unique_ptr<spectrum::Covariances> covariances;
    const linalg::MatrixKernels& matrix;
    embedding::Neighbourhoods neighbours;
    spectrum::LocalMap map;
    spectrum::Spectrum spectrum;
};

// Runs the whole step loop over the samples used. The parameters must have passed the
// checks.
Result run_step_loop(std::span<const float> x, const Parameters& p, const Derived& d, Workspace& w,
                     Observer* observer);

}  // namespace tarnvex::driver
