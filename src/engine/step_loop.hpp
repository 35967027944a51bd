#pragma once
// The step loop: follows the reference trajectory through the warm-up and the counted
// steps, driving the neighbour search, the local maps and the frames, and keeps what the
// run did in its result.

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/kernel_table.hpp"
#include "spectrum/local_map.hpp"
#include "spectrum/propagation.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::engine {

// The scratch of one thread that computes dimensions of a step.
struct Lane {
    std::unique_ptr<spectrum::Covariances> covariances;
    spectrum::LocalMap map;
    linalg::Mat20 product;
    linalg::Mat20 r;
};

// What building one dimension of a step gave, before the step is taken: the kind of
// matrix that was singular, if one was. Each on a cache line of its own, as the lanes
// write them at once.
struct alignas(64) DimensionOutcome {
    std::optional<Singular> singular;
};

// Every table of a run, allocated once before the step loop, with the kernels of the
// chosen set and their scratch. Large: make it on the heap.
struct Workspace {
    // The delay vectors of the samples used, for dimension p.dims.to, and the scratch of
    // `lanes` threads that compute the dimensions of a step (at least one).
    Workspace(std::span<const float> x, const Parameters& p, int lanes);
    // The search holds a reference to the vectors: a workspace stays where it was made.
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    Workspace(Workspace&&) = delete;
    Workspace& operator=(Workspace&&) = delete;

    embedding::DelayVectors vectors;
    std::unique_ptr<embedding::NeighbourSearch> search;
    const linalg::MatrixKernels& matrix;
    // The neighbourhoods of the step being computed and, when the next step's search runs
    // beside its dimensions, those of the next step; the two swap roles from step to step.
    std::array<embedding::Neighbourhoods, 2> neighbourhoods;
    spectrum::Spectrum spectrum;
    std::vector<Lane> lanes;
    std::array<DimensionOutcome, MMAX + 1> outcomes;
};

// The threads that compute the dimensions of a step of this run: the parameter, 0 being
// the processors this process may run on, at most one a dimension and one for the next
// step's search, and 1 for a run whose steps are too small to gain from more.
int lanes_for(const Parameters& p);

// Runs the whole step loop over the samples used. The parameters must have passed the
// checks.
Result run_step_loop(std::span<const float> x, const Parameters& p, const Derived& d, Workspace& w,
                     Observer* observer);

}  // namespace tarnvex::engine
