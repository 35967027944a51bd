// The numerical kernels one at a time, plain and fast builds side by side, at m = 5, 10, 20.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "embedding/neighbours.hpp"
#include "linalg/hshold.hpp"
#include "linalg/kernel_table.hpp"
#include "linalg/mtrinv.hpp"
#include "linalg/product.hpp"
#include "spectrum/local_map.hpp"
#include "spectrum/propagation.hpp"
#include "support/run_util.hpp"
#include "tarnvex/tarnvex.hpp"
#include "workloads.hpp"

namespace tarnvex::bench {
namespace {

using linalg::Mat20;

// 600 random vectors of 20 coordinates within 250 of each other, and the first 200 of
// them (after the reference vector 1 and its successor) as the neighbours of dimension m.
struct RandomNeighbourhood {
    std::unique_ptr<embedding::DelayVectors> dv;
    std::unique_ptr<embedding::Neighbourhoods> nb = std::make_unique<embedding::Neighbourhoods>();

    RandomNeighbourhood(int m, unsigned seed) {
        std::mt19937 gen(seed);
        std::uniform_int_distribution<std::int32_t> d(-250, 250);
        std::vector<std::int32_t> columns(600 * MMAX);
        for (auto& v : columns)
            v = d(gen);
        dv = std::make_unique<embedding::DelayVectors>(600, columns);
        for (int j = 1; j <= 200; ++j)
            nb->nbr(j, m) = 2 * j + 1;
        nb->nn(m) = 200;
    }
};

// A symmetric, well-conditioned matrix like a covariance of displacements.
Mat20 covariance_like(int m, unsigned seed) {
    const RandomNeighbourhood n(m, seed);
    Mat20 v, c;
    spectrum::plain::make_covariances()->compute(*n.dv, *n.nb, m, 1, 1, v, c);
    return v;
}

template <linalg::InvertStatus (*Inv)(Mat20&, int)>
void BM_Mtrinv(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const Mat20 v = covariance_like(m, 1);
    for (auto _ : state) {
        Mat20 a = v;
        benchmark::DoNotOptimize(Inv(a, m));
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_Mtrinv<linalg::plain::mtrinv>)
    ->Name("mtrinv/plain")
    ->Arg(3)
    ->Arg(5)
    ->Arg(10)
    ->Arg(15)
    ->Arg(20);
BENCHMARK(BM_Mtrinv<linalg::fast::mtrinv>)
    ->Name("mtrinv/fast")
    ->Arg(3)
    ->Arg(5)
    ->Arg(10)
    ->Arg(15)
    ->Arg(20);

template <linalg::OrthoStatus (*Hsh)(Mat20&, Mat20&, Mat20&, int)>
void BM_Hshold(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    Mat20 b = covariance_like(m, 2);
    Mat20 q, r;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Hsh(b, q, r, m));
        benchmark::DoNotOptimize(q);
    }
}
BENCHMARK(BM_Hshold<linalg::plain::hshold>)
    ->Name("hshold/plain")
    ->Arg(3)
    ->Arg(5)
    ->Arg(10)
    ->Arg(15)
    ->Arg(20);
BENCHMARK(BM_Hshold<linalg::fast::hshold>)
    ->Name("hshold/fast")
    ->Arg(3)
    ->Arg(5)
    ->Arg(10)
    ->Arg(15)
    ->Arg(20);

// The covariances of 200 random neighbours: displacements within 500 (16-bit sums).
template <bool Plain>
void BM_Covariances(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const RandomNeighbourhood n(m, 3);
    const auto cov =
        Plain ? spectrum::plain::make_covariances() : spectrum::fast::make_covariances();
    Mat20 v, c;
    for (auto _ : state) {
        cov->compute(*n.dv, *n.nb, m, 1, 1, v, c);
        benchmark::DoNotOptimize(v);
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_Covariances<true>)->Name("covariances/plain")->Arg(5)->Arg(10)->Arg(20);
BENCHMARK(BM_Covariances<false>)->Name("covariances/fast")->Arg(5)->Arg(10)->Arg(20);

// The delay vectors of dimension 20 of the largest run (delay 5), and the radius its answers
// give: 2 % of the range of the series.
struct LargestRun {
    std::unique_ptr<embedding::DelayVectors> dv;
    float scalmx0;
};

LargestRun largest_run_vectors() {
    const std::vector<float> x = testing::samples_of(lorenz_series(20000));
    Parameters p;
    p.radius_pct = 2.0f;
    return {std::make_unique<embedding::DelayVectors>(x, 20000, 5, 20),
            derive(x, p).initial_radius};
}

// The displacements and covariances of one dimension of the largest run: the neighbours of
// a reference point found by the search, the covariances formed from the delay vectors.
template <bool Plain>
void BM_NeighbourhoodCovariances(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const LargestRun run = largest_run_vectors();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    const embedding::SearchParams p{200, 20, run.dv->nvec() - 1, run.scalmx0};
    embedding::SearchState search{run.scalmx0, 0, 2};
    (void)embedding::fast::make_search(*run.dv)->find(p, 5000, search, *nb);
    const auto cov =
        Plain ? spectrum::plain::make_covariances() : spectrum::fast::make_covariances();
    Mat20 v, c;
    for (auto _ : state) {
        cov->compute(*run.dv, *nb, m, 5000, 1, v, c);
        benchmark::DoNotOptimize(c);
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
    Mat20 product, r;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            spectrum::build_step(*sp, linalg::fast_matrix_kernels(), map, m, 1, 1.0f, product, r));
        sp->take(m);
    }
}
BENCHMARK(BM_Propagation)->Name("frame propagation")->Arg(5)->Arg(10)->Arg(20);

// One neighbour search over the 20000 vectors of dimension 20 of the largest run.
template <bool Plain>
void BM_NeighbourSearch(benchmark::State& state) {
    const LargestRun run = largest_run_vectors();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    const embedding::SearchParams p{200, 20, run.dv->nvec() - 1, run.scalmx0};
    const auto search =
        Plain ? embedding::plain::make_search(*run.dv) : embedding::fast::make_search(*run.dv);
    std::int64_t iref = 1;
    for (auto _ : state) {
        embedding::SearchState s{run.scalmx0, 0, 2};
        nb->clear();
        benchmark::DoNotOptimize(search->find(p, iref, s, *nb));
        iref = iref % 19000 + 97;
    }
}
BENCHMARK(BM_NeighbourSearch<true>)->Name("neighbour search/plain")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NeighbourSearch<false>)->Name("neighbour search/fast")->Unit(benchmark::kMicrosecond);

// The map A = C V^-1 and the product map * frame: the matrix product of the kernel table.
template <bool Plain>
void BM_MapProduct(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const Mat20 c = covariance_like(m, 5);
    const Mat20 v = covariance_like(m, 6);
    const linalg::MatrixKernels& k =
        Plain ? linalg::plain_matrix_kernels() : linalg::fast_matrix_kernels();
    Mat20 a;
    for (auto _ : state) {
        k.multiply(c, v, a, m);
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_MapProduct<true>)->Name("map product/plain")->Arg(3)->Arg(5)->Arg(10)->Arg(20);
BENCHMARK(BM_MapProduct<false>)->Name("map product/fast")->Arg(3)->Arg(5)->Arg(10)->Arg(20);

}  // namespace
}  // namespace tarnvex::bench
