// tarnvex-kit suggest: an embedding delay and a check of the series' integer resolution.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include "kit/commands.hpp"
#include "kit/files.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"
#include "tarnvex/delay.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/significance.hpp"

namespace tarnvex::kit {

namespace {
// Cao's statistics over the first this many samples: enough to judge, and quick.
constexpr std::size_t kCaoSamples = 4000;
}  // namespace

int cmd_suggest(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const CommandHelp& help = *find_command("suggest");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    const int max_lag = static_cast<int>(o.get_long("--max-lag", kDelayMaxLag, 2, 10000));
    const int bins = static_cast<int>(o.get_long("--bins", kDelayBins, 2, 1000));
    // Read as tarnvex reads it.
    const SeriesReading reading = read_series_file(o.positional()[0], o.has("--free-format"));
    const std::vector<float>& samples = reading.samples;
    if (samples.empty()) throw FileError(o.positional()[0] + " holds no values");
    std::vector<double> x;
    for (const float v : samples)
        x.push_back(static_cast<double>(v));
    DelaySuggestion s;
    try {
        s = suggest_delay(x, max_lag, bins);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
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
