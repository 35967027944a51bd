#pragma once
// Series of noise and of unscaled data for the checks, from a generator of our own so that
// every machine makes the same ones.

#include <cmath>
#include <cstdint>
#include <vector>

namespace tarnvex::testing {

// Uniform numbers in (0, 1) from a 64-bit linear congruential generator.
class Uniform {
  public:
    explicit Uniform(std::uint64_t seed) : s_(seed) {}
    double operator()() {
        s_ = s_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return (static_cast<double>(s_ >> 11) + 0.5) / 9007199254740992.0;
    }
    // A standard normal number (Box-Muller).
    double normal() {
        const double u = (*this)(), v = (*this)();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

  private:
    std::uint64_t s_;
};

// Samples truncated to integers as the program reads them, as floats.
inline std::vector<float> truncated(const std::vector<double>& v) {
    std::vector<float> x;
    for (const double d : v)
        x.push_back(static_cast<float>(std::trunc(d)));
    return x;
}

// x(t) = phi x(t - 1) + e(t), e standard normal, times `scale`.
inline std::vector<float> ar1(int n, double phi, double scale, std::uint64_t seed = 1) {
    Uniform u(seed);
    std::vector<double> v;
    double x = 0.0;
    for (int i = 0; i < n + 100; ++i) {
        x = phi * x + u.normal();
        if (i >= 100) v.push_back(x * scale);
    }
    return truncated(v);
}

// Independent uniform values in (0, scale).
inline std::vector<float> white_noise(int n, double scale, std::uint64_t seed = 2) {
    Uniform u(seed);
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(u() * scale);
    return truncated(v);
}

// The logistic map at r = 4 times 2: reals in [0, 2], not scaled to integers.
inline std::vector<float> logistic_unscaled(int n) {
    std::vector<float> x;
    double v = 0.3;
    for (int i = 0; i < n; ++i) {
        v = 4.0 * v * (1.0 - v);
        x.push_back(static_cast<float>(2.0 * v));
    }
    return x;
}

}  // namespace tarnvex::testing
