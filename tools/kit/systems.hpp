#pragma once
// Dynamical systems with known Lyapunov exponents, for test series.

#include <string>
#include <string_view>
#include <vector>

namespace tarnvex::kit {

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

// The systems `gen` knows, or nullptr.
const SystemInfo* find_system(std::string_view name);
const std::vector<SystemInfo>& all_systems();

// The first observable (x) of `samples` points after `transient` ones; flows are
// integrated with the classical fourth-order Runge-Kutta scheme, one step per sample.
std::vector<double> generate(const SystemInfo& s, long samples, long transient, double step);

// The values multiplied by `scale` and truncated toward zero, one integer a line; UsageError
// when one leaves the 32-bit range.
std::string format_series(const std::vector<double>& values, double scale);

// A series of `samples` values of the named system with its default transient, step and
// scale, as `tarnvex-kit gen NAME -n SAMPLES` writes it.
std::string system_series(std::string_view name, long samples);

}  // namespace tarnvex::kit
