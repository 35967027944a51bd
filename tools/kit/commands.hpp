#pragma once
// The subcommands of tarnvex-kit; each returns the exit status and reports refusals by
// throwing UsageError.

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace tarnvex::kit {

int cmd_gen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_prep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_table(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_plot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_sweep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_suggest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_surrogates(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int cmd_report(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// prep, as a function over the file's text.
struct PrepOptions {
    long column = 1;      // 1-based
    long skip = 0;        // header lines dropped first
    long steps = 100000;  // integer steps the range spans
    bool decimal_comma = false;
    bool cut = false;  // keep the first kMaxSamples values of a longer column
};
struct PreparedSeries {
    std::string text;  // one integer a line
    long count = 0;
    double offset = 0.0;  // the smallest value, which becomes 0
    double factor = 0.0;  // integers per unit of the column
    long distinct_before = 0;
    long distinct_after = 0;
};
PreparedSeries prepare_series(const std::string& text, const PrepOptions& opt);

// plot, as a function: the gnuplot script and its data files (path -> text) for the
// chosen dimensions (all when empty) of a result file, with the lambda1 panel and the
// verdict of a summary when one is given.
struct Json;
struct ResultFile;
struct PlotFiles {
    std::string script;
    std::map<std::string, std::string> data;
    std::size_t panels = 0;
    long height = 0;
};
PlotFiles plot_files(const ResultFile& r, const std::vector<int>& dims, const Json* summary,
                     const std::string& dir, const std::string& output, long width);

// The full path of an executable found on PATH, or an empty string.
std::string find_on_path(const std::string& name);

// Runs a subcommand by name: the whole tool as a function, for tests.
int run_kit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarnvex::kit
