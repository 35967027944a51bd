#pragma once
// Is the spectrum evidence of chaos, and which of its exponents are real?
// - a surrogate-data test: iterative amplitude-adjusted Fourier-transform (IAAFT)
//   surrogates, the same estimate on each, and a two-sided rank test of lambda1;
// - a time-reversal test: the exponents of the reversed series, negated, against the
//   forward ones; true exponents change sign under time reversal, spurious ones do not;
// - an embedding dimension from Cao's E1 statistic.
// Methods, references and thresholds are in the README; the thresholds are below.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tarnvex/diagnostics.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

namespace thresholds {
// The rank test rejects at this level; with fewer than kMinSurrogates surrogates it cannot
// (the data outside all N give p = 2 / (N + 1)).
inline constexpr double kSignificance = 0.05;
inline constexpr int kMinSurrogates = 39;
// IAAFT iterations stop when the ranks no longer change, or after this many.
inline constexpr int kMaxIaaftIterations = 200;
// Fewer samples than this make no surrogate test.
inline constexpr std::size_t kMinSurrogateSamples = 64;
// A forward exponent f and a negated reversed one g are partners when |f - g| is at most
// kReverseTolerance * max(|f|, |g|, kReverseFloor) (bits per unit time).
inline constexpr double kReverseTolerance = 0.25;
inline constexpr double kReverseFloor = 0.1;
// Cao's E1 is saturated from the dimension where it reaches this and stays there.
inline constexpr double kCaoSaturation = 0.9;
// A series whose E2 stays within this of 1 at every dimension looks stochastic.
inline constexpr double kCaoStochastic = 0.1;
}  // namespace thresholds

// One IAAFT surrogate: a permutation of the samples whose power spectrum approximates the
// data's, from its own random start (seed and index give it; the same pair always gives the
// same surrogate, whatever runs beside it). Throws std::invalid_argument for fewer than
// kMinSurrogateSamples samples.
std::vector<float> iaaft_surrogate(const std::vector<float>& x, std::uint64_t seed,
                                   std::uint64_t index);

struct SurrogateTest {
    int count = 0;                          // surrogates
    int dimension = 0;                      // whose lambda1 is compared: the run's highest
    double data_lambda1 = 0.0;              // bits per unit time
    std::vector<double> surrogate_lambda1;  // in the order of their index
    int below = 0;                          // surrogates whose lambda1 is smaller than the data's
    int above = 0;                          // larger
    double p_value = 1.0;                   // two-sided rank test
    bool rejected = false;                  // not explained by a linear stochastic process
    std::string verdict;
};

// The surrogate test of lambda1 with `count` surrogates, `jobs` runs at a time; the same
// answers whatever `jobs` is. Throws std::invalid_argument when the data's run counts no
// step or the series is too short, ParameterError for refused parameters.
SurrogateTest surrogate_test(const std::vector<float>& x, const Parameters& p, int count,
                             std::uint64_t seed, int jobs);

enum class Reversal : std::uint8_t { Confirmed, LikelySpurious, Inconclusive };
const char* reversal_name(Reversal r);

struct ReverseCheck {
    int dimension = 0;             // the run's highest
    std::vector<double> forward;   // final exponents, sorted from the largest
    std::vector<double> reversed;  // of the reversed series, sorted from the largest
    std::vector<int> partner;      // per forward exponent: the index of its partner among
                                   // the negated reversed ones, or -1
    std::vector<Reversal> marks;   // per forward exponent
    bool conclusive = false;
    std::string reason;  // why it is inconclusive, or what it found
};

// Pairs the forward exponents with the negated reversed ones (nearest first, relative to
// their size) and marks each: a forward exponent with a partner is confirmed, one without is
// likely spurious. The test is inconclusive (no exponent marked spurious) when `reversed_ok`
// is false, when fewer than half of the forward exponents find a partner, or when the
// largest reversed exponent (the most contracting forward direction, negated) finds none.
ReverseCheck pair_reversed(const std::vector<double>& forward, const std::vector<double>& reversed,
                           bool reversed_ok, const std::string& why_not);

// Runs the time-reversed series with the same parameters and compares the highest
// dimension of both runs. The reversed run is not trustworthy when it counts no step or
// its verdict has `short`, `coarse` or `stalled`.
ReverseCheck reverse_check(const std::vector<float>& x, const Parameters& p, const Result& forward);

struct CaoTable {
    int delay = 1;
    std::vector<double> e1;  // e1[d - 1] for d = 1..max_dimension - 1
    std::vector<double> e2;
    std::optional<int> dimension;  // the suggestion; none when E1 does not saturate
    std::string reason;
};

// Cao's E1 and E2 (maximum norm) over the first `samples` values for d = 1..max_dimension-1.
// Integer data has exact ties: a neighbour at distance zero in dimension d says nothing of
// the ratio and is passed over for the nearest one at a positive distance.
CaoTable cao_dimension(const std::vector<float>& x, int delay, int max_dimension,
                       std::size_t samples);

}  // namespace tarnvex
