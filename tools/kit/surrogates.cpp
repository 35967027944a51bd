// tarnvex-kit surrogates: lambda1 of the data against IAAFT surrogates of it.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include "kit/commands.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"
#include "median.hpp"
#include "tarnvex/significance.hpp"

namespace tarnvex::kit {

int cmd_surrogates(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const CommandHelp& help = *find_command("surrogates");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    const RunParams p = run_params_of(o);
    const int count = static_cast<int>(o.get_long("--count", thresholds::kMinSurrogates, 1, 10000));
    const auto seed = static_cast<std::uint64_t>(o.get_long("--seed", 1, 0, 2147483647));
    const int jobs = static_cast<int>(o.get_long("-j", 1, 1, 64));
    const SeriesReading reading = read_series_file(o.positional()[0], o.has("--free-format"));
    const std::vector<float>& samples = reading.samples;
    refuse_one_integer(samples, p);
    check_parameters(samples, p);
    SurrogateTest t;
    try {
        t = surrogate_test(samples, p, count, seed, jobs);
    } catch (const std::invalid_argument& e) {
        throw KitError(kStatusNoSteps, e.what());
    }
    const auto two = [](double v) { return fixed2(static_cast<float>(v)); };
    out << reading_line(reading, derive(samples, p).npts) << "\n";
    out << "lambda1 against " << t.count << " surrogates (seed " << seed
        << "), bits per unit time:\n";
    for (const SurrogateRank& d : t.dimensions) {
        std::vector<double> s = d.surrogate_lambda1;
        s.erase(std::remove_if(s.begin(), s.end(), [](double v) { return std::isnan(v); }),
                s.end());
        const double middle = median(s);
        std::sort(s.begin(), s.end());
        out << "  dimension " << d.dimension << ": data " << two(d.data_lambda1) << "; surrogates ";
        if (s.empty()) {
            out << "counted no step\n";
        } else {
            out << "min " << two(s.front()) << ", median " << two(middle) << ", max "
                << two(s.back()) << "\n";
        }
        if (static_cast<int>(s.size()) < t.count) {
            out << "    " << t.count - static_cast<int>(s.size())
                << " surrogate runs counted no step (they count against rejection)\n";
        }
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "    %d surrogates below the data, %d above, %d tied or without a step; "
                      "two-sided p = %.3f\n",
                      d.below, d.above, d.ties, d.p_value);
        out << buf << "    " << d.verdict << "\n";
    }
    out << "verdict: " << t.verdict << "\n";
    return kStatusOk;
}

}  // namespace tarnvex::kit
