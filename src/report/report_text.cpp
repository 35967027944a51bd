// The text blocks of a run, as `tarnvex-kit run` prints them and the page shows them.

#include <algorithm>
#include <cstdio>
#include <utility>

#include "tarnvex/report.hpp"
#include "textio/fields.hpp"

namespace tarnvex {

std::string_view library_version() {
    return TARNVEX_VERSION;
}

std::string fixed2(double v) {
    std::string s;
    textio::append_fixed_field(s, static_cast<float>(v), 40, 2);
    return s.substr(s.find_first_not_of(' '));
}

std::string figures_text(const Diagnosis& d) {
    std::string out = "figures, bits per unit time (exponents from the largest):\n";
    for (const auto& f : d.figures) {
        out += "  dimension " + std::to_string(f.dimension) + ":";
        for (const double v : f.sorted)
            out += ' ' + fixed2(v);
        out += "\n    lambda1 " + fixed2(f.lambda1);
        if (f.lambda1_error) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.3g", *f.lambda1_error);
            out += std::string(" +- ") + buf;
            if (!f.lambda1_radius_error) out += " (trajectory part only)";
        } else {
            out += " (no standard error: too few report points)";
        }
        out +=
            ", sum " + fixed2(f.sum) + ", Kaplan-Yorke dimension " + fixed2(f.kaplan_yorke) + "\n";
    }
    if (d.settles_from) {
        for (const auto& c : d.checks)
            if (c.code == "dimension-drift" && !c.note.empty()) out += c.note + "\n";
    }
    return out;
}

std::string not_checked_line(const Diagnosis& d) {
    // Checks with the same reason share one item.
    std::vector<std::pair<std::string, std::string>> items;  // codes, reason
    for (const auto& c : d.not_checked()) {
        auto same = std::find_if(items.begin(), items.end(),
                                 [&](const auto& i) { return i.second == c.note; });
        if (same != items.end()) {
            same->first += ", " + c.code;
        } else {
            items.emplace_back(c.code, c.note);
        }
    }
    std::string s;
    for (const auto& [codes, reason] : items)
        s += (s.empty() ? "not checked: " : "; ") + codes + " (" + reason + ")";
    return s;
}

std::string verdict_text(const Diagnosis& d) {
    std::string out;
    if (d.warnings.empty()) {
        out = "verdict: no warnings\n";
    } else {
        out = "verdict: " + std::to_string(d.warnings.size()) +
              (d.warnings.size() == 1 ? " warning" : " warnings") + "\n";
        for (const auto& w : d.warnings)
            out += "  " + w.code + ": " + w.message + "; " + w.advice + "\n";
    }
    const std::string unchecked = not_checked_line(d);
    if (!unchecked.empty()) out += unchecked + "\n";
    return out;
}

std::string reversal_text(const ReverseCheck& c) {
    std::string out = "time reversal, dimension " + std::to_string(c.dimension) + ": " +
                      (c.conclusive ? "conclusive" : "inconclusive") + " (" + c.reason + ")\n";
    out += "  forward:";
    for (const double v : c.forward)
        out += ' ' + fixed2(v);
    out += "\n  reversed:";
    for (const double v : c.reversed)
        out += ' ' + fixed2(v);
    out += "\n";
    for (std::size_t i = 0; i < c.forward.size(); ++i) {
        out += "  " + fixed2(c.forward[i]) + ": " + reversal_name(c.marks[i]);
        if (c.partner[i] >= 0)
            out += " (reversed " + fixed2(c.reversed[static_cast<std::size_t>(c.partner[i])]) + ")";
        out += "\n";
    }
    return out;
}

std::string no_step_text(const Result& r) {
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

std::string reading_text(const SeriesReading& r, std::int32_t used) {
    const auto read = static_cast<std::int64_t>(r.samples.size());
    std::string s = std::to_string(r.values_in_file) + " values";
    const std::string cut = r.cut_note();
    if (!cut.empty()) s += "; " + cut;
    if (used < read)
        s += std::string(cut.empty() ? "; " : ", of them ") + "used the first " +
             std::to_string(used) + " (--npts)";
    if (cut.empty() && used >= read) s += ", all used";
    return s;
}

}  // namespace tarnvex
