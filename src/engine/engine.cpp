// The engine's entry points: the derived values, the checks, and a whole run.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "convert.hpp"
#include "embedding/delay_vectors.hpp"
#include "engine/step_loop.hpp"
#include "limits.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

static_assert(kProgramSamples == NMAX && kMaxSamples >= NMAX && kMaxDimension == MMAX &&
              kMaxNeighbours == KMAX && kWarmupIterations == NWARM);

KernelSet default_kernel_set() noexcept {
#ifdef TARNVEX_PLAIN_KERNELS
    return KernelSet::Plain;
#else
    return KernelSet::Fast;
#endif
}

Extent extent_of(std::span<const float> samples) {
    float xmax = -1.0e10f;
    float xmin = 1.0e10f;
    for (const float v : samples) {
        if (v > xmax) xmax = v;
        if (v < xmin) xmin = v;
    }
    return {xmin, xmax, xmax - xmin};
}

float periode_of(float dt) {
    return 1.0f / dt;
}

float initial_radius(float radius_pct, float extent) {
    return static_cast<float>(static_cast<double>(radius_pct) * static_cast<double>(extent) /
                              100.0);
}

float time_factor(std::int64_t evolv, float dt) {
    constexpr float kLn2 = 0.6931472f;  // ln 2 in single precision
    return static_cast<float>(static_cast<double>(evolv) * static_cast<double>(kLn2) *
                              static_cast<double>(dt));
}

std::int64_t iteration_budget(std::int32_t npts, std::int32_t evolv) {
    if (evolv < 1) return 0;
    // The warm-up's iterations at its evolution time, over evolv0 (evolv as a real).
    constexpr int kWarmupEvolv = 1;
    const double e0 = static_cast<double>(static_cast<float>(evolv));
    const double v =
        static_cast<double>(npts) / e0 - static_cast<double>(NWARM * kWarmupEvolv) / e0;
    return static_cast<std::int64_t>(std::trunc(v));  // |v| <= 2^31: always in range
}

namespace {

std::int32_t samples_used(std::span<const float> samples, const Parameters& p) {
    const auto given =
        static_cast<std::int32_t>(std::min<std::size_t>(samples.size(), kMaxSamples));
    return p.npts > given ? given : p.npts;
}

std::span<const float> used(std::span<const float> samples, std::int32_t npts) {
    return samples.first(static_cast<std::size_t>(std::max(npts, 0)));
}

struct Check {
    Refusal reason;
    std::string_view message;
};

// The first check that fails, or none.
std::optional<Check> first_refusal(std::span<const float> samples, const Parameters& p) {
    static_assert(kMaxSamples == 10'000'000, "the message below names the limit");
    if (samples.size() > static_cast<std::size_t>(kMaxSamples)) {
        return Check{Refusal::TooManySamples, "more than 10000000 samples"};
    }
    if (p.dims.to > MMAX) return Check{Refusal::DimensionTooHigh, " emb dim. too high !!"};
    if (p.ncube > KMAX) {
        return Check{Refusal::TooManyNeighbours, "number of points per cube too large!"};
    }
    if (p.dims.from < 1 || p.dims.to < 1) {
        return Check{Refusal::DimensionBelowOne, "emb dim. must be at least 1"};
    }
    if (p.ncube < 1) {
        return Check{Refusal::NeighboursBelowOne, "number of points per cube must be at least 1"};
    }
    if (p.delay < 0) return Check{Refusal::NegativeDelay, "time delay must not be negative"};
    if (p.evolv < 1) return Check{Refusal::EvolvBelowOne, "evolv time must be at least 1"};
    if (!(p.dt > 0.0f)) return Check{Refusal::DtNotPositive, "dt must be positive"};
    const std::int32_t npts = samples_used(samples, p);
    const std::int64_t nvec = embedding::vector_count(npts, p.delay, p.dims.to);
    if (p.start < 1 || std::int64_t{p.start} + 1 > nvec) {
        return Check{Refusal::StartOutside, "start point outside the embedded series"};
    }
    for (const float v : used(samples, npts)) {
        if (!fits_i32(v)) {
            return Check{Refusal::ValueTooLarge, "data value too large for integer coordinates"};
        }
    }
    return std::nullopt;
}

}  // namespace

Derived derive(std::span<const float> samples, const Parameters& p) {
    Derived d;
    d.npts = samples_used(samples, p);
    const Extent e = extent_of(used(samples, d.npts));
    d.xmin = e.xmin;
    d.xmax = e.xmax;
    d.extent = e.extent;
    d.periode = periode_of(p.dt);
    d.initial_radius = initial_radius(p.radius_pct, d.extent);
    d.ntrip = iteration_budget(d.npts, p.evolv);
    d.tmax = p.tmax ? *p.tmax : static_cast<std::int32_t>(d.ntrip);
    return d;
}

std::string_view check(std::span<const float> samples, const Parameters& p) {
    const auto refusal = first_refusal(samples, p);
    return refusal ? refusal->message : std::string_view();
}

std::string_view refusal_text(std::string_view message) {
    const std::size_t first = message.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : message.substr(first);
}

SeriesFacts series_facts(std::span<const float> samples) {
    SeriesFacts f;
    f.samples_used = static_cast<std::int32_t>(samples.size());
    std::vector<std::int64_t> ints(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ints[i] = trunc_to_i32(samples[i]);
    std::sort(ints.begin(), ints.end());
    if (!ints.empty()) {
        f.int_min = ints.front();
        f.int_max = ints.back();
        f.distinct_integers = std::unique(ints.begin(), ints.end()) - ints.begin();
    }
    std::vector<float> values;
    for (const float v : samples)
        if (!std::isnan(v)) values.push_back(v);
    std::sort(values.begin(), values.end());
    f.distinct_values = std::unique(values.begin(), values.end()) - values.begin();
    return f;
}

const DimensionEstimates* Result::dimension(int m) const {
    for (const auto& d : dimensions)
        if (d.dimension == m) return &d;
    return nullptr;
}

Result run(std::span<const float> samples, const Parameters& p, Observer* observer) {
    if (const auto refusal = first_refusal(samples, p)) {
        throw ParameterError(refusal->reason, refusal->message);
    }
    const Derived d = derive(samples, p);
    const auto workspace =
        std::make_unique<engine::Workspace>(used(samples, d.npts), p, engine::lanes_for(p));
    return engine::run_step_loop(used(samples, d.npts), p, d, *workspace, observer);
}

}  // namespace tarnvex
