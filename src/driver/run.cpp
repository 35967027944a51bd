#include "driver/run.hpp"

#include <memory>
#include <ostream>

#include "driver/params.hpp"
#include "driver/series.hpp"
#include "driver/step_loop.hpp"
#include "limits.hpp"
#include "textio/channels.hpp"

namespace tarnvex::driver {

namespace {

using textio::Target;

// The dialogue from the banner to the last derived value, the files opened and the
// series loaded on the way.
void dialogue(Params& p, Series& series, textio::ConsoleOut& console, textio::ConsoleIn& input,
              textio::SeriesFile& series_file, textio::ResultFile& result, const std::string& cwd) {
    console.write_free({});
    console.write_free({"                  *** lyapunov ***"});
    console.write_free({});
    console.write_free({});
    console.write_free({"input filename = "});
    p.infile = input.read_name(20);
    console.write_free({"output filename = "});
    p.outfile = input.read_name(20);

    series_file.open_existing(cwd, p.infile);
    result.open_new(cwd, p.outfile);
    series_file.rewind();
    result.rewind();
    load_series(series_file, console, series);

    console.write_free({});
    console.write_free({"npts   = number of data points (max.", NMAX, ")"});
    console.write_free({"ncube  = number of points in  a cube (max.", KMAX, ")"});
    console.write_free({"tmax   = time steps to follow the trajectory"});
    console.write_free({"delay  = time delay"});
    console.write_free({"matrix order = embedding dimension from, to"});
    console.write_free({});
    console.write_free({"npts,ncube,tmax,delay,matrix order (from,to) = "});
    const Target six[] = {Target::of(p.npts),  Target::of(p.ncube), Target::of(p.tmax),
                          Target::of(p.delay), Target::of(p.mfrom), Target::of(p.mto)};
    input.read_values(six);
    console.write_free({"start from point"});
    const Target start[] = {Target::of(p.istart)};
    input.read_values(start);

    if (p.npts > series.ndata) p.npts = series.ndata;
    derive_extent(p, series.x);

    console.write_free({"dt= (1/period) = "});
    const Target dt[] = {Target::of(p.dt)};
    input.read_values(dt);
    p.periode = 1.0f / p.dt;
    console.write_free({"periode = ", p.periode});
    console.write_free({"evolv time in pts ="});
    const Target evolv[] = {Target::of(p.evolv)};
    input.read_values(evolv);
    console.write_free({"scalmx in percent of linear extent"});
    const Target scalpct[] = {Target::of(p.scalpct)};
    input.read_values(scalpct);
    p.scalmx = initial_radius(p.scalpct, p.extent);
    console.write_free({"scalmx=", p.scalmx});
    p.scalmx0 = p.scalmx;
}

void write_header(const Params& p, textio::RecordWriter& result) {
    result.write_edited(textio::kNamesRecord,
                        {std::string_view(p.infile), std::string_view(p.outfile)});
    // The fifth item is the current dimension, which is mto when the header is written.
    result.write_free(
        {p.npts, p.ncube, p.tmax, p.delay, p.mto, p.mfrom, p.mto, p.dt, p.evolv, 0.0f, p.scalpct});
}

}  // namespace

int run(std::istream& in, std::ostream& out, std::ostream& err, const std::string& cwd) {
    const auto tables = std::make_unique<RunTables>();
    textio::ConsoleOut console(out);
    textio::ConsoleIn input(in, console);
    textio::SeriesFile series_file;
    textio::ResultFile result;
    try {
        Params p;
        dialogue(p, tables->series, console, input, series_file, result, cwd);
        write_header(p, result);
        const std::string_view refusal = parameter_check(p, tables->series.x);
        if (!refusal.empty()) {
            console.write_free({refusal});
            return kExitRefused;
        }
        run_step_loop(p, *tables, console, result);
        result.close();
        return kExitDone;
    } catch (const textio::FatalError& e) {
        console.flush();
        err << textio::fatal_report_line(e);
        err.flush();
        return kExitFatal;
    }
}

}  // namespace tarnvex::driver
