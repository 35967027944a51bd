#pragma once
// What the kit says about a run: the figures of every dimension and the verdict, as text
// and as a JSON summary for scripts and for plot.

#include <iosfwd>
#include <string>

#include "tarnvex/diagnostics.hpp"
#include "tarnvex/significance.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

// The figures block: per dimension the exponents sorted from the largest, lambda1 with its
// standard error, the sum and the Kaplan-Yorke dimension.
void print_figures(std::ostream& out, const Diagnosis& d);

// The verdict block: "verdict: no warnings", or one line per warning with its advice; then,
// when some check could not be made, one line "not checked: ..." with why and how.
void print_verdict(std::ostream& out, const Diagnosis& d);

// "not checked: code (reason); ..." for the checks that were not made, or empty.
std::string not_checked_line(const Diagnosis& d);

// The time-reversal block: both spectra and the mark of every forward exponent.
void print_reversal(std::ostream& out, const ReverseCheck& c);

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

// The plain message of a run that counted no step, with what to change.
std::string no_step_message(const Result& r);

}  // namespace tarnvex::kit
