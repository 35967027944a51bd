#include "kit/summary.hpp"

#include <sstream>

#include "kit/json.hpp"
#include "kit/session.hpp"

namespace tarnvex::kit {

namespace {

std::string optional_number(const std::optional<double>& v) {
    return v ? json_number(*v) : std::string("null");
}

std::string numbers(const std::vector<double>& v) {
    std::string s = "[";
    for (std::size_t i = 0; i < v.size(); ++i)
        s += (i == 0 ? "" : ", ") + json_number(v[i]);
    return s + "]";
}

}  // namespace

std::string summary_json(const Result& r, const Diagnosis& d, const std::string& result_path,
                         const ReverseCheck* reversal, const std::string& series_path) {
    const Parameters& p = r.parameters;
    std::ostringstream j;
    j << "{\n  \"format_version\": " << kSummaryFormatVersion << ",\n";
    j << "  \"result_file\": " << json_string(result_path) << ",\n";
    if (!series_path.empty()) j << "  \"series_file\": " << json_string(series_path) << ",\n";
    j << "  \"parameters\": {\"npts\": " << r.derived.npts << ", \"ncube\": " << p.ncube
      << ", \"tmax\": " << r.derived.tmax << ", \"to_the_end\": " << (p.tmax ? "false" : "true")
      << ", \"delay\": " << p.delay << ", \"dims\": [" << p.dims.from << ", " << p.dims.to
      << "], \"start\": " << p.start << ", \"dt\": " << json_number(p.dt)
      << ", \"evolv\": " << p.evolv << ", \"radius_pct\": "
      << json_number(p.radius_pct)
      // The names of format 1, kept for one release.
      << ", \"mfrom\": " << p.dims.from << ", \"mto\": " << p.dims.to << ", \"istart\": " << p.start
      << "},\n";
    j << "  \"series\": {\"samples_used\": " << r.series.samples_used
      << ", \"int_min\": " << r.series.int_min << ", \"int_max\": " << r.series.int_max
      << ", \"distinct_integers\": " << r.series.distinct_integers << "},\n";
    j << "  \"run\": {\"iterations\": " << r.iterations
      << ", \"counted_steps\": " << r.counted_steps
      << ", \"reached_tmax\": " << (r.reached_tmax ? "true" : "false")
      << ", \"steps_given_up\": " << r.steps_given_up
      << ", \"covariance_retries\": " << r.covariance_retries
      << ", \"orthonormal_retries\": " << r.orthonormal_retries << "},\n";
    j << "  \"dimensions\": [";
    for (std::size_t i = 0; i < d.figures.size(); ++i) {
        const auto& f = d.figures[i];
        const DimensionEstimates& e = *r.dimension(f.dimension);
        const std::vector<double> final(e.final_exponents.begin(), e.final_exponents.end());
        j << (i == 0 ? "\n" : ",\n") << "    {\"dimension\": " << f.dimension
          << ", \"samples\": " << e.final_samples << ", \"final\": " << numbers(final)
          << ", \"sorted\": " << numbers(f.sorted) << ", \"lambda1\": " << json_number(f.lambda1)
          << ", \"lambda1_error\": " << optional_number(f.lambda1_error)
          << ", \"lambda1_trajectory_error\": " << optional_number(f.lambda1_trajectory_error)
          << ", \"lambda1_radius_error\": " << optional_number(f.lambda1_radius_error)
          << ", \"lambda1_half_radius\": " << optional_number(f.lambda1_half_radius)
          << ", \"sum\": " << json_number(f.sum)
          << ", \"kaplan_yorke\": " << json_number(f.kaplan_yorke);
        // The estimates of the last report point: the last record of this dimension in the
        // result file, which plot --summary matches.
        if (e.reports() > 0) {
            const std::size_t k = e.reports() - 1;
            const auto last = e.exponents_at(k);
            j << ", \"last_record\": {\"samples\": " << e.samples[k]
              << ", \"estimates\": " << numbers(std::vector<double>(last.begin(), last.end()))
              << "}";
        }
        j << "}";
    }
    j << (d.figures.empty() ? "],\n" : "\n  ],\n");
    j << "  \"warnings\": [";
    for (std::size_t i = 0; i < d.warnings.size(); ++i) {
        const auto& w = d.warnings[i];
        j << (i == 0 ? "\n" : ",\n") << "    {\"code\": " << json_string(w.code)
          << ", \"figure\": " << json_number(w.figure)
          << ", \"threshold\": " << json_number(w.threshold)
          << ", \"message\": " << json_string(w.message)
          << ", \"advice\": " << json_string(w.advice) << "}";
    }
    j << (d.warnings.empty() ? "],\n" : "\n  ],\n");
    j << "  \"checks\": [";
    for (std::size_t i = 0; i < d.checks.size(); ++i) {
        const auto& c = d.checks[i];
        j << (i == 0 ? "\n" : ",\n") << "    {\"code\": " << json_string(c.code)
          << ", \"state\": " << json_string(check_state_name(c.state))
          << ", \"note\": " << json_string(c.note) << "}";
    }
    j << (d.checks.empty() ? "],\n" : "\n  ],\n");
    j << "  \"not_checked\": [";
    const auto unchecked = d.not_checked();
    for (std::size_t i = 0; i < unchecked.size(); ++i)
        j << (i == 0 ? "" : ", ") << json_string(unchecked[i].code);
    j << "],\n  \"settles_from\": "
      << (d.settles_from ? std::to_string(*d.settles_from) : std::string("null"));
    if (reversal == nullptr && d.reversal) reversal = &*d.reversal;
    if (reversal != nullptr) {
        j << ",\n  \"reverse_check\": {\"dimension\": " << reversal->dimension
          << ", \"conclusive\": " << (reversal->conclusive ? "true" : "false")
          << ", \"reason\": " << json_string(reversal->reason)
          << ", \"forward\": " << numbers(reversal->forward)
          << ", \"reversed\": " << numbers(reversal->reversed) << ", \"marks\": [";
        for (std::size_t i = 0; i < reversal->marks.size(); ++i)
            j << (i == 0 ? "" : ", ") << json_string(reversal_name(reversal->marks[i]));
        j << "]}";
    }
    j << "\n}\n";
    return j.str();
}

}  // namespace tarnvex::kit
