// The time-reversal test: the exponents of the reversed series, negated, against the
// forward ones.

#include <algorithm>
#include <cmath>
#include <tuple>

#include "tarnvex/diagnostics.hpp"

namespace tarnvex {

namespace {

using namespace thresholds;

std::vector<double> sorted_finals(const Result& r) {
    const DimensionEstimates& d = r.dimensions.back();
    std::vector<double> v(d.final_exponents.begin(), d.final_exponents.end());
    std::sort(v.begin(), v.end(), std::greater<>());
    return v;
}

bool same(double f, double g) {
    return std::fabs(f - g) <=
           std::max(kCopyTolerance * std::max(std::fabs(f), std::fabs(g)), kCopyFloor);
}

}  // namespace

const char* reversal_name(Reversal r) {
    switch (r) {
        case Reversal::Confirmed:
            return "confirmed";
        case Reversal::LikelySpurious:
            return "likely spurious";
        case Reversal::Inconclusive:
            return "inconclusive";
    }
    return "inconclusive";
}

bool same_spectrum(const std::vector<double>& forward, const std::vector<double>& reversed) {
    if (forward.empty() || reversed.size() != forward.size()) return false;
    for (std::size_t i = 0; i < forward.size(); ++i)
        if (!same(forward[i], reversed[i])) return false;
    return true;
}

bool copies_forward(const std::vector<double>& forward, const std::vector<double>& reversed) {
    const std::size_t m = forward.size();
    if (m == 0 || reversed.size() != m) return false;
    bool symmetric = true;
    for (std::size_t i = 0; i < m; ++i) {
        if (!same(forward[i], reversed[i])) return false;
        symmetric = symmetric && same(forward[i], -forward[m - 1 - i]);
    }
    return !symmetric;
}

ReverseCheck pair_reversed(const std::vector<double>& forward, const std::vector<double>& reversed,
                           bool reversed_ok, const std::string& why_not) {
    ReverseCheck c;
    c.reversed_trusted = reversed_ok;
    c.forward = forward;
    c.reversed = reversed;
    const std::size_t m = forward.size();
    c.partner.assign(m, -1);
    // Every pair by its distance relative to the size of the two, nearest first.
    std::vector<std::tuple<double, std::size_t, std::size_t>> pairs;
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = 0; j < reversed.size(); ++j) {
            const double g = -reversed[j];
            const double scale = std::max({std::fabs(forward[i]), std::fabs(g), kReverseFloor});
            pairs.emplace_back(std::fabs(forward[i] - g) / scale, i, j);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> taken(reversed.size(), false);
    std::size_t partnered = 0;
    for (const auto& [distance, i, j] : pairs) {
        if (distance > kReverseTolerance) break;
        if (c.partner[i] >= 0 || taken[j]) continue;
        c.partner[i] = static_cast<int>(j);
        taken[j] = true;
        ++partnered;
    }
    // A reversed spectrum that copies the forward one says the process looks the same both
    // ways in time: its negation then pairs with the forward exponents only by chance.
    const bool copy = reversed_ok && same_spectrum(forward, reversed);
    // The largest exponent of the reversed run is the forward run's most contracting
    // direction negated, an exponent the method resolves in both: when it finds no partner
    // the reversed run does not mirror the forward one, and no pair means anything.
    const bool largest = !taken.empty() && taken[0];
    c.conclusive = reversed_ok && !copy && 2 * partnered >= m && m > 0 && largest;
    c.marks.assign(m, Reversal::Inconclusive);
    for (std::size_t i = 0; i < m; ++i) {
        if (c.partner[i] >= 0 && reversed_ok && !copy) {
            c.marks[i] = Reversal::Confirmed;
        } else if (c.conclusive) {
            c.marks[i] = Reversal::LikelySpurious;
        }
    }
    if (!reversed_ok) {
        c.reason = "the reversed run is not trustworthy (" + why_not + ")";
    } else if (copy) {
        c.reason =
            "the reversed spectrum copies the forward one: a time-symmetric process, no pair "
            "means anything";
    } else if (!c.conclusive) {
        c.reason = !largest ? "the largest reversed exponent finds no partner"
                            : "fewer than half of the exponents find a partner";
    } else {
        c.reason = std::to_string(partnered) + " of " + std::to_string(m) +
                   " exponents change sign under time reversal";
    }
    return c;
}

ReverseCheck reverse_check(const Result& forward, const Result& back) {
    const Diagnosis d = diagnose(back);
    std::string why;
    if (!d.counted_any) {
        why = "it counts no step";
    } else {
        for (const char* code : {"short", "coarse", "stalled"}) {
            if (d.has(code)) why += (why.empty() ? "" : ", ") + std::string(code);
        }
    }
    const std::vector<double> back_sorted =
        d.counted_any ? sorted_finals(back) : std::vector<double>();
    ReverseCheck c = pair_reversed(sorted_finals(forward), back_sorted, why.empty(), why);
    c.dimension = forward.parameters.dims.to;
    return c;
}

ReverseCheck reverse_check(std::span<const float> x, const Parameters& p, const Result& forward) {
    const auto used = x.first(static_cast<std::size_t>(forward.derived.npts));
    const std::vector<float> reversed(used.rbegin(), used.rend());
    return reverse_check(forward, run(reversed, p));
}

}  // namespace tarnvex
