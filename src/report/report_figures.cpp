// What each figure of a page shows: its title, its text alternative with the key numbers,
// and the gnuplot script and data that draw it. Pure: nothing here runs gnuplot.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "convert.hpp"
#include "tarnvex/report.hpp"

namespace tarnvex {

namespace {

// Long curves are drawn with at most this many points: a page stays small, and a screen
// shows no more.
constexpr std::size_t kMaxCurvePoints = 2000;
// The delay portrait is a histogram of this many bins a side.
constexpr int kPortraitBins = 100;
// The series figure shows the first this many samples.
constexpr std::size_t kSeriesStretch = 400;

// Colours that stay apart in grey and for every kind of colour vision, with dash patterns
// that cycle with them.
constexpr const char* kColours[] = {"#1b4f8a", "#c0392b", "#2e8b57", "#8e44ad",
                                    "#d4860b", "#17808a", "#5d6d7e", "#a04000"};

std::string colour(std::size_t i) {
    return kColours[i % (sizeof kColours / sizeof kColours[0])];
}

std::string num(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string two(double v) {
    return fixed2(v);
}

std::string err3(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

// A string in gnuplot's single quotes.
std::string q(const std::string& s) {
    std::string out = "'";
    for (const char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// Every k-th of n indices (and the last), k chosen so that at most kMaxCurvePoints remain.
std::vector<std::size_t> thinned(std::size_t n) {
    std::vector<std::size_t> idx;
    const std::size_t k =
        n <= kMaxCurvePoints ? 1 : (n + kMaxCurvePoints - 2) / (kMaxCurvePoints - 1);
    for (std::size_t i = 0; i < n; i += k)
        idx.push_back(i);
    if (n > 0 && idx.back() != n - 1) idx.push_back(n - 1);
    return idx;
}

const std::string kCommon =
    "set encoding utf8\nset grid lc rgb '#dddddd'\nset border lc rgb '#444444'\n"
    "set key top right box opaque\n";

std::span<const float> used_samples(const Analysis& a) {
    const auto n =
        std::min(a.samples.size(),
                 static_cast<std::size_t>(std::max<std::int32_t>(a.result.derived.npts, 0)));
    return std::span<const float>(a.samples).first(n);
}

FigurePlan series_figure(const Analysis& a) {
    const auto x = used_samples(a);
    const std::size_t n = std::min(x.size(), kSeriesStretch);
    FigurePlan f;
    f.id = "series";
    f.title = "The series: the first " + std::to_string(n) + " of the " + std::to_string(x.size()) +
              " samples used";
    f.height = 300;
    std::string d;
    double lo = 0.0, hi = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<double>(trunc_to_i32(x[i]));
        lo = i == 0 ? v : std::min(lo, v);
        hi = i == 0 ? v : std::max(hi, v);
        d += std::to_string(i + 1) + ' ' + num(v) + '\n';
    }
    f.data.emplace_back("series.dat", d);
    f.alt = "Samples 1 to " + std::to_string(n) + " of the series as the run embeds them " +
            "(truncated to integers), joined by lines: they lie between " + num(lo) + " and " +
            num(hi) + ". All " + std::to_string(a.result.series.samples_used) +
            " samples used span the integers " + std::to_string(a.result.series.int_min) + " to " +
            std::to_string(a.result.series.int_max) + " and take " +
            std::to_string(a.result.series.distinct_integers) + " distinct integers.";
    f.script = kCommon + "set title " + q(f.title) +
               "\nset xlabel 'sample index (samples)'\n"
               "set ylabel 'sample value (integer units of the series)'\nunset key\n"
               "plot 'series.dat' using 1:2 with linespoints lw 1 pt 7 ps 0.35 lc rgb '" +
               colour(0) + "'\n";
    return f;
}

FigurePlan portrait_figure(const Analysis& a) {
    const auto x = used_samples(a);
    const int delay = a.request.parameters.delay;
    FigurePlan f;
    f.id = "portrait";
    f.title = "Delay portrait at the delay used (" + std::to_string(delay) +
              "): x(t + delay) against x(t)";
    f.width = 560;
    f.height = 500;
    const double lo = static_cast<double>(a.result.series.int_min);
    const double hi = static_cast<double>(a.result.series.int_max);
    const double width = std::max(1.0, (hi - lo + 1.0) / kPortraitBins);
    std::vector<std::int64_t> counts(static_cast<std::size_t>(kPortraitBins * kPortraitBins), 0);
    std::size_t pairs = 0;
    std::int64_t most = 0;
    const auto bin = [&](float v) {
        const double b = std::floor((static_cast<double>(trunc_to_i32(v)) - lo) / width);
        return static_cast<std::size_t>(std::clamp(b, 0.0, kPortraitBins - 1.0));
    };
    for (std::size_t t = 0; t + static_cast<std::size_t>(delay) < x.size(); ++t) {
        auto& c = counts[bin(x[t + static_cast<std::size_t>(delay)]) * kPortraitBins + bin(x[t])];
        most = std::max(most, ++c);
        ++pairs;
    }
    // Rows of the matrix are x(t + delay), columns x(t); an empty bin is left blank.
    std::string d;
    std::size_t filled = 0;
    for (int r = 0; r < kPortraitBins; ++r) {
        for (int c = 0; c < kPortraitBins; ++c) {
            const std::int64_t n = counts[static_cast<std::size_t>(r * kPortraitBins + c)];
            filled += n > 0 ? 1 : 0;
            d += (c == 0 ? "" : " ") +
                 (n > 0 ? num(std::log10(static_cast<double>(n))) : std::string("NaN"));
        }
        d += '\n';
    }
    f.data.emplace_back("portrait.dat", d);
    f.alt = "The " + std::to_string(pairs) + " pairs (x(t), x(t + " + std::to_string(delay) +
            ")) of the samples used, drawn as a histogram of " + std::to_string(kPortraitBins) +
            " by " + std::to_string(kPortraitBins) + " bins over the integers " + num(lo) + " to " +
            num(hi) + ": " + std::to_string(filled) + " bins hold a pair, the fullest " +
            std::to_string(most) +
            "; darker bins hold more pairs (the colour is the logarithm of "
            "the count).";
    const std::string xs = "(" + num(lo) + " + ($1 + 0.5) * " + num(width) + ")";
    const std::string ys = "(" + num(lo) + " + ($2 + 0.5) * " + num(width) + ")";
    f.script = kCommon + "set title " + q(f.title) +
               "\nset xlabel 'x(t) (integer units of the series)'\n"
               "set ylabel 'x(t + delay) (integer units of the series)'\n"
               "set size ratio -1\nunset key\nset cblabel 'log10 of the pairs in a bin'\n"
               "set palette defined (0 '#c6dbef', 0.5 '#4292c6', 1 '#08306b')\n"
               "set xrange [" +
               num(lo) + ":" + num(lo + width * kPortraitBins) + "]\nset yrange [" + num(lo) + ":" +
               num(lo + width * kPortraitBins) + "]\nplot 'portrait.dat' matrix using " + xs + ":" +
               ys + ":3 with image\n";
    return f;
}

FigurePlan running_figure(const Analysis& a) {
    const Result& r = a.result;
    FigurePlan f;
    f.id = "running";
    f.title = "Running estimates of every dimension against the samples counted";
    const auto panels = static_cast<int>(r.dimensions.size());
    f.height = 70 + 230 * panels;
    std::string alt = "One panel per dimension: every exponent at each report point (every " +
                      std::to_string(kReportEvery) +
                      " counted steps), in bits per unit time, against the samples counted. ";
    std::string script = kCommon + "set multiplot layout " + std::to_string(panels) + ",1 title " +
                         q(f.title) +
                         "\nset xlabel 'samples counted (samples)'\n"
                         "set ylabel 'exponent (bits per unit time)'\n"
                         "set key outside right top\n";
    for (const auto& d : r.dimensions) {
        const std::string name = "running" + std::to_string(d.dimension) + ".dat";
        const std::string warm = "warmup" + std::to_string(d.dimension) + ".dat";
        std::string text, warm_text;
        std::size_t kept = 0;
        std::vector<std::size_t> counted;
        for (std::size_t k = 0; k < d.reports(); ++k) {
            if (d.warmup[k] != 0) {
                warm_text += std::to_string(d.samples[k]);
                for (const float v : d.exponents_at(k))
                    warm_text += ' ' + num(static_cast<double>(v));
                warm_text += '\n';
            } else {
                counted.push_back(k);
            }
        }
        for (const std::size_t i : thinned(counted.size())) {
            const std::size_t k = counted[i];
            text += std::to_string(d.samples[k]);
            for (const float v : d.exponents_at(k))
                text += ' ' + num(static_cast<double>(v));
            text += '\n';
            ++kept;
        }
        if (text.empty()) {
            // No counted report point yet: an undefined row keeps gnuplot's columns.
            text = "NaN";
            for (int i = 0; i < d.dimension; ++i)
                text += " NaN";
            text += '\n';
        }
        f.data.emplace_back(name, text);
        f.data.emplace_back(warm, warm_text.empty() ? "NaN NaN\n" : warm_text);
        script += "set title 'dimension " + std::to_string(d.dimension) + "'\n";
        script += "plot 0 with lines dt 2 lc rgb '#888888' notitle";
        for (int i = 1; i <= d.dimension; ++i) {
            const auto fi = static_cast<std::size_t>(i - 1);
            script += ", " + q(name) + " using 1:" + std::to_string(i + 1) +
                      " with lines lw 1.5 dt " + std::to_string(1 + (i - 1) % 4) + " lc rgb '" +
                      colour(fi) + "' title " +
                      q("λ" + std::to_string(i) + " (final " +
                        two(static_cast<double>(d.final_exponents[fi])) + ")");
        }
        if (!warm_text.empty()) {
            script += ", " + q(warm) +
                      " using 1:2 with points pt 6 ps 1.4 lc rgb '#000000' title 'warm-up record'";
        }
        script += "\n";
        alt += "Dimension " + std::to_string(d.dimension) + ": " + std::to_string(counted.size()) +
               " report points" +
               (kept < counted.size() ? " (" + std::to_string(kept) + " drawn)" : "") +
               ", final estimates at " + std::to_string(d.final_samples) + " samples:";
        for (const float v : d.final_exponents)
            alt += ' ' + two(static_cast<double>(v));
        if (!warm_text.empty()) {
            for (std::size_t k = 0; k < d.reports(); ++k) {
                if (d.warmup[k] != 0) {
                    alt += "; the warm-up record at " + std::to_string(d.samples[k]) +
                           " samples (estimates at an evolution time of one sample) is marked";
                    break;
                }
            }
        }
        alt += ". ";
    }
    script += "unset multiplot\n";
    f.script = script;
    f.alt = alt.substr(0, alt.size() - 1);
    return f;
}

FigurePlan lambda1_figure(const Analysis& a) {
    FigurePlan f;
    f.id = "lambda1";
    f.title = "λ1 ± its standard error against the embedding dimension";
    f.height = 320;
    std::string d, alt = "The largest exponent of every dimension, bits per unit time:";
    for (const auto& g : a.diagnosis.figures) {
        d += std::to_string(g.dimension) + ' ' + num(g.lambda1) + ' ' +
             num(g.lambda1_error.value_or(0.0)) + '\n';
        alt += " dimension " + std::to_string(g.dimension) + ": " + two(g.lambda1) +
               (g.lambda1_error ? " ± " + err3(*g.lambda1_error) : " (no standard error)") + ";";
    }
    alt.back() = '.';
    if (a.diagnosis.settles_from)
        alt += " λ1 settles from dimension " + std::to_string(*a.diagnosis.settles_from) + ".";
    f.alt = alt;
    f.data.emplace_back("lambda1.dat", d);
    f.script = kCommon + "set title " + q(f.title) +
               "\nset xlabel 'embedding dimension'\nset ylabel 'λ1 (bits per unit time)'\n"
               "set xtics 1\nset offsets 0.5, 0.5, 0.05, 0.05\n"
               "plot 'lambda1.dat' using 1:2:3 with yerrorbars pt 7 ps 1.2 lc rgb '" +
               colour(0) +
               "' title 'λ1 ± standard error', 'lambda1.dat' using 1:2 with lines lc rgb '" +
               colour(0) + "' notitle\n";
    return f;
}

FigurePlan delay_figure(const Analysis& a) {
    const DelaySuggestion& s = *a.delay;
    FigurePlan f;
    f.id = "delay";
    f.title = "Mutual information and autocorrelation against the lag; the suggested delay " +
              std::to_string(s.delay) + ", the delay used " +
              std::to_string(a.request.parameters.delay);
    f.height = 340;
    std::string d;
    for (std::size_t lag = 0; lag < s.mutual_information.size(); ++lag) {
        d += std::to_string(lag) + ' ' + num(s.mutual_information[lag]) + ' ' +
             (lag < s.autocorrelation.size() ? num(s.autocorrelation[lag]) : std::string("NaN")) +
             '\n';
    }
    f.data.emplace_back("delay.dat", d);
    const auto at = [&](int lag) {
        const auto l = static_cast<std::size_t>(std::max(0, lag));
        return l < s.mutual_information.size() ? two(s.mutual_information[l]) : std::string("-");
    };
    f.alt = "The mutual information of the series and itself delayed (bits, " +
            std::to_string(kDelayBins) + "-bin histograms) at lags 0 to " +
            std::to_string(s.max_lag) + " samples: " + at(0) + " bits at lag 0, " + at(s.delay) +
            " at the suggested delay " + std::to_string(s.delay) + " (" + s.method + ")" +
            (a.request.parameters.delay != s.delay
                 ? ", " + at(a.request.parameters.delay) + " at the delay used " +
                       std::to_string(a.request.parameters.delay)
                 : std::string(", which the run used")) +
            "." +
            (s.autocorrelation.empty() ? " The series is constant: it has no autocorrelation."
                                       : " The autocorrelation (right axis) is drawn beside it.");
    std::string script = kCommon + "set title " + q(f.title) +
                         "\nset xlabel 'lag (samples)'\nset ylabel 'mutual information (bits)'\n"
                         "set y2label 'autocorrelation'\nset y2tics\nset ytics nomirror\n"
                         "set y2range [-1:1]\n";
    script += "set arrow from " + std::to_string(s.delay) + ", graph 0 to " +
              std::to_string(s.delay) + ", graph 1 nohead lw 2 lc rgb '" + colour(1) + "'\n";
    script += "set label 'suggested delay " + std::to_string(s.delay) + "' at " +
              std::to_string(s.delay) + ", graph 0.92 offset 0.5,0 tc rgb '" + colour(1) + "'\n";
    if (a.request.parameters.delay != s.delay) {
        script += "set arrow from " + std::to_string(a.request.parameters.delay) + ", graph 0 to " +
                  std::to_string(a.request.parameters.delay) +
                  ", graph 1 nohead dt 2 lw 2 lc rgb '" + colour(2) + "'\n";
        script += "set label 'delay used " + std::to_string(a.request.parameters.delay) + "' at " +
                  std::to_string(a.request.parameters.delay) +
                  ", graph 0.82 offset 0.5,0 tc rgb '" + colour(2) + "'\n";
    }
    script += "plot 'delay.dat' using 1:2 with lines lw 2 lc rgb '" + colour(0) +
              "' title 'mutual information (bits)'";
    if (!s.autocorrelation.empty()) {
        script += ", 'delay.dat' using 1:3 axes x1y2 with lines dt 3 lw 1.5 lc rgb '" + colour(6) +
                  "' title 'autocorrelation (right axis)'";
    }
    f.script = script + "\n";
    return f;
}

FigurePlan cao_figure(const Analysis& a) {
    const CaoTable& c = *a.cao;
    FigurePlan f;
    f.id = "cao";
    f.title = "Cao's E1 and E2 against the embedding dimension (delay " + std::to_string(c.delay) +
              ", the first " + std::to_string(a.cao_samples) + " samples)";
    f.height = 320;
    std::string d, e1 = "E1:", e2 = "E2:";
    for (std::size_t i = 0; i < c.e1.size(); ++i) {
        d += std::to_string(i + 1) + ' ' + num(c.e1[i]) + ' ' + num(c.e2[i]) + '\n';
        e1 += ' ' + two(c.e1[i]);
        e2 += ' ' + two(c.e2[i]);
    }
    if (d.empty()) d = "NaN NaN NaN\n";
    f.data.emplace_back("cao.dat", d);
    f.alt = "Cao's statistics (maximum norm) at dimensions 1 to " + std::to_string(c.e1.size()) +
            ": " + e1 + "; " + e2 + ". " + c.reason +
            (c.dimension ? ": the suggested dimension is " + std::to_string(*c.dimension) + "."
                         : ": no dimension is suggested.") +
            " E1 saturates at " + two(thresholds::kCaoSaturation) + " (the dashed line).";
    std::string script = kCommon + "set title " + q(f.title) +
                         "\nset xlabel 'embedding dimension d'\n"
                         "set ylabel 'E1(d), E2(d) (ratios, no unit)'\nset xtics 1\n"
                         "set offsets 0.3, 0.3, 0.05, 0.05\nset key bottom right box opaque\n";
    if (c.dimension) {
        script += "set arrow from " + std::to_string(*c.dimension) + ", graph 0 to " +
                  std::to_string(*c.dimension) + ", graph 1 nohead lw 2 lc rgb '" + colour(1) +
                  "'\nset label 'suggested dimension " + std::to_string(*c.dimension) + "' at " +
                  std::to_string(*c.dimension) + ", graph 0.5 offset 0.5,0 tc rgb '" + colour(1) +
                  "'\n";
    }
    script += "plot " + num(thresholds::kCaoSaturation) +
              " with lines dt 2 lc rgb '#888888' title 'saturation of E1', 'cao.dat' using 1:2 "
              "with linespoints pt 7 lw 2 lc rgb '" +
              colour(0) +
              "' title 'E1', 'cao.dat' using 1:3 with linespoints pt 5 dt 3 lw 2 lc rgb '" +
              colour(2) + "' title 'E2'\n";
    f.script = script;
    return f;
}

FigurePlan surrogates_figure(const Analysis& a) {
    const SurrogateTest& t = *a.surrogates;
    FigurePlan f;
    f.id = "surrogates";
    f.title =
        "λ1 of the data and of " + std::to_string(t.count) + " IAAFT surrogates, every dimension";
    f.height = 360;
    std::string s, d;
    std::string alt = "λ1 in bits per unit time of the data (filled diamond) and of each of the " +
                      std::to_string(t.count) + " surrogates (dots) at every dimension.";
    for (const SurrogateRank& r : t.dimensions) {
        std::vector<double> v;
        for (std::size_t i = 0; i < r.surrogate_lambda1.size(); ++i) {
            const double x = r.surrogate_lambda1[i];
            if (!std::isnan(x)) v.push_back(x);
            // A strip: the surrogates spread across a band around their dimension.
            const double jitter = -0.2 + 0.4 * static_cast<double>(i) /
                                             static_cast<double>(std::max<std::size_t>(
                                                 1, r.surrogate_lambda1.size() - 1));
            s += num(r.dimension + jitter) + ' ' + num(x) + '\n';
        }
        std::sort(v.begin(), v.end());
        d += std::to_string(r.dimension) + ' ' + num(r.data_lambda1) + '\n';
        char p[32];
        std::snprintf(p, sizeof p, "%.3f", r.p_value);
        alt += " Dimension " + std::to_string(r.dimension) + ": data " + two(r.data_lambda1) +
               ", surrogates " +
               (v.empty() ? std::string("without a counted step")
                          : two(v.front()) + " to " + two(v.back())) +
               "; " + std::to_string(r.below) + " below the data, " + std::to_string(r.above) +
               " above, " + std::to_string(r.ties) + " tied or without a step; p = " + p +
               ", the data lies " + direction_name(r.direction) + " them: " + r.verdict + ".";
    }
    f.data.emplace_back("surrogates.dat", s);
    f.data.emplace_back("data.dat", d);
    f.alt = alt + " Verdict: " + t.verdict + ".";
    f.script = kCommon + "set title " + q(f.title) +
               "\nset xlabel 'embedding dimension'\nset ylabel 'λ1 (bits per unit time)'\n"
               "set xtics 1\nset offsets 0.5, 0.5, 0.05, 0.05\nset key outside right top\n"
               "plot 'surrogates.dat' using 1:2 with points pt 7 ps 0.5 lc rgb '" +
               colour(6) +
               "' title 'surrogates', 'data.dat' using 1:2 with points pt 13 ps 2 lc rgb '" +
               colour(1) + "' title 'the data'\n";
    return f;
}

FigurePlan reversal_figure(const ReverseCheck& c) {
    FigurePlan f;
    f.id = "reversal";
    f.title = "Time reversal, dimension " + std::to_string(c.dimension) +
              ": forward exponents and negated reversed ones";
    f.height = 340;
    std::string confirmed, spurious, open, reversed;
    for (std::size_t i = 0; i < c.forward.size(); ++i) {
        const std::string row = std::to_string(i + 1) + ' ' + num(c.forward[i]) + '\n';
        if (c.marks[i] == Reversal::Confirmed) {
            confirmed += row;
        } else if (c.marks[i] == Reversal::LikelySpurious) {
            spurious += row;
        } else {
            open += row;
        }
    }
    // The negated reversed exponents, from the largest, beside the forward ranks.
    std::vector<double> negated;
    for (const double v : c.reversed)
        negated.push_back(-v);
    std::sort(negated.rbegin(), negated.rend());
    for (std::size_t i = 0; i < negated.size(); ++i)
        reversed += std::to_string(i + 1) + ' ' + num(negated[i]) + '\n';
    const auto or_nan = [](const std::string& s) {
        return s.empty() ? std::string("NaN NaN\n") : s;
    };
    f.data.emplace_back("confirmed.dat", or_nan(confirmed));
    f.data.emplace_back("spurious.dat", or_nan(spurious));
    f.data.emplace_back("inconclusive.dat", or_nan(open));
    f.data.emplace_back("reversed.dat", or_nan(reversed));
    std::string alt = "The test is " + std::string(c.conclusive ? "conclusive" : "inconclusive") +
                      " (" + c.reason + "). Forward exponents, bits per unit time:";
    for (std::size_t i = 0; i < c.forward.size(); ++i) {
        alt += ' ' + two(c.forward[i]) + " " + reversal_name(c.marks[i]);
        if (c.partner[i] >= 0)
            alt += " (reversed " + two(c.reversed[static_cast<std::size_t>(c.partner[i])]) + ")";
        alt += i + 1 < c.forward.size() ? "," : ".";
    }
    alt += " Reversed exponents:";
    for (const double v : c.reversed)
        alt += ' ' + two(v);
    f.alt = alt + ".";
    f.script =
        kCommon + "set title " + q(f.title) +
        "\nset xlabel 'rank from the largest'\nset ylabel 'exponent (bits per unit time)'\n"
        "set xtics 1\nset offsets 0.4, 0.4, 0.1, 0.1\nset key outside right top\n"
        "plot 0 with lines dt 2 lc rgb '#888888' notitle, "
        "'reversed.dat' using 1:2 with points pt 6 ps 2.2 lc rgb '" +
        colour(6) +
        "' title 'negated reversed', 'confirmed.dat' using 1:2 with points pt 7 ps 1.3 lc rgb '" +
        colour(2) +
        "' title 'confirmed', 'spurious.dat' using 1:2 with points pt 2 ps 1.8 lw 2 lc rgb '" +
        colour(1) +
        "' title 'likely spurious', 'inconclusive.dat' using 1:2 with points pt 4 ps 1.3 lc rgb '" +
        colour(0) + "' title 'inconclusive'\n";
    return f;
}

}  // namespace

std::vector<FigurePlan> report_figures(const Analysis& a) {
    std::vector<FigurePlan> figures;
    const bool counted = a.result.counted_steps > 0;
    if (!used_samples(a).empty()) {
        figures.push_back(series_figure(a));
        figures.push_back(portrait_figure(a));
    }
    if (counted) {
        figures.push_back(running_figure(a));
        figures.push_back(lambda1_figure(a));
    }
    if (a.delay) figures.push_back(delay_figure(a));
    if (a.cao && !a.cao->e1.empty()) figures.push_back(cao_figure(a));
    if (a.surrogates) figures.push_back(surrogates_figure(a));
    if (a.diagnosis.reversal) figures.push_back(reversal_figure(*a.diagnosis.reversal));
    return figures;
}

FigurePlan convergence_figure(const Result& r, int width, int height) {
    FigurePlan f;
    f.id = "convergence";
    f.title = "Running λ1 of every dimension";
    f.width = width;
    f.height = height;
    std::string script = kCommon + "set title " + q(f.title) +
                         "\nset xlabel 'samples counted (samples)'\n"
                         "set ylabel 'λ1 (bits per unit time)'\nset key outside right top\nplot ";
    std::string alt = "λ1 at every report point against the samples counted; final values:";
    std::size_t i = 0;
    for (const auto& d : r.dimensions) {
        std::vector<std::size_t> counted;
        for (std::size_t k = 0; k < d.reports(); ++k)
            if (d.warmup[k] == 0) counted.push_back(k);
        std::string text;
        for (const std::size_t j : thinned(counted.size())) {
            const std::size_t k = counted[j];
            const auto e = d.exponents_at(k);
            double top = static_cast<double>(e[0]);
            for (const float v : e)
                top = std::max(top, static_cast<double>(v));
            text += std::to_string(d.samples[k]) + ' ' + num(top) + '\n';
        }
        const std::string name = "lambda1_" + std::to_string(d.dimension) + ".dat";
        f.data.emplace_back(name, text.empty() ? "NaN NaN\n" : text);
        script += (i == 0 ? "" : ", ") + q(name) + " using 1:2 with lines lw 1.5 dt " +
                  std::to_string(1 + i % 4) + " lc rgb '" + colour(i) +
                  "' title 'm = " + std::to_string(d.dimension) + "'";
        alt += " dimension " + std::to_string(d.dimension) + ": " + two(lambda1_of(d)) + ";";
        ++i;
    }
    f.script = script + "\n";
    alt.back() = '.';
    f.alt = alt;
    return f;
}

}  // namespace tarnvex
