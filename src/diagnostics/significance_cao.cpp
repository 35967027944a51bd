// An embedding dimension from Cao's E1 and E2 statistics.

#include <algorithm>
#include <cmath>
#include <limits>

#include "tarnvex/significance.hpp"

namespace tarnvex {

namespace {

using namespace thresholds;

// E(d) and E*(d) of Cao's method for one dimension d: over the points i that have a
// coordinate d + 1, the mean ratio of the distances (maximum norm) of i and its nearest
// neighbour in d + 1 and in d dimensions, and the mean distance of their (d + 1)-th
// coordinates. A neighbour at distance zero in d dimensions is passed over.
struct Means {
    double e = 0.0;
    double e_star = 0.0;
    bool valid = false;
};

Means means(const std::vector<double>& x, std::size_t n, int delay, int d) {
    const auto tau = static_cast<std::size_t>(delay);
    const auto ud = static_cast<std::size_t>(d);
    if (n <= ud * tau + 1) return {};
    const std::size_t points = n - ud * tau;
    double sum = 0.0, sum_star = 0.0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < points; ++i) {
        double best = std::numeric_limits<double>::infinity();
        std::size_t nearest = points;
        for (std::size_t j = 0; j < points; ++j) {
            if (j == i) continue;
            double dist = 0.0;
            for (std::size_t k = 0; k < ud && dist < best; ++k)
                dist = std::max(dist, std::fabs(x[i + k * tau] - x[j + k * tau]));
            if (dist > 0.0 && dist < best) {
                best = dist;
                nearest = j;
            }
        }
        if (nearest == points) continue;
        const double next = std::fabs(x[i + ud * tau] - x[nearest + ud * tau]);
        sum += std::max(best, next) / best;
        sum_star += next;
        ++used;
    }
    if (used == 0) return {};
    return {sum / static_cast<double>(used), sum_star / static_cast<double>(used), true};
}

}  // namespace

CaoTable cao_dimension(const std::vector<float>& x, int delay, int max_dimension,
                       std::size_t samples) {
    CaoTable t;
    t.delay = delay;
    const std::size_t n = std::min(samples, x.size());
    const std::vector<double> v(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    std::vector<Means> m;
    for (int d = 1; d <= max_dimension; ++d) {
        m.push_back(means(v, n, delay, d));
        if (!m.back().valid) break;
    }
    for (std::size_t d = 0; d + 1 < m.size() && m[d + 1].valid; ++d) {
        t.e1.push_back(m[d + 1].e / m[d].e);
        t.e2.push_back(m[d].e_star > 0.0 ? m[d + 1].e_star / m[d].e_star : 1.0);
    }
    const bool stochastic = !t.e2.empty() && std::all_of(t.e2.begin(), t.e2.end(), [](double e) {
        return std::fabs(e - 1.0) <= kCaoStochastic;
    });
    // The first dimension from which E1 stays saturated.
    for (std::size_t d = 0; d < t.e1.size() && !stochastic; ++d) {
        const bool stays = std::all_of(t.e1.begin() + static_cast<std::ptrdiff_t>(d), t.e1.end(),
                                       [](double e) { return e >= kCaoSaturation; });
        if (stays) {
            t.dimension = static_cast<int>(d) + 1;
            break;
        }
    }
    if (stochastic) {
        t.reason = "E2 stays near 1 at every dimension: the series looks stochastic";
    } else if (!t.dimension) {
        t.reason = "no saturation of E1 up to dimension " + std::to_string(t.e1.size());
    } else {
        t.reason = "E1 saturates from dimension " + std::to_string(*t.dimension);
    }
    return t;
}

}  // namespace tarnvex
