// The test systems: their table, the integration of the flows and the series text.

#include "tarnvex/systems.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "tarnvex/scaling.hpp"

namespace tarnvex {

namespace {

using Vec3 = std::array<double, 3>;
using Field = std::function<Vec3(const Vec3&)>;

Vec3 axpy(const Vec3& x, double a, const Vec3& k) {
    return {x[0] + a * k[0], x[1] + a * k[1], x[2] + a * k[2]};
}

Vec3 rk4(const Field& f, const Vec3& x, double h) {
    const Vec3 k1 = f(x);
    const Vec3 k2 = f(axpy(x, h / 2, k1));
    const Vec3 k3 = f(axpy(x, h / 2, k2));
    const Vec3 k4 = f(axpy(x, h, k3));
    Vec3 out;
    for (std::size_t i = 0; i < 3; ++i)
        out[i] = x[i] + h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
    return out;
}

Vec3 lorenz(const Vec3& v) {
    return {10.0 * (v[1] - v[0]), v[0] * (28.0 - v[2]) - v[1], v[0] * v[1] - 8.0 / 3.0 * v[2]};
}

Vec3 rossler(const Vec3& v) {
    return {-v[1] - v[2], v[0] + 0.2 * v[1], 0.2 + v[2] * (v[0] - 5.7)};
}

}  // namespace

const std::vector<SystemInfo>& all_systems() {
    static const std::vector<SystemInfo> systems{
        {"henon",
         "Henon map, a = 1.4, b = 0.3, x from (0.1, 0.1)",
         false,
         3000,
         1000,
         1.0,
         10000.0,
         {0.41922, -1.62319},
         "J. C. Sprott, Chaos and Time-Series Analysis, Oxford University Press 2003"},
        {"logistic",
         "logistic map, r = 4, x from 0.3",
         false,
         3000,
         1000,
         1.0,
         100000.0,
         {0.69314718055994531},
         "exact: ln 2 per iteration (the map is conjugate to the tent map)"},
        {"lorenz",
         "Lorenz flow, sigma = 10, rho = 28, beta = 8/3, x from (1, 1, 1)",
         true,
         5000,
         1000,
         0.01,
         100.0,
         {0.9056, 0.0, -14.5723},
         "J. C. Sprott, Chaos and Time-Series Analysis, Oxford University Press 2003"},
        {"rossler",
         "Rossler flow, a = 0.2, b = 0.2, c = 5.7, x from (1, 1, 1)",
         true,
         5000,
         2000,
         0.05,
         1000.0,
         {0.0714, 0.0, -5.3943},
         "J. C. Sprott, Chaos and Time-Series Analysis, Oxford University Press 2003"},
    };
    return systems;
}

const SystemInfo* find_system(std::string_view name) {
    for (const auto& s : all_systems()) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

std::vector<double> generate(const SystemInfo& s, long samples, long transient, double step) {
    if (samples < 0 || transient < 0) {
        throw std::invalid_argument("the samples and the transient must not be negative");
    }
    if (s.flow && !(step > 0.0)) throw std::invalid_argument("the step must be positive");
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(samples));
    if (s.name == "henon") {
        double x = 0.1, y = 0.1;
        for (long i = 0; i < transient + samples; ++i) {
            const double xn = 1.0 - 1.4 * x * x + y;
            y = 0.3 * x;
            x = xn;
            if (i >= transient) out.push_back(x);
        }
    } else if (s.name == "logistic") {
        double x = 0.3;
        for (long i = 0; i < transient + samples; ++i) {
            x = 4.0 * x * (1.0 - x);
            if (i >= transient) out.push_back(x);
        }
    } else {
        const Field f = s.name == "lorenz" ? Field(lorenz) : Field(rossler);
        Vec3 v{1.0, 1.0, 1.0};
        for (long i = 0; i < transient + samples; ++i) {
            v = rk4(f, v, step);
            if (i >= transient) out.push_back(v[0]);
        }
    }
    return out;
}

std::string series_text(std::span<const double> values, double scale) {
    std::string out;
    out.reserve(values.size() * 8);
    for (const std::int32_t y : scale_and_truncate(values, scale)) {
        out += std::to_string(y);
        out += '\n';
    }
    return out;
}

std::string system_series(std::string_view name, long samples) {
    const SystemInfo* s = find_system(name);
    if (s == nullptr) throw std::invalid_argument("unknown system '" + std::string(name) + "'");
    return series_text(generate(*s, samples, s->transient, s->step), s->scale);
}

}  // namespace tarnvex
