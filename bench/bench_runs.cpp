// Whole runs in process, console and result file in memory and a temporary folder.

#include <benchmark/benchmark.h>

#include "support/run_util.hpp"
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

BENCHMARK(BM_LargestRun)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_MidSizeRun)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarnvex::bench
