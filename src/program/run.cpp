#include "program/run.hpp"

#include <memory>
#include <ostream>

#include "tarnvex/result_file.hpp"
#include "tarnvex/tarnvex.hpp"
#include "textio/channels.hpp"
#include "textio/series.hpp"
#include "textio/transcript.hpp"

namespace tarnvex::program {

namespace {

using textio::Target;

// The answers of the dialogue.
struct Answers {
    std::string infile;   // series file name, 20 characters as read
    std::string outfile;  // result file name, 20 characters as read
    // Every value is 0 before the dialogue; a null answer leaves it so.
    std::int32_t npts = 0;
    std::int32_t ncube = 0;
    std::int32_t tmax = 0;
    std::int32_t delay = 0;
    std::int32_t mfrom = 0;
    std::int32_t mto = 0;
    std::int32_t istart = 0;
    float dt = 0.0f;
    std::int32_t evolv = 0;
    float scalpct = 0.0f;

    Parameters parameters() const {
        Parameters p;
        p.npts = npts;
        p.ncube = ncube;
        p.tmax = tmax;
        p.delay = delay;
        p.dims.from = mfrom;
        p.dims.to = mto;
        p.start = istart;
        p.dt = dt;
        p.evolv = evolv;
        p.radius_pct = scalpct;
        p.threads = 0;  // the processors the program may run on
        return p;
    }
};

// The loading step: the two console records around the read, the series file closed
// afterwards; a bad value ends the run with its report on channel 10.
void load_series(textio::SeriesFile& file, textio::RecordWriter& console, textio::SampleTable& s) {
    textio::write_loading_start(console);
    const textio::ReadStatus status = textio::read_series(file, s);
    if (status == textio::ReadStatus::SyntaxError ||
        status == textio::ReadStatus::ConversionError) {
        throw textio::FatalError{status == textio::ReadStatus::SyntaxError
                                     ? textio::Fatal::SyntaxError
                                     : textio::Fatal::ConversionError,
                                 textio::kSeriesChannel, file.path()};
    }
    file.close();
    textio::write_loading_end(console, s.ndata);
}

// The dialogue from the banner to the last derived value, the files opened and the
// series loaded on the way.
void dialogue(Answers& a, textio::SampleTable& series, textio::ConsoleOut& console,
              textio::ConsoleIn& input, textio::SeriesFile& series_file, textio::ResultFile& result,
              const std::string& cwd) {
    textio::write_opening(console);
    a.infile = input.read_name(20);
    textio::write_output_prompt(console);
    a.outfile = input.read_name(20);

    series_file.open_existing(cwd, a.infile);
    result.open_new(cwd, a.outfile);
    series_file.rewind();
    result.rewind();
    load_series(series_file, console, series);

    textio::write_parameter_prompt(console);
    const Target six[] = {Target::of(a.npts),  Target::of(a.ncube), Target::of(a.tmax),
                          Target::of(a.delay), Target::of(a.mfrom), Target::of(a.mto)};
    input.read_values(six);
    textio::write_start_prompt(console);
    const Target start[] = {Target::of(a.istart)};
    input.read_values(start);

    textio::write_dt_prompt(console);
    const Target dt[] = {Target::of(a.dt)};
    input.read_values(dt);
    textio::write_periode(console, periode_of(a.dt));
    textio::write_evolv_prompt(console);
    const Target evolv[] = {Target::of(a.evolv)};
    input.read_values(evolv);
    textio::write_radius_prompt(console);
    const Target scalpct[] = {Target::of(a.scalpct)};
    input.read_values(scalpct);
    textio::write_radius(console, derive(series.samples(), a.parameters()).initial_radius);
}

}  // namespace

int run(std::istream& in, std::ostream& out, std::ostream& err, const std::string& cwd) {
    const auto series = std::make_unique<textio::SampleTable>();
    textio::ConsoleOut console(out);
    textio::ConsoleIn input(in, console);
    textio::SeriesFile series_file;
    textio::ResultFile result;
    try {
        Answers a;
        dialogue(a, *series, console, input, series_file, result, cwd);
        const Parameters p = a.parameters();
        // The header is written before the checks: a refused run leaves it alone.
        result.write(result_file_header(a.infile, a.outfile, p, derive(series->samples(), p)));
        run_writing_records(series->samples(), p, result, &console);
        result.close();
        return kExitDone;
    } catch (const ParameterError& e) {
        console.write_free({std::string_view(e.what())});
        return kExitRefused;
    } catch (const textio::FatalError& e) {
        console.flush();
        err << textio::fatal_report_line(e);
        err.flush();
        return kExitFatal;
    }
}

}  // namespace tarnvex::program
