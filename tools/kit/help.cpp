#include "kit/help.hpp"

#include <ostream>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

namespace {

// The answers of a run, shared by run and sweep.
std::vector<OptionHelp> run_answers(bool lists) {
    const std::string list = lists ? " (a comma-separated list gives a grid)" : "";
    return {
        {"--npts", "N",
         "samples to use (default: all of them, at most " + std::to_string(kMaxSamples) +
             "; the program tarnvex itself reads only the first " +
             std::to_string(kProgramSamples) + ")"},
        {"--ncube", lists ? "K1,K2,..." : "K",
         "neighbours per neighbourhood, 1 to 200 (default 30)" + list},
        {"--tmax", "T", "counted steps wanted after the warm-up (default: to the end of the data)"},
        {"--delay", lists ? "D1,D2,..." : "D", "embedding delay in samples (default 1)" + list},
        {"--dims", "FROM:TO", "embedding dimensions, 1 to 20 (default 2:4)"},
        {"--start", "I", "first reference point, a sample index from 1 (default 1)"},
        {"--dt", "DT",
         "sampling step in your unit of time (default 1); the exponents come in "
         "bits per that unit"},
        {"--evolv", lists ? "E1,E2,..." : "E",
         "evolution time of a step in samples (default 1)" + list},
        {"--radius-pct", lists ? "P1,P2,..." : "P",
         "initial search radius in percent of the range of the data (default 2)" + list},
        {"--free-format", "",
         "read every number of the series file in order, as tarnvex does, even when the "
         "file looks like a table, decimal commas or a column of times"},
    };
}

std::vector<CommandHelp> make_commands() {
    std::vector<CommandHelp> c;
    c.push_back(
        {"gen",
         "SYSTEM",
         "a series from a system with known exponents (henon, logistic, "
         "lorenz, rossler)",
         {{"-n", "N",
           "samples (default: the system's, at most " + std::to_string(kMaxSamples) + ")"},
          {"--transient", "N", "iterations or steps dropped first (default: the system's)"},
          {"--step", "H", "integration and sampling step of a flow (default: the system's)"},
          {"--scale", "S", "factor before truncation to integers (default: the system's)"},
          {"-o", "FILE",
           "write the series to FILE, never over an existing file (default: "
           "standard output)"}},
         "tarnvex-kit gen henon -n 3000 -o henon.dat"});
    c.push_back({"prep",
                 "FILE",
                 "one column of a measurement file as an integer series",
                 {{"--column", "N", "the column, from 1 (default 1)"},
                  {"--skip", "N", "header lines dropped first (default 0)"},
                  {"--decimal-comma", "",
                   "a comma is the decimal point; cells are separated by "
                   "blanks, tabs or semicolons"},
                  {"--steps", "S", "integer steps the range of the column spans (default 100000)"},
                  {"--cut", "",
                   "keep the first " + std::to_string(kMaxSamples) + " values of a longer column"},
                  {"-o", "OUT",
                   "write the series to OUT, never over an existing file (default: "
                   "standard output)"}},
                 "tarnvex-kit prep measurement.csv --skip 1 --column 2 -o series.dat"});
    c.push_back({"table",
                 "RESULT",
                 "a result file as a tidy table",
                 {{"--tsv", "", "tab-separated instead of comma-separated"},
                  {"--last", "", "the final estimates of each dimension only"}},
                 "tarnvex-kit table henon.1.out --last"});
    c.push_back({"plot",
                 "RESULT",
                 "the running estimates drawn with gnuplot",
                 {{"-o", "OUT.png|OUT.svg", "the image to write (required)"},
                  {"--dims", "2,3", "the dimensions to draw (default: all of them)"},
                  {"--width", "PIXELS", "width of the image (default 900)"},
                  {"--summary", "SUMMARY",
                   "the summary `run --json` wrote: adds lambda1 against "
                   "the dimension and the verdict"},
                  {"--force", "", "overwrite an existing image"}},
                 "tarnvex-kit plot henon.1.out -o henon.png"});
    CommandHelp run{"run", "SERIES", "the estimate with every answer as an option, and a verdict",
                    run_answers(false),
                    "tarnvex-kit run lorenz.dat --delay 5 --dt 0.01 --dims 2:4"};
    run.options.push_back({"-o", "RESULT",
                           "the result file, never over an existing file "
                           "(default: a fresh STEM.N.out next to the series)"});
    run.options.push_back({"--keep-transcript", "FILE",
                           "write the console transcript tarnvex "
                           "would have written, dialogue included (a series of at "
                           "most " +
                               std::to_string(kProgramSamples) +
                               " samples: tarnvex reads no more)"});
    run.options.push_back({"--json", "FILE",
                           "write the whole summary as JSON (- for standard "
                           "output)"});
    run.options.push_back({"--strict", "", "exit with status 4 when the verdict has warnings"});
    run.options.push_back({"--threads", "N",
                           "threads that share the dimensions of a step "
                           "(default 0: every processor this process may "
                           "use; a small run uses one)"});
    run.options.push_back({"--quick", "",
                           "one estimate only: skip the verdict's runs at half "
                           "the radius and of the reversed series (their checks "
                           "are then listed as not checked)"});
    run.options.push_back({"--reverse-check", "",
                           "make the time-reversed run even under --quick "
                           "(without --quick it is always made)"});
    c.push_back(run);
    CommandHelp sweep{"sweep", "SERIES",
                      "a grid of runs, one CSV row each (quick: without the verdict's extra "
                      "runs, listed in the not_checked column)",
                      run_answers(true),
                      "tarnvex-kit sweep henon.dat --ncube 20,30 --evolv 1,2 --dims 2:2 -j 2 "
                      "--csv grid.csv"};
    sweep.options.push_back({"-j", "N", "runs at a time (default 1)"});
    sweep.options.push_back({"--csv", "OUT", "write the rows to OUT, never over an existing file"});
    c.push_back(sweep);
    c.push_back({"suggest",
                 "SERIES",
                 "an embedding delay, an embedding dimension and the series' integer resolution",
                 {{"--max-lag", "N", "largest delay examined, in samples (default 200)"},
                  {"--bins", "B", "histogram bins of the mutual information (default 16)"},
                  {"--delay", "D", "the delay of the dimension table (default: the suggested one)"},
                  {"--max-dim", "M", "largest embedding dimension examined (default 10)"},
                  {"--free-format", "",
                   "read every number of the series file in order, as tarnvex does, even "
                   "when the file looks like a table, decimal commas or a column of times"}},
                 "tarnvex-kit suggest lorenz.dat"});
    CommandHelp surrogates{"surrogates", "SERIES",
                           "is lambda1 more than a linear stochastic process gives? (IAAFT "
                           "surrogates and a rank test)",
                           run_answers(false), "tarnvex-kit surrogates henon.dat --dims 2:2 -j 2"};
    surrogates.options.push_back({"--count", "N",
                                  "surrogates (default 39, the fewest for a "
                                  "two-sided test at 5 %)"});
    surrogates.options.push_back({"--seed", "S",
                                  "seed of the surrogates (default 1); the same "
                                  "seed gives the same answers whatever -j is"});
    surrogates.options.push_back({"-j", "N", "runs at a time (default 1)"});
    c.push_back(surrogates);
    CommandHelp report{"report", "SERIES",
                       "one self-contained HTML page of a whole analysis: the verdict, the "
                       "exponents, the figures, the parameters and the timings",
                       run_answers(false),
                       "tarnvex-kit report henon.dat --dims 2:3 --surrogates 39"};
    report.options.push_back({"-o", "FILE.html",
                              "the page, never over an existing file (default: a fresh "
                              "STEM.N.html next to the series)"});
    report.options.push_back({"--quick", "",
                              "skip the runs at half the radius and of the reversed series "
                              "(their checks are then listed as not checked)"});
    report.options.push_back({"--surrogates", "N",
                              "add the surrogate test with N surrogates (default 0: none; "
                              "39 is the fewest that can reject at 5 %)"});
    report.options.push_back({"--seed", "S", "seed of the surrogates (default 1)"});
    report.options.push_back({"-j", "N", "surrogate runs at a time (default: every processor)"});
    report.options.push_back({"--threads", "N",
                              "threads that share the dimensions of a step (default 0: every "
                              "processor this process may use; a small run uses one)"});
    report.options.push_back({"--strict", "",
                              "exit with status 4 when the verdict has warnings (the page is "
                              "written all the same)"});
    c.push_back(report);
    return c;
}

}  // namespace

const std::vector<CommandHelp>& all_commands() {
    static const std::vector<CommandHelp> commands = make_commands();
    return commands;
}

const CommandHelp* find_command(const std::string& name) {
    for (const auto& c : all_commands())
        if (c.name == name) return &c;
    return nullptr;
}

void print_help(std::ostream& out, const CommandHelp& c) {
    out << "usage: tarnvex-kit " << c.name << ' ' << c.arguments;
    for (const auto& o : c.options)
        out << " [" << o.name << (o.value.empty() ? "" : " " + o.value) << ']';
    out << "\n\n" << c.summary << "\n";
    // The commands that read or write a whole series take more samples than the program.
    for (const char* name : {"gen", "prep", "run", "sweep", "suggest", "surrogates"}) {
        if (c.name == name) {
            out << "\nA series may hold up to " << kMaxSamples
                << " samples; every one is used. The program tarnvex itself reads only the "
                   "first "
                << kProgramSamples << ".\n";
        }
    }
    out << "\noptions:\n";
    for (const auto& o : c.options) {
        const std::string head = "  " + o.name + (o.value.empty() ? "" : " " + o.value);
        out << head << std::string(head.size() < 26 ? 26 - head.size() : 1, ' ') << o.text << "\n";
    }
    out << "  -h, --help                help of this command\n";
    out << "\nexample:\n  " << c.example << "\n";
}

void print_commands(std::ostream& out) {
    out << "usage: tarnvex-kit COMMAND [options]; tarnvex-kit help COMMAND, or COMMAND --help\n"
           "commands:\n";
    for (const auto& c : all_commands()) {
        const std::string head = "  " + c.name + " " + c.arguments;
        out << head << std::string(head.size() < 18 ? 18 - head.size() : 1, ' ') << c.summary
            << "\n";
    }
    out << "  --version       the version of tarnvex-kit\n";
}

std::vector<std::string> valued_options(const CommandHelp& c) {
    std::vector<std::string> v;
    for (const auto& o : c.options)
        if (!o.value.empty()) v.push_back(o.name);
    return v;
}

std::vector<std::string> flag_options(const CommandHelp& c) {
    std::vector<std::string> v;
    for (const auto& o : c.options)
        if (o.value.empty()) v.push_back(o.name);
    return v;
}

}  // namespace tarnvex::kit
