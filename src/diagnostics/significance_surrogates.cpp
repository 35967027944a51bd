// IAAFT surrogates and the rank test of lambda1 against them.

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tarnvex/diagnostics.hpp"
#include "tarnvex/significance.hpp"
#include "worker_pool.hpp"

namespace tarnvex {

namespace {

using namespace thresholds;

// FFTW's planner is one per process and not safe to call from several threads at once:
// every plan is made and destroyed under this lock (executing a plan needs none).
std::mutex& planner_lock() {
    static std::mutex m;
    return m;
}

// A forward and an inverse real transform of one length, with their arrays.
class Transforms {
  public:
    explicit Transforms(std::size_t n) : n_(n) {
        const std::lock_guard<std::mutex> g(planner_lock());
        real_ = fftw_alloc_real(n);
        spectrum_ = fftw_alloc_complex(n / 2 + 1);
        const int len = static_cast<int>(n);
        forward_ = fftw_plan_dft_r2c_1d(len, real_, spectrum_, FFTW_ESTIMATE);
        inverse_ = fftw_plan_dft_c2r_1d(len, spectrum_, real_, FFTW_ESTIMATE);
    }
    ~Transforms() {
        const std::lock_guard<std::mutex> g(planner_lock());
        fftw_destroy_plan(forward_);
        fftw_destroy_plan(inverse_);
        fftw_free(real_);
        fftw_free(spectrum_);
    }
    Transforms(const Transforms&) = delete;
    Transforms& operator=(const Transforms&) = delete;

    double* real() { return real_; }
    fftw_complex* spectrum() { return spectrum_; }
    std::size_t bins() const { return n_ / 2 + 1; }
    void forward() { fftw_execute(forward_); }
    // The inverse of forward(), scaled by 1 / n.
    void inverse() {
        fftw_execute(inverse_);
        const double scale = 1.0 / static_cast<double>(n_);
        for (std::size_t i = 0; i < n_; ++i)
            real_[i] *= scale;
    }

  private:
    std::size_t n_;
    double* real_ = nullptr;
    fftw_complex* spectrum_ = nullptr;
    fftw_plan forward_ = nullptr;
    fftw_plan inverse_ = nullptr;
};

// A 64-bit generator (splitmix64): the same numbers on every machine.
class Random {
  public:
    explicit Random(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t s_;
};

// Scratch of ranks_of: keys and indices, twice.
struct RankScratch {
    explicit RankScratch(std::size_t n) : key(n), key_to(n), index(n), index_to(n) {}
    std::vector<std::uint64_t> key, key_to;
    std::vector<std::size_t> index, index_to;
};

// The order of the values: order[k] is the index of the k-th smallest (ties by index).
// A stable radix sort of the values' bits, mapped so that their order as unsigned integers
// is their order as numbers (the values are finite; -0 is taken as 0, which it equals), a
// byte at a time from the lowest: the same order as a stable sort of the indices by value,
// in a time that grows only linearly with a long series.
void ranks_of(const double* v, std::vector<std::size_t>& order, RankScratch& r) {
    const std::size_t n = order.size();
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    std::uint64_t all_ones = ~std::uint64_t{0};
    std::uint64_t any_one = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = v[i] == 0.0 ? 0.0 : v[i];
        const auto bits = std::bit_cast<std::uint64_t>(x);
        r.key[i] = (bits & kSign) != 0 ? ~bits : bits | kSign;
        r.index[i] = i;
        all_ones &= r.key[i];
        any_one |= r.key[i];
    }
    for (int shift = 0; shift < 64; shift += 8) {
        // A byte that every key has alike orders nothing.
        if (((all_ones ^ any_one) >> shift & 0xff) == 0) continue;
        std::array<std::size_t, 257> start{};
        for (std::size_t i = 0; i < n; ++i)
            ++start[(r.key[i] >> shift & 0xff) + 1];
        for (std::size_t d = 1; d < start.size(); ++d)
            start[d] += start[d - 1];
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t to = start[r.key[i] >> shift & 0xff]++;
            r.key_to[to] = r.key[i];
            r.index_to[to] = r.index[i];
        }
        std::swap(r.key, r.key_to);
        std::swap(r.index, r.index_to);
    }
    std::copy(r.index.begin(), r.index.end(), order.begin());
}

std::string p_text(double p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", p);
    return buf;
}

}  // namespace

std::vector<float> iaaft_surrogate(const std::vector<float>& x, std::uint64_t seed,
                                   std::uint64_t index) {
    const std::size_t n = x.size();
    if (n < kMinSurrogateSamples) {
        throw std::invalid_argument("a surrogate needs at least " +
                                    std::to_string(kMinSurrogateSamples) + " samples");
    }
    std::vector<double> sorted(x.begin(), x.end());
    std::sort(sorted.begin(), sorted.end());
    Transforms t(n);
    // The amplitudes of the data's spectrum.
    std::copy(x.begin(), x.end(), t.real());
    t.forward();
    std::vector<double> amplitude(t.bins());
    for (std::size_t k = 0; k < t.bins(); ++k)
        amplitude[k] = std::hypot(t.spectrum()[k][0], t.spectrum()[k][1]);
    // A random permutation of the data to start from.
    std::vector<double> s(x.begin(), x.end());
    Random random(seed * 0x2545f4914f6cdd1dULL + index + 1);
    for (std::size_t i = n - 1; i > 0; --i)
        std::swap(s[i], s[random.next() % (i + 1)]);
    std::vector<std::size_t> order(n), previous(n);
    RankScratch scratch(n);
    for (int iteration = 0; iteration < kMaxIaaftIterations; ++iteration) {
        // The data's amplitudes with the surrogate's phases ...
        std::copy(s.begin(), s.end(), t.real());
        t.forward();
        for (std::size_t k = 0; k < t.bins(); ++k) {
            fftw_complex& c = t.spectrum()[k];
            const double m = std::hypot(c[0], c[1]);
            if (m > 0.0) {
                c[0] *= amplitude[k] / m;
                c[1] *= amplitude[k] / m;
            } else {
                c[0] = amplitude[k];
                c[1] = 0.0;
            }
        }
        t.inverse();
        // ... then the data's values in the order of the result.
        ranks_of(t.real(), order, scratch);
        for (std::size_t k = 0; k < n; ++k)
            s[order[k]] = sorted[k];
        if (iteration > 0 && order == previous) break;
        std::swap(order, previous);
    }
    return std::vector<float>(s.begin(), s.end());
}

const char* direction_name(Direction d) {
    switch (d) {
        case Direction::Below:
            return "below";
        case Direction::Above:
            return "above";
        case Direction::Within:
            return "within";
    }
    return "within";
}

SurrogateRank rank_lambda1(double data, const std::vector<double>& surrogates) {
    SurrogateRank t;
    t.data_lambda1 = data;
    t.surrogate_lambda1 = surrogates;
    const int count = static_cast<int>(surrogates.size());
    // A surrogate whose run counts no step (NaN), or ties the data, counts against rejection.
    for (const double v : surrogates) {
        if (v < data) {
            ++t.below;
        } else if (v > data) {
            ++t.above;
        } else {
            ++t.ties;
        }
    }
    t.p_value = std::min(1.0, 2.0 * (std::min(t.below, t.above) + t.ties + 1) / (count + 1.0));
    t.rejected = count >= kMinSurrogates && t.p_value <= kSignificance;
    if (t.rejected) t.direction = t.above > t.below ? Direction::Below : Direction::Above;
    const std::string where =
        t.below == 0 && t.above == count   ? "below all " + std::to_string(count) + " surrogates"
        : t.above == 0 && t.below == count ? "above all " + std::to_string(count) + " surrogates"
        : t.direction == Direction::Below  ? "below its surrogates"
                                           : "above its surrogates";
    if (t.rejected && t.direction == Direction::Below) {
        t.verdict = "lambda1 lies " + where + " (p = " + p_text(t.p_value) +
                    "): consistent with deterministic dynamics, which a linear stochastic "
                    "process does not explain";
    } else if (t.rejected) {
        t.verdict = "lambda1 lies " + where + " (p = " + p_text(t.p_value) +
                    "): not a linear stochastic process, but no evidence of low-dimensional "
                    "chaos either (non-stationarity or nonlinear noise do this)";
    } else if (count < kMinSurrogates) {
        t.verdict = "too few surrogates to reject (" + std::to_string(count) + "; at least " +
                    std::to_string(kMinSurrogates) + " for a test at 5 %)";
    } else {
        t.verdict = "not distinguishable from surrogates (p = " + p_text(t.p_value) + ")";
    }
    return t;
}

const SurrogateRank* SurrogateTest::dimension(int m) const {
    for (const auto& d : dimensions)
        if (d.dimension == m) return &d;
    return nullptr;
}

SurrogateTest surrogate_test(const std::vector<float>& x, const Parameters& p, int count,
                             std::uint64_t seed, int jobs) {
    if (count < 1) throw std::invalid_argument("the test needs at least one surrogate");
    const Derived d = derive(x, p);
    const std::vector<float> used(x.begin(), x.begin() + std::max(d.npts, 0));
    if (used.size() < kMinSurrogateSamples) {
        throw std::invalid_argument(
            "the series is too short for a surrogate test: " + std::to_string(used.size()) +
            " samples, at least " + std::to_string(kMinSurrogateSamples) + " needed");
    }
    const Result data = run(used, p);
    if (data.counted_steps == 0) {
        throw std::invalid_argument(
            "the run of the data counts no step: there is nothing to compare");
    }
    const std::size_t dims = data.dimensions.size();
    // lambda1[i * dims + k]: surrogate i, dimension k of the run; NaN when it counted no step.
    std::vector<double> lambda1(static_cast<std::size_t>(count) * dims, std::nan(""));
    for_each_index(static_cast<std::size_t>(count), jobs, [&](std::size_t i) {
        const Result r = run(iaaft_surrogate(used, seed, i), p);
        if (r.counted_steps == 0) return;
        for (std::size_t k = 0; k < dims; ++k)
            lambda1[i * dims + k] = lambda1_of(r.dimensions[k]);
    });

    SurrogateTest t;
    t.count = count;
    std::vector<int> below, above;
    for (std::size_t k = 0; k < dims; ++k) {
        std::vector<double> s(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = lambda1[i * dims + k];
        SurrogateRank rank = rank_lambda1(lambda1_of(data.dimensions[k]), s);
        rank.dimension = data.dimensions[k].dimension;
        if (rank.rejected)
            (rank.direction == Direction::Below ? below : above).push_back(rank.dimension);
        t.dimensions.push_back(std::move(rank));
    }
    const auto list = [](const std::vector<int>& v) {
        std::string s;
        for (std::size_t i = 0; i < v.size(); ++i)
            s += (i == 0 ? "" : ", ") + std::to_string(v[i]);
        return s;
    };
    if (!below.empty()) {
        t.verdict = "lambda1 of dimension " + list(below) +
                    " lies below its surrogates: consistent with deterministic dynamics";
        if (!above.empty()) t.verdict += "; dimension " + list(above) + " lies above them";
    } else if (!above.empty()) {
        t.verdict = "lambda1 of dimension " + list(above) +
                    " lies above its surrogates: the linear null is rejected, but that is no "
                    "evidence of deterministic chaos";
    } else if (count < kMinSurrogates) {
        t.verdict = t.dimensions.back().verdict;
    } else {
        t.verdict = "lambda1 is not distinguishable from surrogates at any dimension";
    }
    return t;
}

}  // namespace tarnvex
