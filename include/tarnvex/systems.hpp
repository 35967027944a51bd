#pragma once
// Dynamical systems with known Lyapunov exponents, for test series: the Henon and logistic
// maps and the Lorenz and Rossler flows, their first observable (x) and the series text
// tarnvex-kit gen writes of it.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex {

struct SystemInfo {
    std::string_view name;
    std::string_view description;
    bool flow;                 // a flow sampled every `step` units of time, or a map
    long samples;              // default number of samples
    long transient;            // default iterations or steps dropped first
    double step;               // default integration and sampling step (flows)
    double scale;              // default factor before truncation to integers
    std::vector<double> nats;  // known exponents, natural log per unit time
    std::string_view source;   // where the known values come from
};

// The systems there are, or nullptr for a name that is none of them.
const SystemInfo* find_system(std::string_view name);
const std::vector<SystemInfo>& all_systems();

// The first observable (x) of `samples` points after `transient` ones; flows are
// integrated with the classical fourth-order Runge-Kutta scheme, one step per sample.
// Throws std::invalid_argument for a negative count, or a flow's step that is not positive.
std::vector<double> generate(const SystemInfo& s, long samples, long transient, double step);

// The values multiplied by `scale` and truncated toward zero (scale_and_truncate), one
// integer a line; ScalingError when one leaves the 32-bit range.
std::string series_text(std::span<const double> values, double scale);

// A series of `samples` values of the named system with its default transient, step and
// scale, as `tarnvex-kit gen NAME -n SAMPLES` writes it. Throws std::invalid_argument for a
// name that is no system.
std::string system_series(std::string_view name, long samples);

}  // namespace tarnvex
