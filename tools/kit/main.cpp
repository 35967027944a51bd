// tarnvex-kit: companion tools around tarnvex.

#include <iostream>
#include <string>
#include <vector>

#include "kit/commands.hpp"
#include "kit/options.hpp"

namespace tarnvex::kit {

namespace {
constexpr const char* kUsage =
    "usage: tarnvex-kit COMMAND [options]\n"
    "commands:\n"
    "  gen SYSTEM      write a series from a system with known exponents\n"
    "  prep FILE       one column of a measurement file as an integer series\n"
    "  table RESULT    a result file as a CSV or TSV table (--last: final estimates)\n"
    "  plot RESULT     the running estimates drawn with gnuplot (-o OUT.png|.svg)\n"
    "  run SERIES      tarnvex with every answer as an option, and a summary of the run\n"
    "  sweep SERIES    a grid of runs (--ncube 20,30 --evolv 1,2 ...), one CSV row each\n"
    "  suggest SERIES  an embedding delay and the series' integer resolution\n";
}

int run_kit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    try {
        if (args[0] == "gen") return cmd_gen(rest, out, err);
        if (args[0] == "prep") return cmd_prep(rest, out, err);
        if (args[0] == "table") return cmd_table(rest, out, err);
        if (args[0] == "plot") return cmd_plot(rest, out, err);
        if (args[0] == "run") return cmd_run(rest, out, err);
        if (args[0] == "sweep") return cmd_sweep(rest, out, err);
        if (args[0] == "suggest") return cmd_suggest(rest, out, err);
        err << "tarnvex-kit: unknown command '" << args[0] << "'\n" << kUsage;
        return 2;
    } catch (const KitError& e) {
        err << "tarnvex-kit " << args[0] << ": " << e.what() << "\n";
        return e.status();
    }
}

}  // namespace tarnvex::kit
