#pragma once
// The JSON summary of a run for scripts and for plot (its text blocks, which run prints,
// come from tarnvex/report.hpp).

#include <string>

#include "tarnvex/diagnostics.hpp"
#include "tarnvex/significance.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

// The JSON summary's format: 2 names the dimensions "dims" ([from, to]) and the first
// reference point "start"; format 1's "mfrom", "mto" and "istart" are written beside them
// for one release.
inline constexpr int kSummaryFormatVersion = 2;

// The whole summary as JSON: its format version, parameters, series, counts, figures,
// warnings and, when it was made, the time-reversal test (the diagnosis's own when none is
// given).
std::string summary_json(const Result& r, const Diagnosis& d, const std::string& result_path,
                         const ReverseCheck* reversal = nullptr,
                         const std::string& series_path = "");

}  // namespace tarnvex::kit
