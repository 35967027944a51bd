#include "kit/summary.hpp"

#include <ostream>
#include <sstream>

#include "kit/json.hpp"
#include "kit/session.hpp"

namespace tarnvex::kit {

namespace {

std::string two(double v) {
    return fixed2(static_cast<float>(v));
}

std::string numbers(const std::vector<double>& v) {
    std::string s = "[";
    for (std::size_t i = 0; i < v.size(); ++i)
        s += (i == 0 ? "" : ", ") + json_number(v[i]);
    return s + "]";
}

}  // namespace

void print_figures(std::ostream& out, const Diagnosis& d) {
    out << "figures, bits per unit time (exponents from the largest):\n";
    for (const auto& f : d.figures) {
        out << "  dimension " << f.dimension << ":";
        for (const double v : f.sorted)
            out << ' ' << two(v);
        out << "\n    lambda1 " << two(f.lambda1);
        if (f.lambda1_error) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.3g", *f.lambda1_error);
            out << " +- " << buf;
        } else {
            out << " (no standard error: too few report points)";
        }
        out << ", sum " << two(f.sum) << ", Kaplan-Yorke dimension " << two(f.kaplan_yorke) << "\n";
    }
}

void print_verdict(std::ostream& out, const Diagnosis& d) {
    if (d.warnings.empty()) {
        out << "verdict: no warnings\n";
        return;
    }
    out << "verdict: " << d.warnings.size() << (d.warnings.size() == 1 ? " warning" : " warnings")
        << "\n";
    for (const auto& w : d.warnings)
        out << "  " << w.code << ": " << w.message << "; " << w.advice << "\n";
}

void print_reversal(std::ostream& out, const ReverseCheck& c) {
    out << "time reversal, dimension " << c.dimension << ": "
        << (c.conclusive ? "conclusive" : "inconclusive") << " (" << c.reason << ")\n";
    out << "  forward:";
    for (const double v : c.forward)
        out << ' ' << two(v);
    out << "\n  reversed:";
    for (const double v : c.reversed)
        out << ' ' << two(v);
    out << "\n";
    for (std::size_t i = 0; i < c.forward.size(); ++i) {
        out << "  " << two(c.forward[i]) << ": " << reversal_name(c.marks[i]);
        if (c.partner[i] >= 0) {
            out << " (reversed " << two(c.reversed[static_cast<std::size_t>(c.partner[i])]) << ")";
        }
        out << "\n";
    }
}

std::string summary_json(const Result& r, const Diagnosis& d, const std::string& result_path,
                         const ReverseCheck* reversal) {
    const Parameters& p = r.parameters;
    std::ostringstream j;
    j << "{\n  \"result_file\": " << json_string(result_path) << ",\n";
    j << "  \"parameters\": {\"npts\": " << r.derived.npts << ", \"ncube\": " << p.ncube
      << ", \"tmax\": " << r.derived.tmax << ", \"to_the_end\": " << (p.tmax ? "false" : "true")
      << ", \"delay\": " << p.delay << ", \"mfrom\": " << p.mfrom << ", \"mto\": " << p.mto
      << ", \"istart\": " << p.istart << ", \"dt\": " << json_number(p.dt)
      << ", \"evolv\": " << p.evolv << ", \"radius_pct\": " << json_number(p.radius_pct) << "},\n";
    j << "  \"series\": {\"samples_used\": " << r.series.samples_used
      << ", \"int_min\": " << r.series.int_min << ", \"int_max\": " << r.series.int_max
      << ", \"distinct_integers\": " << r.series.distinct_ints << "},\n";
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
          << ", \"lambda1_error\": "
          << (f.lambda1_error ? json_number(*f.lambda1_error) : std::string("null"))
          << ", \"sum\": " << json_number(f.sum)
          << ", \"kaplan_yorke\": " << json_number(f.kaplan_yorke) << "}";
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
    j << (d.warnings.empty() ? "]" : "\n  ]");
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

std::string no_step_message(const Result& r) {
    std::string s = "no step was counted (" + std::to_string(r.iterations) + " iterations, " +
                    std::to_string(r.steps_given_up) + " steps given up): ";
    if (r.derived.ntrip <= kWarmupIterations) {
        return s + "the series is too short for the warm-up of " +
               std::to_string(kWarmupIterations) +
               " iterations; use more samples or a smaller "
               "evolution time";
    }
    return s +
           "every step was given up or the trajectory ran out; try a larger radius, fewer "
           "neighbours or an earlier start";
}

}  // namespace tarnvex::kit
