// tarnvex-kit report: one self-contained HTML page of a whole analysis of a series.

#include "tarnvex/report.hpp"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <thread>

#include "kit/commands.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"

namespace tarnvex::kit {

namespace fs = std::filesystem;

namespace {

// An argument as a POSIX shell reads it back: bare when it holds only safe characters,
// else in single quotes.
std::string shell_word(const std::string& a) {
    const bool safe = !a.empty() && std::all_of(a.begin(), a.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               std::string_view("_./:=,+-%@").find(c) != std::string_view::npos;
    });
    if (safe) return a;
    std::string q = "'";
    for (const char c : a)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

int cmd_report(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const CommandHelp& help = *find_command("report");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    ReportRequest request;
    request.parameters = run_params_of(o);
    request.parameters.threads = static_cast<int>(o.get_long("--threads", 0, 0, 256));
    request.quick = o.has("--quick");
    request.surrogates = static_cast<int>(o.get_long("--surrogates", 0, 0, 10000));
    request.seed = static_cast<std::uint64_t>(o.get_long("--seed", 1, 0, 2147483647));
    const long processors = std::max(1L, static_cast<long>(std::thread::hardware_concurrency()));
    request.jobs = static_cast<int>(o.get_long("-j", processors, 1, 64));
    const std::string series = o.positional()[0];
    const std::string page = o.get("-o") ? *o.get("-o") : fresh_name(series, "html");
    if (fs::exists(fs::symlink_status(page)))
        throw UsageError(page + " exists; it is not overwritten");

    const SeriesReading reading = read_series_file(series, o.has("--free-format"));
    refuse_one_integer(reading.samples, request.parameters);
    check_parameters(reading.samples, request.parameters);

    ReportSource source;
    source.series_name = fs::path(series).filename().string();
    source.reading = reading_text(reading, derive(reading.samples, request.parameters).npts);
    source.preparation = kPreparationAsRead;
    source.command = "tarnvex-kit report";
    for (const auto& a : args)
        source.command += " " + shell_word(a);
    source.date = utc_now_text();

    const Analysis a = analyse(reading.samples, request, source);
    const std::vector<FigurePlan> plans = report_figures(a);
    const std::vector<DrawnFigure> drawn = draw_figures(plans);
    const std::string html = report_html(a, drawn);
    try {
        write_report(page, html);
    } catch (const ReportFileError& e) {
        if (e.kind() == ReportFileError::Kind::Exists) throw UsageError(e.what());
        throw FileError(e.what());
    }
    const auto drawn_count = std::count_if(drawn.begin(), drawn.end(),
                                           [](const DrawnFigure& d) { return d.svg.has_value(); });
    out << "wrote " << page << " (" << html.size() << " bytes; " << drawn_count << " of "
        << plans.size() << " figures drawn by gnuplot)\n";
    if (drawn_count < static_cast<long>(plans.size())) {
        for (const auto& d : drawn)
            if (!d.svg) {
                out << "figures " << d.note << "\n";
                break;
            }
    }
    if (a.result.counted_steps == 0) {
        throw KitError(kStatusNoSteps, no_step_text(a.result) + "; the page says so: " + page);
    }
    out << verdict_text(a.diagnosis);
    if (a.surrogates) out << "surrogates: " << a.surrogates->verdict << "\n";
    return o.has("--strict") && !a.diagnosis.warnings.empty() ? kStatusWarnings : kStatusOk;
}

}  // namespace tarnvex::kit
