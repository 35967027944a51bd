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

}  // namespace tarnvex::textio
