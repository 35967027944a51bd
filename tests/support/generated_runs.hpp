#pragma once
// Runs drawn from a seed, toward the edges of the step loop: short series, a reference
// trajectory that ends inside or just after the warm-up, evolution times above one, many
// dimensions, neighbour counts near the sample count, flat stretches and coarse values that
// give steps up and send steps back after singular matrices. The same seed gives the same
// run on every platform: the draws use only a 64-bit generator and integer arithmetic.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex::testing {

// splitmix64: a small generator whose sequence is fixed by its definition.
class Draw {
  public:
    explicit Draw(std::uint64_t seed) : s_(seed * 0x9e3779b97f4a7c15ULL + 0x632be59bd9b4e019ULL) {}
    std::uint64_t next() {
        std::uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // An integer in lo..hi.
    int in(int lo, int hi) {
        return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // True with probability percent / 100.
    bool chance(int percent) { return in(1, 100) <= percent; }
    // A uniform value in (0, 1).
    double unit() { return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0; }
    double gauss() {
        return std::sqrt(-2.0 * std::log(unit())) * std::cos(6.283185307179586 * unit());
    }

  private:
    std::uint64_t s_;
};

struct GeneratedRun {
    std::uint64_t seed = 0;
    std::string kind;  // what the series is
    std::vector<float> x;
    Parameters p;
    std::string describe() const {
        std::string s = "seed " + std::to_string(seed) + " (" + kind + ", " +
                        std::to_string(x.size()) + " samples): npts " + std::to_string(p.npts) +
                        " ncube " + std::to_string(p.ncube) + " tmax " +
                        (p.tmax ? std::to_string(*p.tmax) : std::string("-")) + " delay " +
                        std::to_string(p.delay) + " dims " + std::to_string(p.dims.from) + ":" +
                        std::to_string(p.dims.to) + " start " + std::to_string(p.start) + " dt " +
                        std::to_string(p.dt) + " evolv " + std::to_string(p.evolv) + " radius " +
                        std::to_string(p.radius_pct) + "%";
        return s;
    }
};

namespace generated {

inline std::vector<float> henon(Draw& d, int n) {
    double a = 0.1 * d.unit(), b = 0.1 * d.unit();
    std::vector<float> x;
    for (int i = 0; i < n + 100; ++i) {
        const double an = 1.0 - 1.4 * a * a + b;
        b = 0.3 * a;
        a = an;
        if (i >= 100) x.push_back(static_cast<float>(std::trunc(a * 10000.0)));
    }
    return x;
}

inline std::vector<float> ar1(Draw& d, int n) {
    std::vector<float> x;
    double v = 0.0;
    for (int i = 0; i < n; ++i) {
        v = 0.9 * v + d.gauss();
        x.push_back(static_cast<float>(std::trunc(v * 1000.0)));
    }
    return x;
}

// White noise on a few integers: exact ties, singular covariances, steps given up.
inline std::vector<float> coarse(Draw& d, int n) {
    const int levels = d.in(2, 9);
    std::vector<float> x;
    for (int i = 0; i < n; ++i)
        x.push_back(static_cast<float>(d.in(0, levels)));
    return x;
}

inline std::vector<float> logistic(Draw& d, int n) {
    double v = 0.1 + 0.8 * d.unit();
    std::vector<float> x;
    for (int i = 0; i < n; ++i) {
        v = 4.0 * v * (1.0 - v);
        x.push_back(static_cast<float>(std::trunc(v * 100000.0)));
    }
    return x;
}

// A Henon series with a constant stretch: the steps there find no neighbours apart.
inline std::vector<float> flat_stretch(Draw& d, int n) {
    std::vector<float> x = henon(d, n);
    const int from = d.in(0, n / 2);
    const int len = d.in(n / 8, n / 3);
    for (int i = from; i < std::min(n, from + len); ++i)
        x[static_cast<std::size_t>(i)] = 1234.0f;
    return x;
}

}  // namespace generated

// The run of a seed. Its parameters always pass the checks.
inline GeneratedRun generated_run(std::uint64_t seed) {
    Draw d(seed);
    GeneratedRun g;
    g.seed = seed;
    const int n = d.chance(50) ? d.in(40, 250) : d.in(250, 700);
    switch (d.in(0, 4)) {
        case 0:
            g.kind = "henon";
            g.x = generated::henon(d, n);
            break;
        case 1:
            g.kind = "ar1";
            g.x = generated::ar1(d, n);
            break;
        case 2:
            g.kind = "coarse noise";
            g.x = generated::coarse(d, n);
            break;
        case 3:
            g.kind = "logistic";
            g.x = generated::logistic(d, n);
            break;
        default:
            g.kind = "henon with a flat stretch";
            g.x = generated::flat_stretch(d, n);
            break;
    }
    Parameters& p = g.p;
    p.npts = d.chance(20) ? d.in(n / 2, n) : n;
    p.dims.from = d.chance(30) ? 1 : d.in(1, 12);
    p.dims.to = std::min(20, p.dims.from + (d.chance(50) ? d.in(0, 2) : d.in(0, 11)));
    p.delay = d.in(0, 4);
    p.evolv = d.chance(40) ? 1 : d.in(2, 9);
    p.ncube = d.chance(30) ? std::min(200, d.in(std::max(1, p.npts - 40), p.npts))
                           : d.in(1, std::min(200, std::max(1, p.npts / 3)));
    if (d.chance(60)) p.tmax = d.chance(50) ? d.in(1, 60) : d.in(60, 400);
    const float dts[] = {1.0f, 0.5f, 0.01f, 3.0f};
    p.dt = dts[d.in(0, 3)];
    const float radii[] = {2.0f, 0.5f, 0.01f, 10.0f, 1.0f};
    p.radius_pct = radii[d.in(0, 4)];
    // The reference trajectory: from the start, or near the end of the embedded series so
    // that it ends inside the warm-up or just after it.
    const std::int64_t nvec =
        std::int64_t{p.npts} - std::int64_t{p.dims.to - 1} * p.delay;  // delay vectors built
    if (nvec < 2) {
        // Too short to embed this high: a lower range.
        p.dims.to = p.dims.from = 1;
        p.delay = std::min(p.delay, 1);
    }
    const std::int64_t last = std::int64_t{p.npts} - std::int64_t{p.dims.to - 1} * p.delay - 1;
    p.start = d.chance(35) ? static_cast<std::int32_t>(std::max<std::int64_t>(
                                 1, last - d.in(0, 40 + 25 * static_cast<int>(p.evolv))))
                           : 1;
    p.start = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(p.start, 1, std::max<std::int64_t>(last, 1)));
    p.threads = 1;
    return g;
}

}  // namespace tarnvex::testing
