#pragma once
// The step loop: follows the reference trajectory through the warm-up and the counted
// steps, driving the neighbour search, the local maps and the frames.

#include <cstdint>

#include "driver/params.hpp"
#include "driver/series.hpp"
#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "spectrum/local_map.hpp"
#include "spectrum/propagation.hpp"
#include "textio/channels.hpp"

namespace tarnvex::driver {

// Every table of a run, allocated once before the dialogue.
struct RunTables {
    Series series;
    embedding::DelayVectors vectors;
    embedding::Neighbourhoods neighbours;
    spectrum::LocalMapScratch scratch;
    spectrum::Spectrum spectrum;
};

// Iteration budget: the truncation of npts / evolv0 - (25 * evolv) / evolv0, in double,
// with evolv = 1 (the warm-up's).
std::int64_t iteration_budget(std::int32_t npts, float evolv0);

// What the loop ended with, for tests.
struct LoopOutcome {
    std::int64_t iterations = 0;  // iterations begun and run to their end
    std::int64_t nstep = 0;       // counted steps at the end
    std::int64_t last_iref = 0;   // reference point of the last iteration run
};

// Runs the whole step loop and its closing records. The parameters must have passed
// parameter_check.
LoopOutcome run_step_loop(const Params& p, RunTables& t, textio::RecordWriter& console,
                          textio::RecordWriter& result);

}  // namespace tarnvex::driver
