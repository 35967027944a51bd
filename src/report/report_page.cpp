// The page of an analysis and the fragments a notebook shows: pure functions of result
// objects and of figures already drawn.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "median.hpp"
#include "tarnvex/report.hpp"

namespace tarnvex {

namespace {

std::string esc(std::string_view s) {
    return html_escape(s);
}

// A number in a printf format of one double ("%.3g" three significant digits, "%.2f s"
// seconds, "%.3f" a p-value, "%g" as short as it goes).
std::string printed(const char* format, double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// One row of a table of two columns.
std::string row(std::string_view head, std::string_view cell_html) {
    return "<tr><th scope=\"row\">" + esc(head) + "</th><td>" + std::string(cell_html) +
           "</td></tr>\n";
}

// A row whose contents differ between two pages of the same analysis, on one line.
std::string volatile_row(std::string_view head, std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return "<tr class=\"volatile\"><th scope=\"row\">" + esc(head) + "</th><td>" + esc(text) +
           "</td></tr>\n";
}

const char* kStyle = R"(<style>
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1a1a1a;
       background: #ffffff; margin: 0 auto; padding: 16px 24px 40px; max-width: 1120px;
       line-height: 1.4; }
h1 { font-size: 1.6em; margin: 0.3em 0 0.4em; }
h2 { font-size: 1.25em; border-bottom: 1px solid #cccccc; padding-bottom: 3px; margin-top: 1.6em; }
h3 { font-size: 1.05em; margin: 0.2em 0 0.5em; }
table { border-collapse: collapse; margin: 0.4em 0 0.8em; }
th, td { border: 1px solid #cccccc; padding: 3px 8px; text-align: left; vertical-align: top; }
th { background: #f2f4f7; font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
code, pre { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; font-size: 0.92em; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; margin: 0.3em 0; }
.verdict { border-left: 10px solid #5d6d7e; background: #f7f7f7; padding: 8px 14px; margin: 1em 0; }
.verdict.warned { border-left-color: #c0392b; background: #fdf0ee; }
.verdict.unchecked { border-left-color: #d4860b; background: #fdf6e8; }
.verdict.clean { border-left-color: #2e8b57; background: #eef8f1; }
.verdict.nostep { border-left-color: #c0392b; background: #fdf0ee; }
.mark { display: inline-block; font-weight: 700; letter-spacing: 0.04em; padding: 1px 8px;
        border-radius: 3px; color: #ffffff; background: #5d6d7e; }
.warned .mark, .nostep .mark { background: #c0392b; }
.unchecked .mark { background: #a86a00; }
.clean .mark { background: #2e7d4f; }
figure { margin: 1.2em 0 1.8em; padding: 0; }
figure svg { max-width: 100%; height: auto; display: block; }
figure svg image { image-rendering: pixelated; }
figcaption { font-size: 0.93em; color: #333333; max-width: 980px; margin-top: 0.3em; }
.note { color: #555555; font-style: italic; }
.missing { border: 1px dashed #999999; padding: 8px; color: #555555; }
</style>
)";

// The verdict's state, by what it says: warnings, checks not made, or every check passed.
std::pair<const char*, const char*> verdict_class(const Diagnosis& d) {
    if (!d.warnings.empty()) return {"warned", "WARNINGS"};
    if (!d.not_checked().empty()) return {"unchecked", "NO WARNINGS; SOME CHECKS NOT MADE"};
    return {"clean", "NO WARNINGS; EVERY CHECK MADE"};
}

std::string counted_text(const Result& r) {
    const std::string steps = std::to_string(r.counted_steps) + " steps (" +
                              std::to_string(r.counted_steps * r.parameters.evolv) + " samples)";
    if (r.reached_tmax && r.parameters.tmax)
        return std::to_string(r.counted_steps) + " (tmax reached)";
    std::string s = "ran to the end of the data after " + steps;
    if (r.parameters.tmax) s += ", fewer than tmax = " + std::to_string(*r.parameters.tmax);
    return s;
}

// The exponents table of a run's figures (shared by the page and the notebook).
std::string exponents_table(const Result& r, const Diagnosis& d) {
    std::string t =
        "<table class=\"exponents\">\n<thead><tr><th scope=\"col\">dimension</th>"
        "<th scope=\"col\">samples counted</th><th scope=\"col\">exponents, from the largest "
        "(bits per unit time)</th><th scope=\"col\">λ1 ± standard error</th>"
        "<th scope=\"col\">sum</th><th scope=\"col\">Kaplan-Yorke dimension</th></tr></thead>\n"
        "<tbody>\n";
    for (const auto& f : d.figures) {
        const DimensionEstimates* e = r.dimension(f.dimension);
        std::string exps;
        for (const double v : f.sorted)
            exps += (exps.empty() ? "" : " ") + fixed2(v);
        std::string l1 = fixed2(f.lambda1);
        if (f.lambda1_error) {
            l1 += " ± " + printed("%.3g", *f.lambda1_error);
            if (!f.lambda1_radius_error) l1 += " (trajectory part only)";
        } else {
            l1 += " (no standard error: too few report points)";
        }
        t += "<tr><td class=\"num\">" + std::to_string(f.dimension) + "</td><td class=\"num\">" +
             (e != nullptr ? std::to_string(e->final_samples) : std::string("-")) +
             "</td><td class=\"num\">" + exps + "</td><td class=\"num\">" + esc(l1) +
             "</td><td class=\"num\">" + fixed2(f.sum) + "</td><td class=\"num\">" +
             fixed2(f.kaplan_yorke) + "</td></tr>\n";
    }
    return t + "</tbody>\n</table>\n";
}

std::string parameters_text(const Parameters& p, const Derived& d, float radius_pct) {
    std::string s = "npts " + std::to_string(p.npts) + " (" + std::to_string(d.npts) +
                    " samples used), ncube " + std::to_string(p.ncube) + ", tmax " +
                    (p.tmax ? std::to_string(*p.tmax)
                            : "to the end of the data (" + std::to_string(d.tmax) + ")") +
                    ", delay " + std::to_string(p.delay) + " samples, dimensions " +
                    std::to_string(p.dims.from) + " to " + std::to_string(p.dims.to) + ", start " +
                    std::to_string(p.start) + ", dt " + printed("%g", static_cast<double>(p.dt)) +
                    ", evolv " + std::to_string(p.evolv) + " samples, radius " +
                    printed("%g", static_cast<double>(radius_pct)) + " % of the extent";
    if (radius_pct == p.radius_pct)
        s += " (" + printed("%g", static_cast<double>(d.initial_radius)) +
             " in units of the series)";
    return s + ", kernels " + (p.kernels == KernelSet::Plain ? "plain" : "fast");
}

std::string figure_block(const FigurePlan& f, const DrawnFigure& d, const std::string& extra) {
    std::string s = "<figure id=\"fig-" + f.id + "\">\n<h3>" + esc(f.title) + "</h3>\n";
    if (d.svg) {
        s += *d.svg + "\n";
    } else {
        s += "<p class=\"missing\">Figure " + esc(d.note) + ".</p>\n";
    }
    s += "<figcaption>" + esc(f.alt) + "</figcaption>\n" + extra + "</figure>\n";
    return s;
}

}  // namespace

std::string html_escape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string surrogates_html(const SurrogateTest& t) {
    std::string s =
        "<table class=\"surrogates\">\n<thead><tr><th scope=\"col\">dimension</th>"
        "<th scope=\"col\">λ1 of the data</th><th scope=\"col\">surrogates: min, median, "
        "max</th><th scope=\"col\">below, above, tied or without a step</th>"
        "<th scope=\"col\">two-sided p</th><th scope=\"col\">the data lies</th>"
        "<th scope=\"col\">verdict</th></tr></thead>\n<tbody>\n";
    for (const SurrogateRank& r : t.dimensions) {
        std::vector<double> v;
        for (const double x : r.surrogate_lambda1)
            if (!std::isnan(x)) v.push_back(x);
        std::sort(v.begin(), v.end());
        const std::string spread =
            v.empty() ? std::string("no step counted")
                      : fixed2(v.front()) + ", " + fixed2(median(v)) + ", " + fixed2(v.back());
        s += "<tr><td class=\"num\">" + std::to_string(r.dimension) + "</td><td class=\"num\">" +
             fixed2(r.data_lambda1) + "</td><td class=\"num\">" + spread +
             "</td><td class=\"num\">" + std::to_string(r.below) + ", " + std::to_string(r.above) +
             ", " + std::to_string(r.ties) + "</td><td class=\"num\">" +
             printed("%.3f", r.p_value) + "</td><td>" + direction_name(r.direction) + "</td><td>" +
             esc(r.verdict) + "</td></tr>\n";
    }
    s += "</tbody>\n</table>\n<p><strong>surrogate verdict (" + std::to_string(t.count) +
         " surrogates):</strong> " + esc(t.verdict) + "</p>\n";
    return s;
}

std::string reversal_html(const ReverseCheck& c) {
    std::string s = "<p><strong>time reversal, dimension " + std::to_string(c.dimension) +
                    ":</strong> " + (c.conclusive ? "conclusive" : "inconclusive") + " (" +
                    esc(c.reason) +
                    ")</p>\n<table class=\"reversal\">\n<thead><tr>"
                    "<th scope=\"col\">forward exponent</th><th scope=\"col\">mark</th>"
                    "<th scope=\"col\">its reversed partner</th></tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < c.forward.size(); ++i) {
        s += "<tr><td class=\"num\">" + fixed2(c.forward[i]) + "</td><td>" +
             reversal_name(c.marks[i]) + "</td><td class=\"num\">" +
             (c.partner[i] >= 0 ? fixed2(c.reversed[static_cast<std::size_t>(c.partner[i])])
                                : std::string("none")) +
             "</td></tr>\n";
    }
    s += "</tbody>\n</table>\n<p>reversed spectrum:";
    for (const double v : c.reversed)
        s += " " + fixed2(v);
    return s + "</p>\n";
}

std::string cao_html(const CaoTable& c) {
    std::string s =
        "<table class=\"cao\">\n<thead><tr><th scope=\"col\">d</th>"
        "<th scope=\"col\">E1(d)</th><th scope=\"col\">E2(d)</th></tr></thead>\n"
        "<tbody>\n";
    for (std::size_t i = 0; i < c.e1.size(); ++i) {
        s += "<tr><td class=\"num\">" + std::to_string(i + 1) + "</td><td class=\"num\">" +
             fixed2(c.e1[i]) + "</td><td class=\"num\">" + fixed2(c.e2[i]) + "</td></tr>\n";
    }
    return s + "</tbody>\n</table>\n<p>delay " + std::to_string(c.delay) + ": " + esc(c.reason) +
           (c.dimension ? "; suggested dimension " + std::to_string(*c.dimension) : "") + "</p>\n";
}

std::string spectrum_html(const Result& r, const Diagnosis& d, bool draw) {
    std::string s = "<div class=\"tarnvex-spectrum\">\n<p><strong>Lyapunov spectrum</strong> of " +
                    std::to_string(r.series.samples_used) + " samples, " + esc(counted_text(r)) +
                    "</p>\n";
    if (!d.counted_any) {
        return s + "<p><strong>" + esc(no_step_text(r)) + "</strong></p>\n</div>\n";
    }
    s += exponents_table(r, d);
    const auto [cls, mark] = verdict_class(d);
    s += "<div class=\"verdict " + std::string(cls) + "\" style=\"border-left: 6px solid " +
         (std::string(cls) == "warned"  ? "#c0392b"
          : std::string(cls) == "clean" ? "#2e8b57"
                                        : "#d4860b") +
         "; padding: 2px 10px;\"><strong>" + mark + "</strong>\n<pre>" + esc(verdict_text(d)) +
         "</pre></div>\n";
    if (draw) {
        const FigurePlan f = convergence_figure(r, 520, 240);
        const std::vector<DrawnFigure> drawn = draw_figures({f});
        if (drawn[0].svg) s += "<div style=\"max-width: 520px;\">" + *drawn[0].svg + "</div>\n";
    }
    return s + "</div>\n";
}

std::string report_html(const Analysis& a, const std::vector<DrawnFigure>& figures) {
    const Result& r = a.result;
    const Diagnosis& d = a.diagnosis;
    const ReportSource& src = a.source;
    const Parameters& p = a.request.parameters;
    const bool counted = r.counted_steps > 0;
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    // Nothing may load from anywhere: styles are inline and images data.
    h += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; img-src data:\">\n";
    h += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    h += "<meta name=\"generator\" content=\"tarnvex " + std::string(library_version()) + "\">\n";
    h += "<title>tarnvex report: " + esc(src.series_name) + "</title>\n" + kStyle + "</head>\n";
    h += "<body>\n<header>\n<h1>Lyapunov spectrum of " + esc(src.series_name) + "</h1>\n";
    h += "<table class=\"facts\">\n";
    h += row("series", "<code>" + esc(src.series_name) + "</code>");
    h +=
        row("samples",
            esc((src.reading.empty() ? std::to_string(a.samples.size()) + " values" : src.reading) +
                "; the run used " + std::to_string(r.series.samples_used)));
    h += row("integer span",
             std::to_string(r.series.int_min) + " to " + std::to_string(r.series.int_max) + " (" +
                 std::to_string(r.series.int_max - r.series.int_min) + " integer steps)");
    h += row("distinct integers", std::to_string(r.series.distinct_integers));
    h += row("scale or preparation",
             esc(src.preparation.empty() ? std::string("not known") : src.preparation));
    h += row("tarnvex version", esc(library_version()));
    h += volatile_row("date", src.date);
    h += volatile_row("command", src.command);
    h += "</table>\n</header>\n";

    // The verdict first.
    h += "<main>\n";
    if (!counted) {
        h += "<section id=\"verdict\" class=\"verdict nostep\">\n<h2>Verdict</h2>\n"
             "<p><span class=\"mark\">NO STEP COUNTED</span></p>\n<p><strong>The run counted no "
             "step: there are no exponents to report and nothing to judge.</strong></p>\n<pre>" +
             esc(no_step_text(r)) + "</pre>\n</section>\n";
    } else {
        const auto [cls, mark] = verdict_class(d);
        h +=
            "<section id=\"verdict\" class=\"verdict " + std::string(cls) +
            "\">\n<h2>Verdict</h2>\n<p><span class=\"mark\">" + mark +
            "</span> as <code>tarnvex-kit run</code> prints it:</p>\n<pre class=\"verdict-text\">" +
            esc(verdict_text(d)) + "</pre>\n";
        if (a.surrogates) {
            h += "<p><strong>surrogate test</strong> (made for this page, " +
                 std::to_string(a.surrogates->count) + " surrogates, seed " +
                 std::to_string(a.request.seed) + "): " + esc(a.surrogates->verdict) + "</p>\n";
        }
        h += "</section>\n";

        h += "<section id=\"exponents\">\n<h2>Final exponents</h2>\n";
        h += exponents_table(r, d);
        if (d.settles_from) {
            for (const auto& c : d.checks)
                if (c.code == "dimension-drift" && !c.note.empty())
                    h += "<p>" + esc(c.note) + "</p>\n";
        }
        char buf[256];
        std::snprintf(buf, sizeof buf, "mean %.2f, max %lld; mean neighbours in dimension %d: %.1f",
                      a.steps.mean_enlargements, static_cast<long long>(a.steps.max_enlargements),
                      static_cast<int>(p.dims.to), a.steps.mean_neighbours);
        h += "<table class=\"counts\">\n";
        h += row("counted steps", esc(counted_text(r)));
        h += row("steps given up", std::to_string(r.steps_given_up));
        h += row("singular matrices", std::to_string(r.covariance_retries) + " covariance, " +
                                          std::to_string(r.orthonormal_retries) +
                                          " orthonormalisation");
        h += row("radius enlargements per counted step", buf);
        h += "</table>\n</section>\n";
    }

    h += "<section id=\"figures\">\n<h2>Figures</h2>\n";
    const std::vector<FigurePlan> plans = report_figures(a);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const DrawnFigure missing{std::nullopt, "not drawn"};
        const DrawnFigure& drawn = i < figures.size() ? figures[i] : missing;
        std::string extra;
        if (plans[i].id == "surrogates") extra = surrogates_html(*a.surrogates);
        if (plans[i].id == "reversal") extra = reversal_html(*d.reversal);
        if (plans[i].id == "cao") extra = cao_html(*a.cao);
        h += figure_block(plans[i], drawn, extra);
    }
    if (!a.surrogates) h += "<p class=\"note\">Surrogates: " + esc(a.surrogates_note) + ".</p>\n";
    if (counted && !d.reversal) {
        h += "<p class=\"note\">Time reversal: not made (" +
             std::string(a.request.quick ? "--quick, quick=True" : "the reversed run is missing") +
             "): the forward and reversed exponents are not paired.</p>\n";
    }
    h += "</section>\n";

    h += "<section id=\"parameters\">\n<h2>Parameters of every run</h2>\n<table>\n";
    h += row("the run", esc(parameters_text(p, r.derived, p.radius_pct)));
    if (a.request.quick || !counted) {
        h += row("the run at half the radius", "not made");
        h += row("the run of the reversed series", "not made");
    } else {
        h += row("the run at half the radius",
                 esc(parameters_text(p, r.derived,
                                     p.radius_pct * static_cast<float>(thresholds::kRadiusProbe))));
        h += row("the run of the reversed series",
                 esc("the same parameters on the samples used in reverse order"));
    }
    if (a.surrogates) {
        h += row("the surrogate runs",
                 esc(std::to_string(a.surrogates->count) +
                     " IAAFT surrogates of the samples, seed " + std::to_string(a.request.seed) +
                     ", each run with the parameters of the run (the same answers however "
                     "many run at a time)"));
    } else {
        h += row("the surrogate runs", "not made");
    }
    if (a.delay) {
        h += row("the delay suggestion",
                 esc("mutual information (" + std::to_string(kDelayBins) +
                     "-bin histograms) and autocorrelation at lags 0 to " +
                     std::to_string(a.delay->max_lag) + " samples of the samples used"));
    }
    if (a.cao) {
        h += row("Cao's statistics",
                 esc("delay " + std::to_string(a.cao->delay) + ", dimensions 1 to " +
                     std::to_string(a.cao->e1.size()) + ", maximum norm, the first " +
                     std::to_string(a.cao_samples) + " samples"));
    }
    h += "</table>\n</section>\n";

    h += "<section id=\"timings\">\n<h2>Time each part took</h2>\n<table>\n";
    double total = 0.0;
    for (const auto& t : a.timings) {
        h += volatile_row(t.part, printed("%.2f s", t.seconds));
        total += t.seconds;
    }
    double drawing = 0.0;
    for (const auto& f : figures)
        drawing += f.seconds;
    if (!figures.empty()) {
        h += volatile_row("the figures (gnuplot)", printed("%.2f s", drawing));
        total += drawing;
    }
    h += volatile_row("all parts", printed("%.2f s", total));
    h += "</table>\n</section>\n</main>\n";

    h += "<footer>\n<h2>Where the numbers come from</h2>\n<p>Every number on this page is the "
         "library's own result, as <code>tarnvex-kit</code> prints it: the run and its "
         "figures (<code>tarnvex::run</code>, <code>diagnose</code>), the runs at half the "
         "radius and of the reversed series (<code>probe</code>), the surrogate test "
         "(<code>surrogate_test</code>), the delay suggestion (<code>suggest_delay</code>) and "
         "Cao's statistics (<code>cao_dimension</code>). Exponents are in bits per unit of "
         "time, rounded to two decimals as the result file rounds them; standard errors to "
         "three significant digits. The figures are gnuplot's drawings of the same numbers; "
         "long curves are thinned to at most 2000 points and the delay portrait is a "
         "histogram, while the tables are never thinned.</p>\n</footer>\n</body>\n</html>\n";
    return h;
}

std::string report_page(const Analysis& a) {
    return report_html(a, draw_figures(report_figures(a)));
}

}  // namespace tarnvex
