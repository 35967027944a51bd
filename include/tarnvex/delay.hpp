#pragma once
// An embedding delay for a scalar series: the first minimum of the mutual information of
// the series and itself delayed, or, where the information has none, the first zero of the
// autocorrelation. Both curves come with the suggestion, to be looked at.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarnvex {

// The lags looked at and the histogram's bins when nothing else is asked for.
inline constexpr int kDelayMaxLag = 200;
inline constexpr int kDelayBins = 16;

// The histogram estimate of the mutual information, in bits, of x and x delayed by 0 to
// max_lag samples: `bins` bins of equal width over the range of x, the pairs of the
// overlapping samples at each lag. Throws std::invalid_argument unless
// 0 <= max_lag < x.size() and bins >= 1.
std::vector<double> mutual_information(std::span<const double> x, int max_lag, int bins);

// The autocorrelation of x at lags 0 to max_lag: the sum of the products of the deviations
// from the mean over the overlapping samples, over the sum of the squared deviations of all
// samples. Empty for a constant series, which has none. Throws std::invalid_argument unless
// 0 <= max_lag < x.size().
std::vector<double> autocorrelation(std::span<const double> x, int max_lag);

// How the delay was chosen.
enum class DelayRule : std::uint8_t {
    MutualInformationMinimum,  // the first minimum of the mutual information
    AutocorrelationZero,       // the first lag whose autocorrelation is not positive
    Default,                   // neither up to the largest lag: 1
};

struct DelaySuggestion {
    int delay = 1;
    DelayRule rule = DelayRule::Default;
    std::string method;                      // the rule in words, with the lags looked at
    int max_lag = 0;                         // the largest lag looked at
    std::vector<double> mutual_information;  // bits, lags 0 to max_lag
    std::vector<double> autocorrelation;     // lags 0 to max_lag; empty for a constant series
};

// The delay for x, looking at lags up to max_lag (at most half the samples). A minimum of the
// mutual information is a lag whose estimate lies below the two before it and not above the
// two after it. Throws std::invalid_argument for fewer than 8 samples, max_lag < 1 or
// bins < 1.
DelaySuggestion suggest_delay(std::span<const double> x, int max_lag = kDelayMaxLag,
                              int bins = kDelayBins);

}  // namespace tarnvex
