// The numerical kernels one at a time, plain and fast builds side by side, at m = 5, 10, 20.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "driver/series.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/hshold.hpp"
#include "linalg/mtrinv.hpp"
#include "spectrum/local_map.hpp"
#include "spectrum/propagation.hpp"
#include "textio/reader.hpp"
#include "workloads.hpp"

namespace tarnvex::bench {
namespace {

using linalg::Mat20;

// 200 random integer displacements of dimension m, in both layouts.
std::unique_ptr<spectrum::LocalMapScratch> random_neighbourhood(int m, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-500, 500);
    auto s = std::make_unique<spectrum::LocalMapScratch>();
    for (int j = 1; j <= 200; ++j) {
        for (int c = 1; c <= m; ++c) {
            s->dy_at(j, c) = d(gen);
            s->dz_at(j, c) = d(gen);
            s->dyc[static_cast<std::size_t>((c - 1) * KMAX + (j - 1))] = s->dy_at(j, c);
            s->dzc[static_cast<std::size_t>((c - 1) * KMAX + (j - 1))] = s->dz_at(j, c);
        }
    }
    s->max_dy = 500;
    s->max_dz = 500;
    return s;
}

// A symmetric, well-conditioned matrix like a covariance of displacements.
Mat20 covariance_like(int m, unsigned seed) {
    auto s = random_neighbourhood(m, seed);
    spectrum::plain::covariances(*s, m, 200);
    return s->v;
}

template <int (*Inv)(Mat20&, int, textio::RecordWriter&)>
void BM_Mtrinv(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const Mat20 v = covariance_like(m, 1);
    textio::StringWriter console;
    for (auto _ : state) {
        Mat20 a = v;
        benchmark::DoNotOptimize(Inv(a, m, console));
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_Mtrinv<linalg::plain::mtrinv>)->Name("mtrinv/plain")->Arg(5)->Arg(10)->Arg(20);
BENCHMARK(BM_Mtrinv<linalg::fast::mtrinv>)->Name("mtrinv/fast")->Arg(5)->Arg(10)->Arg(20);

template <int (*Hsh)(Mat20&, Mat20&, Mat20&, int, textio::RecordWriter&)>
void BM_Hshold(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    Mat20 b = covariance_like(m, 2);
    Mat20 q, r;
    textio::StringWriter console;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Hsh(b, q, r, m, console));
        benchmark::DoNotOptimize(q);
    }
}
BENCHMARK(BM_Hshold<linalg::plain::hshold>)->Name("hshold/plain")->Arg(5)->Arg(10)->Arg(20);
BENCHMARK(BM_Hshold<linalg::fast::hshold>)->Name("hshold/fast")->Arg(5)->Arg(10)->Arg(20);

template <void (*Cov)(spectrum::LocalMapScratch&, int, int)>
void BM_Covariances(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    auto s = random_neighbourhood(m, 3);
    for (auto _ : state) {
        Cov(*s, m, 200);
        benchmark::DoNotOptimize(s->v);
    }
}
BENCHMARK(BM_Covariances<spectrum::plain::covariances>)
    ->Name("covariances/plain")
    ->Arg(5)
    ->Arg(10)
    ->Arg(20);
BENCHMARK(BM_Covariances<spectrum::fast::covariances>)
    ->Name("covariances/fast")
    ->Arg(5)
    ->Arg(10)
    ->Arg(20);

// The delay vectors of dimension 20 of the largest run (delay 5), and the radius its answers
// give: 2 % of the range of the series.
struct LargestRun {
    std::unique_ptr<embedding::DelayVectors> dv;
    float scalmx0;
};

LargestRun largest_run_vectors() {
    auto series = std::make_unique<driver::Series>();
    const std::string text = lorenz_series(20000);
    textio::StringSource src(text);
    driver::read_series(src, *series);
    LargestRun run{std::make_unique<embedding::DelayVectors>(), 0.0f};
    embedding::embed_series(series->x, 20000, 5, 20, *run.dv);
    float xmax = -1e10f, xmin = 1e10f;
    for (float v : series->x) {
        xmax = std::max(xmax, v);
        xmin = std::min(xmin, v);
    }
    run.scalmx0 = static_cast<float>(2.0 * static_cast<double>(xmax - xmin) / 100.0);
    return run;
}

// The displacements and covariances of one dimension of the largest run: the neighbours of
// a reference point found by the search, the covariances formed from the delay vectors.
template <bool Plain>
void BM_NeighbourhoodCovariances(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const LargestRun run = largest_run_vectors();
    const embedding::DelayVectors* const dv = run.dv.get();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    const embedding::SearchParams p{200, 20, dv->nvec - 1, run.scalmx0};
    embedding::SearchState search{run.scalmx0, 0, 2};
    textio::StringWriter console;
    (void)embedding::fast::find_neighbourhoods(*dv, p, 5000, search, *nb, console);
    auto s = std::make_unique<spectrum::LocalMapScratch>();
    for (auto _ : state) {
        if (Plain) {
            spectrum::plain::neighbourhood_covariances(*dv, *nb, m, 5000, 1, *s);
        } else {
            spectrum::fast::neighbourhood_covariances(*dv, *nb, m, 5000, 1, *s);
        }
        benchmark::DoNotOptimize(s->c);
    }
    state.counters["neighbours"] = nb->nn(m);
}
BENCHMARK(BM_NeighbourhoodCovariances<true>)
    ->Name("neighbourhood covariances/plain")
    ->Arg(5)
    ->Arg(10)
    ->Arg(20);
BENCHMARK(BM_NeighbourhoodCovariances<false>)
    ->Name("neighbourhood covariances/fast")
    ->Arg(5)
    ->Arg(10)
    ->Arg(20);

void BM_Propagation(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    auto sp = std::make_unique<spectrum::Spectrum>();
    spectrum::reset_spectrum(*sp, 20);
    const Mat20 map = covariance_like(m, 4);
    textio::StringWriter console, result;
    for (auto _ : state) {
        Mat20 a = map;
        benchmark::DoNotOptimize(
            spectrum::propagate_dimension(*sp, a, m, {1, 1, 1.0f}, console, result));
    }
}
BENCHMARK(BM_Propagation)->Name("frame propagation")->Arg(5)->Arg(10)->Arg(20);

// One neighbour search over the 20000 vectors of dimension 20 of the largest run.
template <bool Plain>
void BM_NeighbourSearch(benchmark::State& state) {
    const LargestRun run = largest_run_vectors();
    const embedding::DelayVectors* const dv = run.dv.get();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    const float scalmx0 = run.scalmx0;
    const embedding::SearchParams p{200, 20, dv->nvec - 1, scalmx0};
    textio::StringWriter console;
    std::int64_t iref = 1;
    for (auto _ : state) {
        embedding::SearchState s{scalmx0, 0, 2};
        for (int k = 1; k <= 20; ++k)
            nb->nn(k) = 0;
        const auto r = Plain ? embedding::plain::find_neighbourhoods(*dv, p, iref, s, *nb, console)
                             : embedding::fast::find_neighbourhoods(*dv, p, iref, s, *nb, console);
        benchmark::DoNotOptimize(r);
        iref = iref % 19000 + 97;
    }
}
BENCHMARK(BM_NeighbourSearch<true>)->Name("neighbour search/plain")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NeighbourSearch<false>)->Name("neighbour search/fast")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnvex::bench

namespace tarnvex::bench {
namespace {

template <void (*Map)(spectrum::LocalMapScratch&, int)>
void BM_MapProduct(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    auto s = std::make_unique<spectrum::LocalMapScratch>();
    s->c = covariance_like(m, 5);
    s->v = covariance_like(m, 6);
    for (auto _ : state) {
        Map(*s, m);
        benchmark::DoNotOptimize(s->a);
    }
}
BENCHMARK(BM_MapProduct<spectrum::plain::map_product>)
    ->Name("map product/plain")
    ->Arg(3)
    ->Arg(5)
    ->Arg(10)
    ->Arg(20);
BENCHMARK(BM_MapProduct<spectrum::fast::map_product>)
    ->Name("map product/fast")
    ->Arg(3)
    ->Arg(5)
    ->Arg(10)
    ->Arg(20);
BENCHMARK(BM_Mtrinv<linalg::plain::mtrinv>)->Name("mtrinv/plain")->Arg(3)->Arg(15);
BENCHMARK(BM_Mtrinv<linalg::fast::mtrinv>)->Name("mtrinv/fast")->Arg(3)->Arg(15);
BENCHMARK(BM_Hshold<linalg::plain::hshold>)->Name("hshold/plain")->Arg(3)->Arg(15);
BENCHMARK(BM_Hshold<linalg::fast::hshold>)->Name("hshold/fast")->Arg(3)->Arg(15);

}  // namespace
}  // namespace tarnvex::bench
