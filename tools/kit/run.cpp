// tarnvex-kit run and sweep: tarnvex with every answer as an option, and grids of runs.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "kit/commands.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"

namespace tarnvex::kit {

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kRunOptions{
    "--npts",  "--ncube",      "--tmax", "--delay",           "--dims",   "--start", "--dt",
    "--evolv", "--radius-pct", "-o",     "--keep-transcript", "--program"};

void parse_dims(const std::string& text, RunParams& p) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        p.mfrom = p.mto = parse_long(text, "--dims", 1, 20);
    } else {
        p.mfrom = parse_long(text.substr(0, colon), "--dims", 1, 20);
        p.mto = parse_long(text.substr(colon + 1), "--dims", 1, 20);
    }
    if (p.mfrom > p.mto) throw UsageError("--dims FROM:TO needs FROM <= TO");
}

// The fixed answers shared by run and sweep.
RunParams fixed_params(const Options& o) {
    RunParams p;
    p.npts = o.get_long("--npts", p.npts, 1, 20000);
    p.tmax = o.get_long("--tmax", p.tmax, 1, 2000000000);
    p.start = o.get_long("--start", p.start, 1, 20000);
    p.dt = o.get_double("--dt", p.dt);
    if (!(p.dt > 0.0)) throw UsageError("--dt must be positive");
    if (const auto d = o.get("--dims")) parse_dims(*d, p);
    return p;
}

double pct_of(const std::string& v) {
    const double d = parse_double(v, "--radius-pct");
    if (!(d > 0.0)) throw UsageError("--radius-pct must be positive");
    return d;
}

// The last record of every dimension.
std::map<int, SpectrumRecord> final_estimates(const std::string& result_path) {
    std::map<int, SpectrumRecord> last;
    if (result_path.empty()) return last;
    for (const auto& rec : read_result_file(result_path).records)
        last[rec.dimension] = rec;
    return last;
}

std::string fixed2(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

}  // namespace

int cmd_run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options o(args, kRunOptions, {});
    if (o.positional().size() != 1)
        throw UsageError("usage: tarnvex-kit run SERIES [options]; see man tarnvex-kit");
    RunParams p = fixed_params(o);
    p.ncube = o.get_long("--ncube", p.ncube, 1, 200);
    p.delay = o.get_long("--delay", p.delay, 0, 20000);
    p.evolv = o.get_long("--evolv", p.evolv, 1, 20000);
    if (const auto v = o.get("--radius-pct")) p.radius_pct = pct_of(*v);
    const std::string series = o.positional()[0];
    if (!fs::exists(series)) throw UsageError("no series file " + series);
    const std::string result = o.get("-o") ? *o.get("-o") : fresh_result_name(series);
    const auto keep = o.get("--keep-transcript");
    if (keep && fs::exists(*keep)) throw UsageError(*keep + " exists; it is not overwritten");
    const std::string program = find_tarnvex(o.get("--program").value_or(""));

    const RunOutcome r = run_tarnvex(program, series, result, p);
    if (keep) std::ofstream(*keep, std::ios::binary) << r.transcript;
    err << r.errors;
    if (r.status != 0) {
        // A refused run ends with its message as the transcript's last line.
        const std::string& t = r.transcript;
        const auto end = t.find_last_not_of("\r\n");
        const auto start = t.rfind('\n', end);
        if (r.status == 2 && end != std::string::npos) {
            err << "tarnvex refused the run:" << t.substr(start + 1, end - start) << "\n";
        }
        return r.status;
    }
    const TranscriptSummary s = summarize_transcript(r.transcript, p.tmax);
    out << "result file: " << r.result_path << "\n";
    out << "final estimates, bits per unit time:\n";
    for (const auto& [m, rec] : final_estimates(r.result_path)) {
        out << "  dimension " << m << " at " << rec.samples << " samples:";
        for (double v : rec.estimates)
            out << ' ' << fixed2(v);
        out << "\n";
    }
    char buf[256];
    out << "counted steps: " << s.counted << (s.reached_tmax ? " (tmax reached)" : "") << "\n";
    out << "steps given up: " << s.given_up << "\n";
    out << "singular matrices: " << s.singular_covariance << " covariance, "
        << s.singular_orthonormalisation << " orthonormalisation\n";
    std::snprintf(buf, sizeof buf,
                  "radius enlargements: mean %.2f, max %ld; mean neighbours in dimension %ld: %.1f "
                  "(over the %ld progress records)\n",
                  s.mean_ngrow, s.max_ngrow, p.mto, s.mean_neighbours, s.progress_records);
    out << buf;
    for (const auto& line : s.shortfall)
        out << line << "\n";
    return 0;
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
    int status = 0;
    TranscriptSummary s;
    std::map<int, SpectrumRecord> last;
};

}  // namespace

int cmd_sweep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> valued = kRunOptions;
    valued.push_back("-j");
    valued.push_back("--csv");
    const Options o(args, valued, {});
    if (o.positional().size() != 1) {
        throw UsageError(
            "usage: tarnvex-kit sweep SERIES [--ncube 20,30] [--evolv 1,2] [--delay 1,2] "
            "[--radius-pct 1,2] [--dims F:T] [-j N] [--csv OUT]");
    }
    const std::string series = o.positional()[0];
    if (!fs::exists(series)) throw UsageError("no series file " + series);
    const RunParams base = fixed_params(o);
    const auto ncubes = list_of<long>(o, "--ncube", base.ncube, [](const std::string& v) {
        return parse_long(v, "--ncube", 1, 200);
    });
    const auto evolvs = list_of<long>(o, "--evolv", base.evolv, [](const std::string& v) {
        return parse_long(v, "--evolv", 1, 20000);
    });
    const auto delays = list_of<long>(o, "--delay", base.delay, [](const std::string& v) {
        return parse_long(v, "--delay", 0, 20000);
    });
    const auto pcts = list_of<double>(o, "--radius-pct", base.radius_pct, pct_of);
    const long jobs = o.get_long("-j", 1, 1, 64);
    const auto csv_path = o.get("--csv");
    if (csv_path && fs::exists(*csv_path))
        throw UsageError(*csv_path + " exists; it is not overwritten");
    const std::string program = find_tarnvex(o.get("--program").value_or(""));

    std::vector<SweepRow> rows;
    for (long n : ncubes)
        for (long e : evolvs)
            for (long d : delays)
                for (double pct : pcts) {
                    SweepRow r;
                    r.p = base;
                    r.p.ncube = n;
                    r.p.evolv = e;
                    r.p.delay = d;
                    r.p.radius_pct = pct;
                    rows.push_back(r);
                }

    char tmpl[] = "/tmp/tarnvex-sweep-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) throw UsageError("cannot create a temporary folder");
    const fs::path dir(tmpl);
    std::atomic<std::size_t> next{0};
    std::mutex failure_lock;
    std::string failure;
    auto worker = [&] {
        for (std::size_t i = next++; i < rows.size(); i = next++) {
            try {
                const std::string result =
                    (dir / ("run" + std::to_string(i + 1) + ".out")).string();
                const RunOutcome r = run_tarnvex(program, series, result, rows[i].p);
                rows[i].status = r.status;
                rows[i].s = summarize_transcript(r.transcript, rows[i].p.tmax);
                if (r.status == 0) rows[i].last = final_estimates(r.result_path);
            } catch (const std::exception& e) {
                const std::lock_guard<std::mutex> g(failure_lock);
                failure = e.what();
            }
        }
    };
    std::vector<std::thread> pool;
    for (long t = 0; t < jobs; ++t)
        pool.emplace_back(worker);
    for (auto& t : pool)
        t.join();
    fs::remove_all(dir);
    if (!failure.empty()) throw UsageError(failure);

    std::ostringstream csv;
    csv << "ncube,evolv,delay,radius_pct,status,counted,given_up,singular_covariance,"
           "singular_orthonormalisation,mean_ngrow,max_ngrow,mean_neighbours";
    for (long m = base.mfrom; m <= base.mto; ++m) {
        for (long i = 1; i <= m; ++i)
            csv << ",d" << m << "_lambda" << i;
    }
    csv << "\n";
    out << " ncube evolv delay  pct status counted  given up  singular";
    for (long m = base.mfrom; m <= base.mto; ++m)
        out << "  lambda1(m=" << m << ")";
    out << "\n";
    char buf[256];
    for (const auto& r : rows) {
        csv << r.p.ncube << ',' << r.p.evolv << ',' << r.p.delay << ',' << r.p.radius_pct << ','
            << r.status << ',' << r.s.counted << ',' << r.s.given_up << ','
            << r.s.singular_covariance << ',' << r.s.singular_orthonormalisation << ','
            << r.s.mean_ngrow << ',' << r.s.max_ngrow << ',' << r.s.mean_neighbours;
        std::snprintf(buf, sizeof buf, "%6ld %5ld %5ld %4g %6d %7ld %9ld %9ld", r.p.ncube,
                      r.p.evolv, r.p.delay, r.p.radius_pct, r.status, r.s.counted, r.s.given_up,
                      r.s.singular_covariance + r.s.singular_orthonormalisation);
        out << buf;
        for (long m = base.mfrom; m <= base.mto; ++m) {
            const auto it = r.last.find(static_cast<int>(m));
            for (long i = 1; i <= m; ++i) {
                csv << ','
                    << (it == r.last.end()
                            ? std::string()
                            : fixed2(it->second.estimates[static_cast<std::size_t>(i - 1)]));
            }
            std::snprintf(buf, sizeof buf, "%15s",
                          it == r.last.end() ? "-" : fixed2(it->second.estimates[0]).c_str());
            out << buf;
        }
        csv << "\n";
        out << "\n";
    }
    if (csv_path) {
        std::ofstream f(*csv_path, std::ios::binary);
        f << csv.str();
        out << "wrote " << rows.size() << " rows to " << *csv_path << "\n";
    }
    (void)err;
    return 0;
}

}  // namespace tarnvex::kit
