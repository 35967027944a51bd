#pragma once
// Two results compared field by field, floating-point values bit for bit.

#include <bit>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

template <typename T>
inline bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if constexpr (std::is_floating_point_v<T>) {
            if (std::bit_cast<std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>(
                    a[i]) !=
                std::bit_cast<std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>(
                    b[i]))
                return false;
        } else if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// Every field of two results, the first that differs named.
inline std::string first_difference(const Result& a, const Result& b) {
    if (a.iterations != b.iterations) return "iterations";
    if (a.counted_steps != b.counted_steps) return "counted_steps";
    if (a.reached_tmax != b.reached_tmax) return "reached_tmax";
    if (a.steps_given_up != b.steps_given_up) return "steps_given_up";
    if (a.warmup_end != b.warmup_end) return "warmup_end";
    if (a.covariance_retries != b.covariance_retries) return "covariance_retries";
    if (a.orthonormal_retries != b.orthonormal_retries) return "orthonormal_retries";
    if (a.retries_by_dimension != b.retries_by_dimension) return "retries_by_dimension";
    if (a.steps.size() != b.steps.size()) return "steps (count)";
    for (std::size_t i = 0; i < a.steps.size(); ++i) {
        const StepRecord &s = a.steps[i], &t = b.steps[i];
        if (s.iref != t.iref || s.nstep != t.nstep || s.enlargements != t.enlargements ||
            s.neighbours != t.neighbours || s.covariance_retries != t.covariance_retries ||
            s.orthonormal_retries != t.orthonormal_retries || s.outcome != t.outcome)
            return "step record of iteration " + std::to_string(i + 1);
    }
    if (a.retries.size() != b.retries.size()) return "retries (count)";
    for (std::size_t i = 0; i < a.retries.size(); ++i) {
        const Retry &s = a.retries[i], &t = b.retries[i];
        if (s.iteration != t.iteration || s.nstep != t.nstep || s.dimension != t.dimension ||
            s.kind != t.kind)
            return "retry " + std::to_string(i);
    }
    if (a.dimensions.size() != b.dimensions.size()) return "dimensions (count)";
    for (std::size_t i = 0; i < a.dimensions.size(); ++i) {
        const DimensionEstimates &s = a.dimensions[i], &t = b.dimensions[i];
        const std::string m = "dimension " + std::to_string(s.dimension) + ": ";
        if (s.dimension != t.dimension) return m + "number";
        if (s.steps != t.steps || s.samples != t.samples || s.warmup != t.warmup)
            return m + "report points";
        if (!same_bits(s.exponents, t.exponents)) return m + "running estimates";
        if (!same_bits(s.log_sums, t.log_sums)) return m + "log sums";
        if (!same_bits(s.final_exponents, t.final_exponents)) return m + "final estimates";
        if (s.final_steps != t.final_steps || s.final_samples != t.final_samples)
            return m + "final count";
    }
    return "";
}

}  // namespace tarnvex
