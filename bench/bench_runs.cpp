// Whole runs in process, console and result file in memory and a temporary folder.

#include <benchmark/benchmark.h>

#include "support/run_util.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/tarnvex.hpp"
#include "workloads.hpp"

namespace tarnvex::bench {
namespace {

void run_workload(benchmark::State& state, const Workload& w) {
    testing::TempDir dir;
    dir.write("s.dat", lorenz_series(w.samples));
    for (auto _ : state) {
        std::filesystem::remove(dir.file("r.out"));
        const auto r = testing::run_in(dir, std::string("s.dat\nr.out\n") + w.answers);
        if (r.status != 0) state.SkipWithError("the run failed");
        benchmark::DoNotOptimize(r.out.size());
    }
}

void BM_LargestRun(benchmark::State& state) {
    run_workload(state, kLargest);
}
void BM_MidSizeRun(benchmark::State& state) {
    run_workload(state, kMidSize);
}

// The diagnostics of the largest run, against the run itself (BM_LargestRun): they must add
// little to its time.
void BM_DiagnoseLargestRun(benchmark::State& state) {
    const std::vector<float> x = testing::samples_of(lorenz_series(kLargest.samples));
    Parameters p;
    p.ncube = 200;
    p.delay = 5;
    p.dims.from = 2;
    p.dims.to = 20;
    p.dt = 0.01f;
    p.tmax = 100000;
    const Result r = run(x, p);
    for (auto _ : state)
        benchmark::DoNotOptimize(diagnose(r).warnings.size());
}

BENCHMARK(BM_LargestRun)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_DiagnoseLargestRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidSizeRun)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarnvex::bench
