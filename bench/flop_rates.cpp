// How far the kernels are from the processor's limit: the floating-point operations of one
// step of the largest run, kernel by kernel and dimension by dimension, counted from the
// kernels' loops, divided by the time each kernel takes on that step's own data (fast
// kernels, one thread), beside the rate this processor reaches with independent additions
// and multiplications on the widest vector unit the kernels' clones use here (no fused
// multiply-add: the build keeps contraction off).
//
//   tarnvex_flops [Google Benchmark options]
//
// A flop is one addition, subtraction, multiplication, division or square root of doubles
// as the plain loops, the defining arithmetic, perform them; the comparisons of the pivot
// search are not counted. The rates are these counts over the fast kernels' times: where a
// fast kernel leaves work out (the zero terms of the inverse triangular factor, the mirror
// half of V) or does it in integers (the covariances, here), the rate is what the plain
// arithmetic would need to reach to be as fast.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/kernel_table.hpp"
#include "linalg/matrix.hpp"
#include "spectrum/local_map.hpp"
#include "support/run_util.hpp"
#include "tarnvex/tarnvex.hpp"
#include "workloads.hpp"

namespace tarnvex::bench {
namespace {

using linalg::Mat20;

// ---- Operation counts, from the plain loops -------------------------------------------

// V and C: for each of the m*m places, count terms of two products and two sums, then two
// divisions by the count.
double covariance_flops(double m, double count) {
    return m * m * (4.0 * count + 2.0);
}

// Gauss-Jordan exchange steps: per pivot one reciprocal, (n-1)^2 places each a product, a
// division and a subtraction, and 2(n-1) divisions of the pivot row and column.
double inversion_flops(double n) {
    return n * (1.0 + 3.0 * (n - 1.0) * (n - 1.0) + 2.0 * (n - 1.0));
}

// n*n places, each n products and n sums.
double product_flops(double n) {
    return 2.0 * n * n * n;
}

// Householder reduction (column k: the squared norm, a square root, the reflection's
// scale, the diagonal, and for each later column its projection, scale and update), the
// sign of r's rows, the inversion of r, and the product b * r^-1.
double orthonormalisation_flops(int n) {
    double f = 0.0;
    for (int k = 1; k <= n; ++k) {
        const double len = n - k + 1;
        f += 2.0 * len + 1.0 + 3.0 + 1.0 + (n - k) * (4.0 * len + 1.0);
    }
    return f + double(n) * n + inversion_flops(n) + product_flops(n);
}

// ---- One step of the largest run ------------------------------------------------------

constexpr std::int64_t kReference = 5000;  // the step's reference point
constexpr int kFirst = 2;
constexpr int kLast = 20;

// The step's data for dimension m: its covariances, the map, a frame, and the product of
// map and frame.
struct DimensionData {
    int neighbours = 0;
    Mat20 v, c, vinv, a, frame, product;
};

struct Step {
    std::vector<float> x;
    std::unique_ptr<embedding::DelayVectors> dv;
    std::unique_ptr<embedding::NeighbourSearch> search;
    std::unique_ptr<embedding::Neighbourhoods> nb = std::make_unique<embedding::Neighbourhoods>();
    embedding::SearchParams params;
    float scalmx0 = 0.0f;
    std::array<DimensionData, MMAX + 1> dims;
};

Step& largest_step() {
    static Step* s = [] {
        auto* step = new Step;
        step->x = testing::samples_of(lorenz_series(kLargest.samples));
        Parameters p;
        p.ncube = 200;
        p.delay = 5;
        p.dims.from = kFirst;
        p.dims.to = kLast;
        p.dt = 0.01f;
        p.radius_pct = 2.0f;
        step->scalmx0 = derive(step->x, p).initial_radius;
        step->dv = std::make_unique<embedding::DelayVectors>(step->x, kLargest.samples, 5, kLast);
        step->search = embedding::fast::make_search(*step->dv);
        step->params = {200, kLast, step->dv->nvec() - 1, step->scalmx0};
        embedding::SearchState state{step->scalmx0, 0, 2};
        (void)step->search->find(step->params, kReference, state, *step->nb);
        const auto& k = linalg::fast_matrix_kernels();
        const auto cov = spectrum::fast::make_covariances();
        for (int m = kFirst; m <= kLast; ++m) {
            DimensionData& d = step->dims[static_cast<std::size_t>(m)];
            d.neighbours = step->nb->nn(m);
            cov->compute(*step->dv, *step->nb, m, kReference, 1, d.v, d.c);
            d.vinv = d.v;
            (void)k.invert(d.vinv, m);
            k.multiply(d.c, d.vinv, d.a, m);
            // A frame the map has turned once from the identity, as after a first step.
            Mat20 r;
            Mat20 b = d.a;
            (void)k.orthonormalise(b, d.frame, r, m);
            k.multiply(d.a, d.frame, d.product, m);
        }
        return step;
    }();
    return *s;
}

// ---- The kernels on the step's data ---------------------------------------------------

enum Kernel { kSearch, kCovariances, kInversion, kMapProduct, kFrameProduct, kOrthonormal, kKinds };
const std::array<const char*, kKinds> kNames{"neighbour search",  "covariances",
                                             "inversion of V",    "map product C V^-1",
                                             "frame product A Q", "orthonormalisation"};

double flops_of(Kernel kind, int m) {
    const int count = largest_step().dims[static_cast<std::size_t>(m)].neighbours;
    switch (kind) {
        case kSearch:
            return 0.0;
        case kCovariances:
            return covariance_flops(m, count);
        case kInversion:
            return inversion_flops(m);
        case kMapProduct:
        case kFrameProduct:
            return product_flops(m);
        case kOrthonormal:
            return orthonormalisation_flops(m);
        case kKinds:
            break;
    }
    return 0.0;
}

void BM_Kernel(benchmark::State& state, Kernel kind, int m) {
    Step& s = largest_step();
    const DimensionData& d = s.dims[static_cast<std::size_t>(m)];
    const auto& k = linalg::fast_matrix_kernels();
    const auto cov = spectrum::fast::make_covariances();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    Mat20 w, out, q, r;
    // The kernels read and change only the leading m columns of a matrix: only those are
    // copied into the working matrix before each call.
    const auto columns = static_cast<std::size_t>(m) * MMAX;
    for (auto _ : state) {
        switch (kind) {
            case kSearch: {
                embedding::SearchState st{s.scalmx0, 0, 2};
                nb->clear();
                benchmark::DoNotOptimize(s.search->find(s.params, kReference, st, *nb));
                break;
            }
            case kCovariances:
                cov->compute(*s.dv, *s.nb, m, kReference, 1, w, out);
                break;
            case kInversion:
                std::copy_n(d.v.a.begin(), columns, w.a.begin());
                benchmark::DoNotOptimize(k.invert(w, m));
                break;
            case kMapProduct:
                k.multiply(d.c, d.vinv, out, m);
                break;
            case kFrameProduct:
                k.multiply(d.a, d.frame, out, m);
                break;
            case kOrthonormal:
                std::copy_n(d.product.a.begin(), columns, w.a.begin());
                benchmark::DoNotOptimize(k.orthonormalise(w, q, r, m));
                break;
            case kKinds:
                break;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.counters["flop/s"] =
        benchmark::Counter(flops_of(kind, m), benchmark::Counter::kIsIterationInvariantRate);
}

// ---- The processor's limit ------------------------------------------------------------

// The clock, from a chain of dependent integer additions (one a cycle): cycles a second.
double measured_clock() {
    double best = 0.0;
    for (int rep = 0; rep < 5; ++rep) {
        std::uint64_t x = 0;
        std::uint64_t n = 20'000'000;
        const auto start = std::chrono::steady_clock::now();
#if defined(__x86_64__)
        asm volatile(
            "1:\n\t"
            "add $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\t"
            "add $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\t"
            "add $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\t"
            "add $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\tadd $1, %[x]\n\t"
            "dec %[n]\n\t"
            "jnz 1b\n\t"
            : [x] "+r"(x), [n] "+r"(n));
#else
        return 0.0;
#endif
        const double t =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, static_cast<double>(x) / t);
    }
    return best;
}

using v8 = double __attribute__((vector_size(64)));
using v4 = double __attribute__((vector_size(32)));
using v2 = double __attribute__((vector_size(16)));

// Additions and multiplications in independent chains of W-wide vectors, as many of each
// kind as the registers hold (both kinds of unit kept busy, each chain waiting only on
// itself): flops a second.
template <typename V, int kChains>
[[gnu::always_inline]] inline double add_mul_rate(double one) {
    constexpr int W = sizeof(V) / sizeof(double);
    constexpr long kRounds = 4'000'000;
    V step{}, factor{};
    for (int l = 0; l < W; ++l) {
        step[l] = one * 1e-9;
        factor[l] = one;
    }
    std::array<V, kChains> add, mul;
#pragma GCC unroll 16
    for (int c = 0; c < kChains; ++c) {
        add[static_cast<std::size_t>(c)] = step * (c + 1.0);
        mul[static_cast<std::size_t>(c)] = factor * (c + 1.0);
    }
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < kRounds; ++i) {
#pragma GCC unroll 16
        for (int c = 0; c < kChains; ++c) {
            add[static_cast<std::size_t>(c)] = add[static_cast<std::size_t>(c)] + step;
            mul[static_cast<std::size_t>(c)] = mul[static_cast<std::size_t>(c)] * factor;
        }
    }
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    V all{};
#pragma GCC unroll 16
    for (int c = 0; c < kChains; ++c)
        all = all + add[static_cast<std::size_t>(c)] + mul[static_cast<std::size_t>(c)];
    double sink = 0.0;
    for (int l = 0; l < W; ++l)
        sink += all[l];
    benchmark::DoNotOptimize(sink);
    return 2.0 * kChains * W * static_cast<double>(kRounds) / t;
}

#if defined(__x86_64__) && !defined(__clang__)
[[gnu::target("arch=x86-64-v4")]] double rate_v4(double one) {
    return add_mul_rate<v8, 12>(one);  // 24 of the 32 registers
}
[[gnu::target("avx2")]] double rate_avx2(double one) {
    return add_mul_rate<v4, 6>(one);  // 12 of the 16
}
#endif
double rate_sse2(double one) {
    return add_mul_rate<v2, 6>(one);
}

struct Peak {
    const char* unit;
    double rate;  // flops a second, the best of five
};

// The unit the kernels' clones take on this processor, and its rate.
Peak measured_peak() {
    volatile double one_source = 1.0;  // 1.0, unknown to the compiler
    const double one = one_source;
    Peak p{"SSE2 (2 doubles)", 0.0};
    double (*rate)(double) = rate_sse2;
#if defined(__x86_64__) && !defined(__clang__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("x86-64-v4")) {
        p.unit = "AVX-512, x86-64-v4 (8 doubles)";
        rate = rate_v4;
    } else if (__builtin_cpu_supports("avx2")) {
        p.unit = "AVX2 (4 doubles)";
        rate = rate_avx2;
    }
#endif
    for (int rep = 0; rep < 5; ++rep)
        p.rate = std::max(p.rate, rate(one));
    return p;
}

// ---- The table ------------------------------------------------------------------------

// Keeps each benchmark's time a call, in seconds, by name.
class Collect : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            seconds[r.run_name.function_name] =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string name_of(Kernel kind, int m) {
    return std::string(kNames[kind]) + (kind == kSearch ? "" : "/m=" + std::to_string(m));
}

void print_table(const Collect& c, const Peak& peak, double clock) {
    const auto secs = [&](Kernel kind, int m) {
        const auto it = c.seconds.find(name_of(kind, m));
        return it == c.seconds.end() ? 0.0 : it->second;
    };
    std::printf(
        "\nOne step of the largest run (Lorenz 20000 x100, ncube 200, delay 5, dimensions "
        "2 to 20, radius 2 %%, reference point %lld), fast kernels, one thread.\n",
        static_cast<long long>(kReference));
    std::printf(
        "Clock %.2f GHz (measured); vector unit %s; peak without fused multiply-add "
        "%.1f Gflop/s measured, %.1f flops a cycle.\n\n",
        clock * 1e-9, peak.unit, peak.rate * 1e-9, clock > 0 ? peak.rate / clock : 0.0);
    std::printf("%-20s %12s %10s %9s %10s %8s\n", "kernel", "flop/step", "us/step", "share",
                "Gflop/s", "of peak");
    double total_time = 0.0;
    std::array<double, kKinds> flops{}, time{};
    for (int kind = 0; kind < kKinds; ++kind) {
        const auto k = static_cast<Kernel>(kind);
        if (k == kSearch) {
            time[kind] = secs(k, 0);
        } else {
            for (int m = kFirst; m <= kLast; ++m) {
                flops[kind] += flops_of(k, m);
                time[kind] += secs(k, m);
            }
        }
        total_time += time[kind];
    }
    // The matrix kernels' sums: the covariances are integer work here, the search too.
    double matrix_flops = 0.0;
    double matrix_time = 0.0;
    for (int kind = 0; kind < kKinds; ++kind) {
        const double rate = time[kind] > 0 ? flops[kind] / time[kind] : 0.0;
        const double share = 100.0 * time[kind] / total_time;
        if (kind == kSearch) {
            std::printf("%-20s %12s %10.1f %8.0f%% %10s %8s\n", kNames[kind], "(integer)",
                        time[kind] * 1e6, share, "-", "-");
        } else if (kind == kCovariances) {
            std::printf("%-20s %12.0f %10.1f %8.0f%% %10.2f %8s\n", kNames[kind], flops[kind],
                        time[kind] * 1e6, share, rate * 1e-9, "(int)");
        } else {
            matrix_flops += flops[kind];
            matrix_time += time[kind];
            std::printf("%-20s %12.0f %10.1f %8.0f%% %10.2f %7.1f%%\n", kNames[kind], flops[kind],
                        time[kind] * 1e6, share, rate * 1e-9, 100.0 * rate / peak.rate);
        }
    }
    std::printf("%-20s %12.0f %10.1f %8.0f%% %10.2f %7.1f%%\n", "matrix kernels", matrix_flops,
                matrix_time * 1e6, 100.0 * matrix_time / total_time,
                matrix_flops / matrix_time * 1e-9, 100.0 * matrix_flops / matrix_time / peak.rate);
    std::printf("%-20s %12s %10.1f %8.0f%%\n", "all", "", total_time * 1e6, 100.0);
    std::printf("\nGflop/s by dimension:\n%4s", "m");
    for (int kind = kCovariances; kind < kKinds; ++kind)
        std::printf(" %12.12s", kNames[kind]);
    std::printf("\n");
    for (int m = kFirst; m <= kLast; ++m) {
        std::printf("%4d", m);
        for (int kind = kCovariances; kind < kKinds; ++kind) {
            const double t = secs(static_cast<Kernel>(kind), m);
            std::printf(" %12.2f", t > 0 ? flops_of(static_cast<Kernel>(kind), m) / t * 1e-9 : 0.0);
        }
        std::printf("\n");
    }
    std::printf(
        "\nFlops are the plain loops' operations; the rates divide them by the fast kernels' "
        "times. The fast covariances are exact 16-bit integer products when the displacements "
        "fit, as here: their rate is not a floating-point one.\n");
}

}  // namespace
}  // namespace tarnvex::bench

int main(int argc, char** argv) {
    using namespace tarnvex::bench;
    benchmark::Initialize(&argc, argv);
    (void)largest_step();
    // Medians of three, each of at least 0.05 s: the machine's other work shows less.
    benchmark::RegisterBenchmark(name_of(kSearch, 0).c_str(), BM_Kernel, kSearch, 0)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.05)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    for (int kind = kCovariances; kind < kKinds; ++kind) {
        for (int m = kFirst; m <= kLast; ++m) {
            benchmark::RegisterBenchmark(name_of(static_cast<Kernel>(kind), m).c_str(), BM_Kernel,
                                         static_cast<Kernel>(kind), m)
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(0.05)
                ->Repetitions(3)
                ->ReportAggregatesOnly(true);
        }
    }
    Collect collect;
    benchmark::RunSpecifiedBenchmarks(&collect);
    benchmark::Shutdown();
    const double clock = measured_clock();
    print_table(collect, measured_peak(), clock);
    return 0;
}
