// tarnvex-kit suggest: an embedding delay and a check of the series' integer resolution.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "kit/commands.hpp"
#include "kit/files.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/significance.hpp"

namespace tarnvex::kit {

std::vector<double> mutual_information(const std::vector<double>& x, int max_lag, int bins) {
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double xmin = *lo;
    const double width = (*hi - xmin) / bins;
    std::vector<int> bin(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const int b = width > 0.0 ? static_cast<int>((x[i] - xmin) / width) : 0;
        bin[i] = std::min(b, bins - 1);
    }
    std::vector<double> mi;
    const auto ub = static_cast<std::size_t>(bins);
    for (int lag = 0; lag <= max_lag; ++lag) {
        const std::size_t n = x.size() - static_cast<std::size_t>(lag);
        std::vector<double> joint(ub * ub, 0.0), pa(ub, 0.0), pb(ub, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            const auto a = static_cast<std::size_t>(bin[i]);
            const auto b = static_cast<std::size_t>(bin[i + static_cast<std::size_t>(lag)]);
            joint[a * ub + b] += 1.0;
            pa[a] += 1.0;
            pb[b] += 1.0;
        }
        double sum = 0.0;
        const double dn = static_cast<double>(n);
        for (std::size_t a = 0; a < ub; ++a) {
            for (std::size_t b = 0; b < ub; ++b) {
                const double pj = joint[a * ub + b] / dn;
                if (pj > 0.0) sum += pj * std::log2(pj / ((pa[a] / dn) * (pb[b] / dn)));
            }
        }
        mi.push_back(sum);
    }
    return mi;
}

DelaySuggestion suggest_delay(const std::vector<double>& x, int max_lag, int bins) {
    if (x.size() < 8) throw UsageError("too few samples to suggest a delay");
    max_lag = std::min<int>(max_lag, static_cast<int>(x.size() / 2));
    DelaySuggestion s;
    s.mutual_information = mutual_information(x, max_lag, bins);
    const auto& mi = s.mutual_information;
    // The first lag whose estimate lies below the two before it and not above the two after
    // it: a histogram estimate wobbles, and a single step down is no minimum yet.
    constexpr int kWindow = 2;
    for (int lag = 1; lag + kWindow <= max_lag; ++lag) {
        bool minimum = true;
        for (int k = std::max(0, lag - kWindow); k < lag; ++k) {
            minimum =
                minimum && mi[static_cast<std::size_t>(lag)] < mi[static_cast<std::size_t>(k)];
        }
        for (int k = lag + 1; k <= lag + kWindow; ++k) {
            minimum =
                minimum && mi[static_cast<std::size_t>(lag)] <= mi[static_cast<std::size_t>(k)];
        }
        if (minimum) {
            s.delay = lag;
            s.method = "first minimum of the mutual information";
            return s;
        }
    }
    double mean = 0.0;
    for (double v : x)
        mean += v;
    mean /= static_cast<double>(x.size());
    double var = 0.0;
    for (double v : x)
        var += (v - mean) * (v - mean);
    for (int lag = 1; lag <= max_lag && var > 0.0; ++lag) {
        double c = 0.0;
        for (std::size_t i = 0; i + static_cast<std::size_t>(lag) < x.size(); ++i) {
            c += (x[i] - mean) * (x[i + static_cast<std::size_t>(lag)] - mean);
        }
        if (c / var <= 0.0) {
            s.delay = lag;
            s.method =
                "first zero of the autocorrelation (the mutual information has no minimum up to "
                "lag " +
                std::to_string(max_lag) + ")";
            return s;
        }
    }
    s.delay = 1;
    s.method =
        "no minimum of the mutual information and no zero of the autocorrelation up to lag " +
        std::to_string(max_lag) + "; 1 by default";
    return s;
}

namespace {
// Cao's statistics over the first this many samples: enough to judge, and quick.
constexpr std::size_t kCaoSamples = 4000;
}  // namespace

int cmd_suggest(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const CommandHelp& help = *find_command("suggest");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    const int max_lag = static_cast<int>(o.get_long("--max-lag", 200, 2, 10000));
    const int bins = static_cast<int>(o.get_long("--bins", 16, 2, 1000));
    // Read as tarnvex reads it.
    const SeriesReading reading = read_series_file(o.positional()[0], o.has("--free-format"));
    const std::vector<float>& samples = reading.samples;
    if (samples.empty()) throw FileError(o.positional()[0] + " holds no values");
    std::vector<double> x;
    for (const float v : samples)
        x.push_back(static_cast<double>(v));
    const DelaySuggestion s = suggest_delay(x, max_lag, bins);
    out << "samples: " << x.size() << "\n";
    if (const std::string cut = reading.cut_note(); !cut.empty()) out << cut << "\n";
    out << "suggested delay: " << s.delay << " (" << s.method << ")\n";
    // The embedding dimension for the suggested delay (or the one given).
    const int delay = static_cast<int>(o.get_long("--delay", s.delay, 1, 1000));
    const int max_dim = static_cast<int>(o.get_long("--max-dim", 10, 2, 20));
    const CaoTable cao = cao_dimension(samples, delay, max_dim, kCaoSamples);
    out << "embedding dimension (Cao's E1 and E2, maximum norm, delay " << delay << ", first "
        << std::min(samples.size(), kCaoSamples) << " samples):\n     m     E1     E2\n";
    for (std::size_t d = 0; d < cao.e1.size(); ++d) {
        char row[64];
        std::snprintf(row, sizeof row, "  %4zu  %5.2f  %5.2f\n", d + 1, cao.e1[d], cao.e2[d]);
        out << row;
    }
    // Never a dimension that a run of this series would call short.
    const int resolvable = highest_resolvable_dimension(static_cast<std::int64_t>(samples.size()));
    if (cao.dimension && *cao.dimension > resolvable) {
        out << "suggested dimension: none (" << cao.reason << ", but " << samples.size()
            << " samples resolve dimensions up to " << resolvable << ": dimension "
            << *cao.dimension << " needs at least "
            << static_cast<long long>(
                   std::ceil(std::pow(10.0, *cao.dimension / thresholds::kEckmannRuelle)))
            << " samples)\n";
    } else if (cao.dimension) {
        out << "suggested dimension: " << *cao.dimension << " (" << cao.reason << ")\n";
    } else {
        out << "suggested dimension: none (" << cao.reason << ")\n";
    }
    const SeriesFacts facts = series_facts(samples);
    out << "integer resolution: " << facts.distinct_integers
        << " distinct values over an extent of " << facts.int_max - facts.int_min << "\n";
    // The checks a run would make of the series: the shortest useful run (dimension 2,
    // evolution time 1, to the end of the data) and the resolution.
    const std::int64_t n = facts.samples_used;
    for (const auto& w :
         {short_check(2, n, iteration_budget(static_cast<std::int32_t>(n), 1) - kWarmupIterations),
          coarse_check(facts)}) {
        if (w) out << "warning (" << w->code << "): " << w->message << "; " << w->advice << "\n";
    }
    return 0;
}

}  // namespace tarnvex::kit
