#include "textio/transcript.hpp"

#include <array>
#include <span>
#include <string>

#include "limits.hpp"

namespace tarnvex::textio {

void write_opening(RecordWriter& console) {
    console.write_free({});
    console.write_free({"                  *** lyapunov ***"});
    console.write_free({});
    console.write_free({});
    console.write_free({"input filename = "});
}

void write_output_prompt(RecordWriter& console) {
    console.write_free({"output filename = "});
}

void write_loading_start(RecordWriter& console) {
    console.write_free({"data read ..."});
}

void write_loading_end(RecordWriter& console, std::int32_t ndata) {
    console.write_free({"data read over, ndata =", ndata});
}

void write_parameter_prompt(RecordWriter& console) {
    console.write_free({});
    console.write_free({"npts   = number of data points (max.", NMAX, ")"});
    console.write_free({"ncube  = number of points in  a cube (max.", KMAX, ")"});
    console.write_free({"tmax   = time steps to follow the trajectory"});
    console.write_free({"delay  = time delay"});
    console.write_free({"matrix order = embedding dimension from, to"});
    console.write_free({});
    console.write_free({"npts,ncube,tmax,delay,matrix order (from,to) = "});
}

void write_start_prompt(RecordWriter& console) {
    console.write_free({"start from point"});
}

void write_dt_prompt(RecordWriter& console) {
    console.write_free({"dt= (1/period) = "});
}

void write_periode(RecordWriter& console, float periode) {
    console.write_free({"periode = ", periode});
}

void write_evolv_prompt(RecordWriter& console) {
    console.write_free({"evolv time in pts ="});
}

void write_radius_prompt(RecordWriter& console) {
    console.write_free({"scalmx in percent of linear extent"});
}

void write_radius(RecordWriter& console, float scalmx) {
    console.write_free({"scalmx=", scalmx});
}

void write_dialogue(RecordWriter& console, std::int32_t ndata, float periode, float scalmx) {
    write_opening(console);
    write_output_prompt(console);
    write_loading_start(console);
    write_loading_end(console, ndata);
    write_parameter_prompt(console);
    write_start_prompt(console);
    write_dt_prompt(console);
    write_periode(console, periode);
    write_evolv_prompt(console);
    write_radius_prompt(console);
    write_radius(console, scalmx);
}

std::string name_field(std::string_view name) {
    std::string f(name.substr(0, 20));
    f.resize(20, ' ');
    return f;
}

void write_result_header(RecordWriter& result, std::string_view infile, std::string_view outfile,
                         const Parameters& p, const Derived& d) {
    result.write_edited(kNamesRecord, {infile, outfile});
    // The fifth item is the current dimension, which is mto when the header is written.
    result.write_free({d.npts, p.ncube, d.tmax, p.delay, p.mto, p.mfrom, p.mto, p.dt, p.evolv, 0.0f,
                       p.radius_pct});
}

void RecordObserver::loop_started(std::int64_t) {
    console_.write_free({});
}

void RecordObserver::search_accepted(const SearchEvent& e) {
    if (e.nstep < kProgressLimit) {
        console_.write_edited(kProgressRecord, {e.ngrow, e.neighbours});
    }
}

void RecordObserver::step_given_up(std::int64_t, std::int64_t) {
    console_.write_edited(kLimitRecord, {});
}

void RecordObserver::singular(const RetryEvent& e) {
    switch (e.kind) {
        case Singular::Covariance:
            console_.write_free({"mtrinv: matrix singular"});
            break;
        case Singular::OrthonormalColumn:
            console_.write_free({"householder: matrix singular"});
            break;
        case Singular::OrthonormalFactor:
            // The inversion of the triangular factor reports first, then the
            // orthonormalisation.
            console_.write_free({"mtrinv: matrix singular"});
            console_.write_free({"householder: mtrinv: matrix singular"});
            break;
    }
}

void RecordObserver::report(const ReportEvent& e) {
    // Items of both reports: samples counted, the dimension, the m estimates.
    std::array<Item, MMAX + 2> items{Item(e.nstep * e.evolv), Item(e.dimension)};
    for (std::size_t i = 0; i < e.exponents.size(); ++i)
        items[i + 2] = Item(e.exponents[i]);
    const std::span<const Item> list(items.data(), e.exponents.size() + 2);
    if (e.nstep % kConsoleReportEvery == 0) console_.write_edited(kConsoleSpectrum, list);
    if (e.nstep % kFileReportEvery == 0) result_.write_edited(kFileSpectrum, list);
}

void RecordObserver::warmup_ended(std::int64_t evolv) {
    console_.write_free({"evolv=", evolv});
}

void RecordObserver::finished(std::int64_t nstep, std::int32_t tmax) {
    if (nstep < tmax) {
        console_.write_free({"jmax=", tmax, " zu gross"});
        console_.write_free({"nur", nstep, " pts. genuegen den bedingungen"});
    }
}

}  // namespace tarnvex::textio
