// The delay suggestion: the mutual information and the autocorrelation of a series at
// increasing lags, and the first lag where either says the delayed copy is new information.

#include "tarnvex/delay.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tarnvex {

namespace {

void check_lag(std::span<const double> x, int max_lag) {
    if (max_lag < 0 || static_cast<std::size_t>(max_lag) >= x.size()) {
        throw std::invalid_argument("the largest lag must lie from 0 to one less than the " +
                                    std::to_string(x.size()) + " samples, not " +
                                    std::to_string(max_lag));
    }
}

}  // namespace

std::vector<double> mutual_information(std::span<const double> x, int max_lag, int bins) {
    check_lag(x, max_lag);
    if (bins < 1) throw std::invalid_argument("the histogram needs at least one bin");
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double xmin = *lo;
    const double width = (*hi - xmin) / bins;
    std::vector<int> bin(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const int b = width > 0.0 ? static_cast<int>((x[i] - xmin) / width) : 0;
        bin[i] = std::min(b, bins - 1);
    }
    std::vector<double> mi;
    const auto ub = static_cast<std::size_t>(bins);
    for (int lag = 0; lag <= max_lag; ++lag) {
        const std::size_t n = x.size() - static_cast<std::size_t>(lag);
        std::vector<double> joint(ub * ub, 0.0), pa(ub, 0.0), pb(ub, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            const auto a = static_cast<std::size_t>(bin[i]);
            const auto b = static_cast<std::size_t>(bin[i + static_cast<std::size_t>(lag)]);
            joint[a * ub + b] += 1.0;
            pa[a] += 1.0;
            pb[b] += 1.0;
        }
        double sum = 0.0;
        const double dn = static_cast<double>(n);
        for (std::size_t a = 0; a < ub; ++a) {
            for (std::size_t b = 0; b < ub; ++b) {
                const double pj = joint[a * ub + b] / dn;
                if (pj > 0.0) sum += pj * std::log2(pj / ((pa[a] / dn) * (pb[b] / dn)));
            }
        }
        mi.push_back(sum);
    }
    return mi;
}

std::vector<double> autocorrelation(std::span<const double> x, int max_lag) {
    check_lag(x, max_lag);
    double mean = 0.0;
    for (double v : x)
        mean += v;
    mean /= static_cast<double>(x.size());
    double var = 0.0;
    for (double v : x)
        var += (v - mean) * (v - mean);
    std::vector<double> r;
    if (!(var > 0.0)) return r;
    for (int lag = 0; lag <= max_lag; ++lag) {
        double c = 0.0;
        for (std::size_t i = 0; i + static_cast<std::size_t>(lag) < x.size(); ++i) {
            c += (x[i] - mean) * (x[i + static_cast<std::size_t>(lag)] - mean);
        }
        r.push_back(c / var);
    }
    return r;
}

DelaySuggestion suggest_delay(std::span<const double> x, int max_lag, int bins) {
    if (x.size() < 8) throw std::invalid_argument("too few samples to suggest a delay");
    if (max_lag < 1) throw std::invalid_argument("the largest lag must be at least 1");
    if (bins < 1) throw std::invalid_argument("the histogram needs at least one bin");
    max_lag = std::min<int>(max_lag, static_cast<int>(x.size() / 2));
    DelaySuggestion s;
    s.max_lag = max_lag;
    s.mutual_information = mutual_information(x, max_lag, bins);
    s.autocorrelation = autocorrelation(x, max_lag);
    const auto& mi = s.mutual_information;
    // The first lag whose estimate lies below the two before it and not above the two after
    // it: a histogram estimate wobbles, and a single step down is no minimum yet.
    constexpr int kWindow = 2;
    for (int lag = 1; lag + kWindow <= max_lag; ++lag) {
        bool minimum = true;
        for (int k = std::max(0, lag - kWindow); k < lag; ++k) {
            minimum =
                minimum && mi[static_cast<std::size_t>(lag)] < mi[static_cast<std::size_t>(k)];
        }
        for (int k = lag + 1; k <= lag + kWindow; ++k) {
            minimum =
                minimum && mi[static_cast<std::size_t>(lag)] <= mi[static_cast<std::size_t>(k)];
        }
        if (minimum) {
            s.delay = lag;
            s.rule = DelayRule::MutualInformationMinimum;
            s.method = "first minimum of the mutual information";
            return s;
        }
    }
    // A constant series has no autocorrelation and keeps the default.
    const auto& ac = s.autocorrelation;
    for (int lag = 1; lag <= max_lag && !ac.empty(); ++lag) {
        if (ac[static_cast<std::size_t>(lag)] <= 0.0) {
            s.delay = lag;
            s.rule = DelayRule::AutocorrelationZero;
            s.method =
                "first zero of the autocorrelation (the mutual information has no minimum up to "
                "lag " +
                std::to_string(max_lag) + ")";
            return s;
        }
    }
    s.delay = 1;
    s.rule = DelayRule::Default;
    s.method =
        "no minimum of the mutual information and no zero of the autocorrelation up to lag " +
        std::to_string(max_lag) + "; 1 by default";
    return s;
}

}  // namespace tarnvex
