// tarnvex-kit run and sweep: the engine with every answer as an option, and grids of runs.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/files.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"
#include "kit/summary.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/report.hpp"
#include "tarnvex/significance.hpp"
#include "worker_pool.hpp"

namespace tarnvex::kit {

namespace fs = std::filesystem;

namespace {

void parse_dims(const std::string& text, RunParams& p) {
    const auto colon = text.find(':');
    const auto dim = [](const std::string& v) {
        return static_cast<std::int32_t>(parse_long(v, "--dims", 1, kMaxDimension));
    };
    if (colon == std::string::npos) {
        p.dims.from = p.dims.to = dim(text);
    } else {
        p.dims.from = dim(text.substr(0, colon));
        p.dims.to = dim(text.substr(colon + 1));
    }
    if (p.dims.from > p.dims.to) throw UsageError("--dims FROM:TO needs FROM <= TO");
}

std::int32_t int_option(const Options& o, const std::string& name, std::int32_t fallback, long min,
                        long max) {
    return static_cast<std::int32_t>(o.get_long(name, fallback, min, max));
}

// The fixed answers shared by run and sweep.
RunParams fixed_params(const Options& o) {
    RunParams p;
    p.npts = int_option(o, "--npts", p.npts, 1, kMaxSamples);
    if (o.get("--tmax")) p.tmax = int_option(o, "--tmax", 0, 1, 2000000000);
    p.start = int_option(o, "--start", p.start, 1, kMaxSamples);
    p.dt = static_cast<float>(o.get_double("--dt", static_cast<double>(p.dt)));
    if (!(p.dt > 0.0f)) throw UsageError("--dt must be positive");
    if (const auto d = o.get("--dims")) parse_dims(*d, p);
    return p;
}

float pct_of(const std::string& v) {
    const auto d = static_cast<float>(parse_double(v, "--radius-pct"));
    if (!(d > 0.0f)) throw UsageError("--radius-pct must be positive");
    return d;
}

// How the run ended, in plain words (the program's own closing records stay in its
// transcript).
std::string counted_line(const Result& r) {
    const std::string steps = std::to_string(r.counted_steps) + " steps (" +
                              std::to_string(r.counted_steps * r.parameters.evolv) + " samples)";
    if (r.reached_tmax && r.parameters.tmax)
        return "counted steps: " + std::to_string(r.counted_steps) + " (tmax reached)";
    std::string s = "ran to the end of the data after " + steps;
    if (r.parameters.tmax) s += ", fewer than tmax = " + std::to_string(*r.parameters.tmax);
    return s;
}

}  // namespace

RunParams run_params_of(const Options& o) {
    RunParams p = fixed_params(o);
    p.ncube = int_option(o, "--ncube", p.ncube, 1, kMaxNeighbours);
    p.delay = int_option(o, "--delay", p.delay, 0, kMaxSamples);
    p.evolv = int_option(o, "--evolv", p.evolv, 1, kMaxSamples);
    if (const auto v = o.get("--radius-pct")) p.radius_pct = pct_of(*v);
    return p;
}

int cmd_run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CommandHelp& help = *find_command("run");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    RunParams p = run_params_of(o);
    p.threads = static_cast<int>(o.get_long("--threads", 0, 0, 256));
    const std::string series = o.positional()[0];
    const std::string result = o.get("-o") ? *o.get("-o") : fresh_name(series, "out");
    const auto keep = o.get("--keep-transcript");
    if (keep && fs::exists(*keep)) throw UsageError(*keep + " exists; it is not overwritten");
    const auto json = o.get("--json");
    if (json && *json != "-" && fs::exists(*json))
        throw UsageError(*json + " exists; it is not overwritten");

    const SeriesReading reading = read_series_file(series, o.has("--free-format"));
    const std::vector<float>& samples = reading.samples;
    refuse_one_integer(samples, p);
    if (keep && samples.size() > static_cast<std::size_t>(kProgramSamples)) {
        throw UsageError("--keep-transcript: " + series + " holds " +
                         std::to_string(samples.size()) +
                         " samples, and tarnvex reads only the "
                         "first " +
                         std::to_string(kProgramSamples) +
                         ": it could not have written a transcript of this run");
    }
    const RunOutcome r = run_engine(series, samples, result, p, keep.has_value());
    const Result& res = r.result;
    if (res.counted_steps == 0) {
        // Nothing to judge: the result file holds no counted estimates (at most the warm-up's),
        // and goes.
        fs::remove(r.result_path);
        throw KitError(kStatusNoSteps, no_step_text(res));
    }
    if (keep) write_new_file(*keep, r.transcript);
    // The verdict's extra runs: half the radius and the reversed series, unless --quick
    // (which still makes the reversed run under --reverse-check).
    Probes probes;
    const bool quick = o.has("--quick");
    if (!quick) {
        probes = probe(samples, p);
    } else if (o.has("--reverse-check")) {
        const auto used =
            std::span<const float>(samples).first(static_cast<std::size_t>(res.derived.npts));
        probes.reversed = tarnvex::run(std::vector<float>(used.rbegin(), used.rend()), p);
    }
    const Diagnosis diagnosis = diagnose(res, &probes);
    const ReverseCheck* reversal = diagnosis.reversal ? &*diagnosis.reversal : nullptr;
    if (json) {
        const std::string text = summary_json(res, diagnosis, r.result_path, reversal, series);
        if (*json == "-") {
            out << text;
        } else {
            write_new_file(*json, text);
        }
    }
    if (!json || *json != "-") {
        out << "result file: " << r.result_path << "\n";
        out << reading_line(reading, res.derived.npts) << "\n";
        out << "final estimates, bits per unit time:\n";
        for (const auto& d : res.dimensions) {
            out << "  dimension " << d.dimension << " at " << d.final_samples << " samples:";
            for (const float v : d.final_exponents)
                out << ' ' << fixed2(v);
            out << "\n";
        }
        out << counted_line(res) << "\n";
        out << "steps given up: " << res.steps_given_up << "\n";
        out << "singular matrices: " << res.covariance_retries << " covariance, "
            << res.orthonormal_retries << " orthonormalisation\n";
        const StepFigures f = step_figures(res);
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "radius enlargements per counted step: mean %.2f, max %ld; mean neighbours "
                      "in dimension %d: %.1f\n",
                      f.mean_enlargements, f.max_enlargements, static_cast<int>(p.dims.to),
                      f.mean_neighbours);
        out << buf;
        out << figures_text(diagnosis) << verdict_text(diagnosis);
        if (reversal != nullptr) out << reversal_text(*reversal);
    }
    (void)err;
    return o.has("--strict") && !diagnosis.warnings.empty() ? kStatusWarnings : kStatusOk;
}

namespace {

// One comma-separated list of an option, or its single default.
template <typename T, typename Parse>
std::vector<T> list_of(const Options& o, const std::string& name, T fallback, Parse parse) {
    std::vector<T> values;
    const auto text = o.get(name);
    if (!text) return {fallback};
    std::istringstream in(*text);
    std::string item;
    while (std::getline(in, item, ','))
        values.push_back(parse(item));
    if (values.empty()) throw UsageError(name + " needs at least one value");
    return values;
}

struct SweepRow {
    RunParams p;
    int status = 0;  // 0 the run worked, 2 its parameters were refused
    Result r;
};

// The grid of the list options, every combination a row.
std::vector<SweepRow> grid_of(const Options& o, const RunParams& base) {
    const auto ncubes = list_of<std::int32_t>(o, "--ncube", base.ncube, [](const std::string& v) {
        return static_cast<std::int32_t>(parse_long(v, "--ncube", 1, kMaxNeighbours));
    });
    const auto evolvs = list_of<std::int32_t>(o, "--evolv", base.evolv, [](const std::string& v) {
        return static_cast<std::int32_t>(parse_long(v, "--evolv", 1, kMaxSamples));
    });
    const auto delays = list_of<std::int32_t>(o, "--delay", base.delay, [](const std::string& v) {
        return static_cast<std::int32_t>(parse_long(v, "--delay", 0, kMaxSamples));
    });
    const auto pcts = list_of<float>(o, "--radius-pct", base.radius_pct, pct_of);
    std::vector<SweepRow> rows;
    for (const auto n : ncubes)
        for (const auto e : evolvs)
            for (const auto d : delays)
                for (const float pct : pcts) {
                    SweepRow r;
                    r.p = base;
                    r.p.ncube = n;
                    r.p.evolv = e;
                    r.p.delay = d;
                    r.p.radius_pct = pct;
                    rows.push_back(r);
                }
    return rows;
}

// Runs every row in process, `jobs` at a time; each run keeps its own tables.
void run_rows(std::vector<SweepRow>& rows, const std::vector<float>& samples, long jobs) {
    for_each_index(rows.size(), static_cast<int>(jobs), [&](std::size_t i) {
        try {
            rows[i].r = tarnvex::run(samples, rows[i].p);
        } catch (const ParameterError&) {
            rows[i].status = kStatusUsage;
        }
    });
}

}  // namespace

int cmd_sweep(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const CommandHelp& help = *find_command("sweep");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    const std::string series = o.positional()[0];
    const RunParams base = fixed_params(o);
    std::vector<SweepRow> rows = grid_of(o, base);
    const long jobs = o.get_long("-j", 1, 1, 64);
    const auto csv_path = o.get("--csv");
    if (csv_path && fs::exists(*csv_path))
        throw UsageError(*csv_path + " exists; it is not overwritten");
    const SeriesReading reading = read_series_file(series, o.has("--free-format"));
    const std::vector<float>& samples = reading.samples;
    if (const std::string cut = reading.cut_note(); !cut.empty()) out << "series: " << cut << "\n";
    run_rows(rows, samples, jobs);

    std::ostringstream csv;
    csv << "ncube,evolv,delay,radius_pct,status,counted,given_up,singular_covariance,"
           "singular_orthonormalisation,mean_enlargements,max_enlargements,mean_neighbours";
    for (int m = base.dims.from; m <= base.dims.to; ++m) {
        for (int i = 1; i <= m; ++i)
            csv << ",d" << m << "_lambda" << i;
    }
    for (int m = base.dims.from; m <= base.dims.to; ++m)
        csv << ",d" << m << "_lambda1_se";
    csv << ",warnings,not_checked\n";
    out << " ncube evolv delay  pct status counted  given up  singular";
    for (int m = base.dims.from; m <= base.dims.to; ++m)
        out << "  lambda1(m=" << m << ")";
    out << "\n";
    char buf[256];
    for (const auto& row : rows) {
        const Result& r = row.r;
        const StepFigures f = step_figures(r);
        const Diagnosis dg = diagnose(r);
        csv << row.p.ncube << ',' << row.p.evolv << ',' << row.p.delay << ',' << row.p.radius_pct
            << ',' << row.status << ',' << r.counted_steps << ',' << r.steps_given_up << ','
            << r.covariance_retries << ',' << r.orthonormal_retries << ',' << f.mean_enlargements
            << ',' << f.max_enlargements << ',' << f.mean_neighbours;
        std::snprintf(buf, sizeof buf, "%6d %5d %5d %4g %6d %7lld %9lld %9lld", row.p.ncube,
                      row.p.evolv, row.p.delay, static_cast<double>(row.p.radius_pct), row.status,
                      static_cast<long long>(r.counted_steps),
                      static_cast<long long>(r.steps_given_up),
                      static_cast<long long>(r.covariance_retries + r.orthonormal_retries));
        out << buf;
        for (int m = base.dims.from; m <= base.dims.to; ++m) {
            // No estimates of a run that was refused or counted no step.
            const DimensionEstimates* d = r.counted_steps > 0 ? r.dimension(m) : nullptr;
            for (int i = 0; i < m; ++i)
                csv << ',' << (d ? fixed2(d->final_exponents[static_cast<std::size_t>(i)]) : "");
            std::snprintf(buf, sizeof buf, "%15s", d ? fixed2(d->final_exponents[0]).c_str() : "-");
            out << buf;
        }
        for (int m = base.dims.from; m <= base.dims.to; ++m) {
            const auto fig =
                std::find_if(dg.figures.begin(), dg.figures.end(),
                             [m](const DimensionFigures& x) { return x.dimension == m; });
            csv << ',';
            if (fig != dg.figures.end() && fig->lambda1_error) csv << *fig->lambda1_error;
        }
        csv << ',';
        for (std::size_t i = 0; i < dg.warnings.size(); ++i)
            csv << (i == 0 ? "" : ";") << dg.warnings[i].code;
        if (row.status == 0 && !dg.counted_any) csv << "no-steps";
        csv << ',';
        const auto unchecked = dg.not_checked();
        for (std::size_t i = 0; i < unchecked.size(); ++i)
            csv << (i == 0 ? "" : ";") << unchecked[i].code;
        csv << "\n";
        out << "\n";
    }
    if (csv_path) {
        write_new_file(*csv_path, csv.str());
        out << "wrote " << rows.size() << " rows to " << *csv_path << "\n";
    }
    return 0;
}

}  // namespace tarnvex::kit
