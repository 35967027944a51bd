// tarnvex-kit plot: the running estimates of a result file drawn with gnuplot.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/files.hpp"
#include "kit/help.hpp"
#include "kit/json.hpp"
#include "kit/options.hpp"
#include "kit/result_file.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

namespace {

// A string in gnuplot's single quotes.
std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c;
        if (c == '\'') q += '\'';
    }
    return q + "'";
}

// Lines of text in one string in gnuplot's double quotes, a line break between them.
std::string dquoted_lines(const std::vector<std::string>& lines) {
    std::string q = "\"";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) q += "\\n";
        for (char c : lines[i]) {
            if (c == '\\' || c == '"') q += '\\';
            q += c;
        }
    }
    return q + "\"";
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    const auto e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

int run_program(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string find_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

namespace {

// The run's parameters from the result file's header.
std::string parameters_line(const ResultFile& r) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "npts %ld, ncube %ld, tmax %ld, delay %ld, dimensions %ld to %ld, dt %g, evolv "
                  "%ld, radius %g %%",
                  r.npts, r.ncube, r.tmax, r.delay, static_cast<long>(r.dims.from),
                  static_cast<long>(r.dims.to), r.dt, r.evolv, r.radius_pct);
    return buf;
}

// "time reversal, dimension 3: 0.92 likely spurious, 0.55 confirmed, ..." (both spectra),
// from the reverse check of a summary.
std::string reversal_line(const Json& rc) {
    std::string s = "time reversal, dimension " +
                    std::to_string(static_cast<int>(rc["dimension"].number)) + ":";
    const auto& forward = rc["forward"].array;
    const auto& marks = rc["marks"].array;
    char buf[64];
    for (std::size_t i = 0; i < forward.size() && i < marks.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s %.2f %s", i == 0 ? "" : ",", forward[i].number,
                      marks[i].string.c_str());
        s += buf;
    }
    s += "; reversed:";
    for (const Json& v : rc["reversed"].array) {
        std::snprintf(buf, sizeof buf, " %.2f", v.number);
        s += buf;
    }
    return s;
}

// "verdict: no warnings" or "warnings: code, code" from a summary.
std::string verdict_line(const Json& summary) {
    const auto& warnings = summary["warnings"].array;
    std::string s = warnings.empty() ? "verdict: no warnings" : "warnings:";
    for (std::size_t i = 0; i < warnings.size(); ++i)
        s += (i == 0 ? " " : ", ") + warnings[i]["code"].string;
    const auto& unchecked = summary["not_checked"].array;
    for (std::size_t i = 0; i < unchecked.size(); ++i)
        s += (i == 0 ? "; not checked: " : ", ") + unchecked[i].string;
    return s;
}

// Refuses a summary that another run wrote: its parameters must be the result file's, and
// its result file must have this file's name (or the name of the run it was stopped from).
void check_summary_matches(const Json& summary, const ResultFile& r, const std::string& path,
                           const std::string& summary_path) {
    const Json& p = summary["parameters"];
    const auto same = [](double a, double b) {
        return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
    };
    std::string differs;
    const std::pair<const char*, double> fields[] = {{"npts", static_cast<double>(r.npts)},
                                                     {"ncube", static_cast<double>(r.ncube)},
                                                     {"tmax", static_cast<double>(r.tmax)},
                                                     {"delay", static_cast<double>(r.delay)},
                                                     {"evolv", static_cast<double>(r.evolv)},
                                                     {"dt", r.dt},
                                                     {"radius_pct", r.radius_pct}};
    for (const auto& [name, value] : fields) {
        if (p[name].is_null() || !same(p[name].number, value))
            differs += (differs.empty() ? "" : ", ") + std::string(name);
    }
    // The dimensions: "dims" since format 2, "mfrom" and "mto" before.
    const Json& dims = p["dims"];
    const bool dims_match =
        dims.array.size() == 2
            ? same(dims.array[0].number, r.dims.from) && same(dims.array[1].number, r.dims.to)
            : !p["mfrom"].is_null() && !p["mto"].is_null() &&
                  same(p["mfrom"].number, r.dims.from) && same(p["mto"].number, r.dims.to);
    if (!dims_match) differs += (differs.empty() ? "" : ", ") + std::string("dims");
    const std::string theirs =
        std::filesystem::path(summary["result_file"].string).filename().string();
    std::string ours = std::filesystem::path(path).filename().string();
    if (r.stopped) ours = ours.substr(0, ours.size() - std::string(".partial").size());
    // The series: the header holds its name when it fitted 20 characters.
    const std::string infile = trim(r.series_name);
    if (const Json& series = summary["series_file"]; !series.is_null() && infile != "series.dat") {
        const std::string name = std::filesystem::path(series.string).filename().string();
        if (name != infile) differs += (differs.empty() ? "" : ", ") + std::string("series");
    }
    // The last record of every dimension, as the file rounds it.
    for (const Json& dim : summary["dimensions"].array) {
        const Json& last = dim["last_record"];
        if (last.is_null()) continue;
        const SpectrumRecord* rec = nullptr;
        for (const auto& x : r.records)
            if (x.dimension == static_cast<int>(dim["dimension"].number)) rec = &x;
        bool same_record = rec != nullptr &&
                           static_cast<double>(rec->samples) == last["samples"].number &&
                           rec->estimates.size() == last["estimates"].array.size();
        for (std::size_t i = 0; same_record && i < rec->estimates.size(); ++i) {
            const double v = last["estimates"].array[i].number;
            same_record =
                std::isnan(rec->estimates[i]) || std::fabs(rec->estimates[i] - v) <= 0.0051;
        }
        if (!same_record) {
            differs += (differs.empty() ? "" : ", ") + std::string("estimates");
            break;
        }
    }
    if (differs.empty() && theirs == ours) return;
    throw UsageError(summary_path + " is the summary of another run (" +
                     (differs.empty() ? "its result file is " + theirs
                                      : "it differs in " + differs + " from " + path) +
                     ")");
}

}  // namespace

// The most records of one dimension a curve is drawn through.
constexpr std::size_t kMaxPlotRecords = 2000;

PlotFiles plot_files(const ResultFile& r, const std::vector<int>& dims, const Json* summary,
                     const std::string& dir, const std::string& output, long width) {
    std::map<int, std::vector<const SpectrumRecord*>> by_dim;
    for (const auto& rec : r.records) {
        if (!rec.warmup) by_dim[rec.dimension].push_back(&rec);
    }
    if (!dims.empty()) {
        std::map<int, std::vector<const SpectrumRecord*>> chosen;
        for (const int m : dims) {
            if (by_dim.count(m) == 0) {
                throw UsageError("the result file has no dimension " + std::to_string(m));
            }
            chosen[m] = by_dim[m];
        }
        by_dim = chosen;
    }
    if (by_dim.empty()) throw UsageError("the result file holds no spectrum records to plot");
    PlotFiles f;
    f.panels = by_dim.size() + (summary != nullptr ? 1 : 0);
    f.height = 280 * static_cast<long>(f.panels) + (summary != nullptr ? 90 : 75);
    const std::string ext = std::filesystem::path(output).extension().string();
    std::ostringstream script;
    script << "set terminal " << (ext == ".png" ? "pngcairo" : "svg") << " size " << width << ","
           << f.height << " noenhanced font ',10'\n";
    script << "set output " << quoted(output) << "\n";
    // Names and parameters are drawn as plain text (no markup), the parameters and the
    // verdict on lines of their own.
    std::vector<std::string> heading{
        "Lyapunov spectrum of " + trim(r.series_name) + " (" + trim(r.result_name) + ")",
        parameters_line(r) + "; warm-up records left out"};
    if (const std::string note = stopped_note(r); !note.empty()) heading.push_back(note);
    if (summary != nullptr) {
        heading.push_back(verdict_line(*summary));
        if (const Json& rc = (*summary)["reverse_check"]; !rc.is_null()) {
            heading.push_back(reversal_line(rc));
            f.height += 15;
        }
    }
    script << "set multiplot layout " << f.panels << ",1 title " << dquoted_lines(heading) << "\n";
    // A palette whose lightness rises monotonically from dark to light (cubehelix), so that
    // the curves differ in lightness for every kind of colour vision and in grey; the dash
    // patterns cycle as well.
    script << "set palette cubehelix start 0.5 cycles -1.5 saturation 1\nunset colorbox\n";
    script << "set grid\nset key outside right top\n";
    script << "set xlabel 'samples counted'\nset ylabel 'bits per unit time'\n";
    for (const auto& [m, recs] : by_dim) {
        const std::string data = dir + "/dim" + std::to_string(m) + ".dat";
        std::ostringstream d;
        // A long run's curve is thinned to every k-th record (and the last): the picture
        // is the same, the file a fraction.
        const std::size_t every = (recs.size() + kMaxPlotRecords - 1) / kMaxPlotRecords;
        for (std::size_t i = 0; i < recs.size(); ++i) {
            if (i % every != 0 && i + 1 != recs.size()) continue;
            const SpectrumRecord* rec = recs[i];
            d << rec->samples;
            for (double v : rec->estimates)
                d << ' ' << (std::isnan(v) ? std::string("NaN") : std::to_string(v));
            d << '\n';
        }
        f.data[data] = d.str();
        script << "set title 'dimension " << m << "'\n";
        script << "plot 0 with lines dt 2 lc rgb 'black' notitle";
        for (int i = 1; i <= m; ++i) {
            char title[64];
            std::snprintf(title, sizeof title, "λ%d = %.2f", i,
                          recs.back()->estimates[static_cast<std::size_t>(i - 1)]);
            const double frac = 0.05 + (m == 1 ? 0.0 : 0.6 * (i - 1) / (m - 1.0));
            script << ", " << quoted(data) << " using 1:" << i + 1 << " with lines lw 1.5 dt "
                   << 1 + (i - 1) % 4 << " lc palette frac " << frac << " title " << quoted(title);
        }
        script << "\n";
    }
    if (summary != nullptr) {
        const std::string data = dir + "/lambda1.dat";
        std::ostringstream d;
        for (const Json& dim : (*summary)["dimensions"].array) {
            const Json& e = dim["lambda1_error"];
            d << dim["dimension"].number << ' ' << dim["lambda1"].number << ' '
              << (e.is_null() ? 0.0 : e.number) << '\n';
        }
        f.data[data] = d.str();
        script << "set title 'largest exponent against the embedding dimension'\n";
        script << "set xlabel 'embedding dimension'\nset xtics 1\nset offsets 0.5, 0.5, 0, 0\n";
        script << "plot " << quoted(data)
               << " using 1:2:3 with yerrorbars pt 7 title 'λ1 ± standard error', " << quoted(data)
               << " using 1:2 with lines notitle\n";
    }
    script << "unset multiplot\n";
    f.script = script.str();
    return f;
}

int cmd_plot(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const CommandHelp& help = *find_command("plot");
    const Options o(args, help);
    const auto output = o.get("-o");
    if (o.positional().size() != 1 || !output) throw_usage(help);
    // The summary `run --json` wrote: the verdict and lambda1 against the dimension. A bare
    // result file shows no verdict (nothing is computed again from its rounded text).
    std::optional<Json> summary;
    if (const auto f = o.get("--summary")) summary = parse_json(read_whole_file(*f));
    const std::filesystem::path out_path(*output);
    const std::string ext = out_path.extension().string();
    if (ext != ".png" && ext != ".svg") throw UsageError("the output must end in .png or .svg");
    if (std::filesystem::exists(out_path) && !o.has("--force")) {
        throw UsageError(out_path.string() + " exists; it is not overwritten (--force overwrites)");
    }
    const ResultFile r = read_result_file(o.positional()[0]);
    if (summary) check_summary_matches(*summary, r, o.positional()[0], *o.get("--summary"));
    std::vector<int> dims;
    if (const auto list = o.get("--dims")) {
        std::istringstream items(*list);
        std::string item;
        while (std::getline(items, item, ','))
            dims.push_back(static_cast<int>(parse_long(item, "--dims", 1, kMaxDimension)));
    }
    const std::string gnuplot = find_on_path("gnuplot");
    if (gnuplot.empty()) {
        throw UsageError("gnuplot is not installed (on Debian: apt-get install gnuplot-nox)");
    }
    const long width = o.get_long("--width", 900, 200, 10000);
    char tmpl[] = "/tmp/tarnvex-plot-XXXXXX";
    const char* tmp = ::mkdtemp(tmpl);
    if (tmp == nullptr) throw FileError("cannot create a temporary folder");
    const std::string dir(tmp);
    try {
        const PlotFiles f =
            plot_files(r, dims, summary ? &*summary : nullptr, dir, out_path.string(), width);
        for (const auto& [path, text] : f.data)
            std::ofstream(path) << text;
        const std::string script_path = dir + "/plot.gp";
        std::ofstream(script_path) << f.script;
        const int status = run_program(gnuplot, {script_path});
        std::filesystem::remove_all(dir);
        if (status != 0 || !std::filesystem::exists(out_path)) {
            throw FileError("gnuplot failed (status " + std::to_string(status) + ")");
        }
        out << "wrote " << out_path.string() << " (" << f.panels << " panel"
            << (f.panels == 1 ? "" : "s") << ", " << width << " x " << f.height << ")\n";
    } catch (...) {
        std::filesystem::remove_all(dir);
        throw;
    }
    return 0;
}

}  // namespace tarnvex::kit
