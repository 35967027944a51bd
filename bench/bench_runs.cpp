// Whole runs in process, console and result file in memory and a temporary folder.

#include <benchmark/benchmark.h>

#include <cmath>

#include "support/run_util.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/significance.hpp"
#include "tarnvex/systems.hpp"
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

// One estimate of a long recording, dimensions 2 to 5, ncube 30, one thread: the time per
// counted step at range(0) samples. At 1,000,000 it must stay within twice that at 20000
// (the search stops in the first blocks of the series), and the whole run within 20 s.
void BM_LongHenonRun(benchmark::State& state) {
    const std::vector<float> x = testing::henon_samples(state.range(0));
    Parameters p;
    p.dims = {2, 5};
    std::int64_t steps = 0;
    for (auto _ : state) {
        const Result r = run(x, p);
        steps += r.counted_steps;
    }
    state.counters["per counted step"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The IAAFT surrogates of the surrogate test: 39 of range(0) samples.
void BM_IaaftSurrogates(benchmark::State& state) {
    const std::vector<float> x = testing::henon_samples(state.range(0));
    for (auto _ : state) {
        for (std::uint64_t index = 0; index < 39; ++index)
            benchmark::DoNotOptimize(iaaft_surrogate(x, 1, index).size());
    }
}

BENCHMARK(BM_LargestRun)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_LongHenonRun)->Arg(20000)->Arg(1000000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_IaaftSurrogates)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_DiagnoseLargestRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidSizeRun)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tarnvex::bench
