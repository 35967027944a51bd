#pragma once
// Is the spectrum evidence of chaos, and which of its exponents are real?
// - a surrogate-data test: iterative amplitude-adjusted Fourier-transform (IAAFT)
//   surrogates, the same estimate on each, and a two-sided rank test of lambda1 of every
//   dimension, with the side on which the data lies;
// - the time-reversal test is declared with the checks (diagnostics.hpp);
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

// Where lambda1 of the data lies among its surrogates'.
enum class Direction : std::uint8_t {
    Below,  // smaller than the surrogates': what deterministic chaos gives
    Above,  // larger: rejects the linear null, but is no evidence of chaos
    Within,
};
const char* direction_name(Direction d);  // "below", "above", "within"

// The rank test of one dimension.
struct SurrogateRank {
    int dimension = 0;
    double data_lambda1 = 0.0;              // bits per unit time
    std::vector<double> surrogate_lambda1;  // in the order of their index; NaN: no step
    int below = 0;                          // surrogates whose lambda1 is smaller than the data's
    int above = 0;                          // larger
    int ties = 0;                           // equal, or whose run counted no step
    double p_value = 1.0;                   // two-sided rank test
    bool rejected = false;                  // not explained by a linear stochastic process
    Direction direction = Direction::Within;
    std::string verdict;
};

// The two-sided rank test of the data's lambda1 among `surrogates` values (NaN: a run that
// counted no step). A surrogate that ties the data or counted no step counts against
// rejection: p = 2 (min(below, above) + ties + 1) / (N + 1), at most 1.
SurrogateRank rank_lambda1(double data, const std::vector<double>& surrogates);

struct SurrogateTest {
    int count = 0;                          // surrogates
    std::vector<SurrogateRank> dimensions;  // every dimension of the run, lowest first
    // One sentence: the dimensions whose lambda1 lies below the surrogates (consistent
    // with deterministic dynamics), else those above, else that nothing was rejected.
    std::string verdict;
    const SurrogateRank* dimension(int m) const;
};

// The surrogate test of lambda1 of every dimension with `count` surrogates, `jobs` runs at
// a time; the same answers whatever `jobs` is. Throws std::invalid_argument when the data's
// run counts no step or the series is too short, ParameterError for refused parameters.
SurrogateTest surrogate_test(const std::vector<float>& x, const Parameters& p, int count,
                             std::uint64_t seed, int jobs);

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
