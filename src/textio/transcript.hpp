#pragma once
// The program's console dialogue. The records of a run, and the result file's header, are
// written by the RecordObserver of tarnvex/result_file.hpp.

#include <cstdint>
#include <string_view>

#include "tarnvex/tarnvex.hpp"
#include "textio/sink.hpp"

namespace tarnvex::textio {

// The console records of the dialogue, in the order the program writes them; the program
// reads its answers between them.
void write_opening(RecordWriter& console);  // banner and the prompt for the series name
void write_output_prompt(RecordWriter& console);
void write_loading_start(RecordWriter& console);
void write_loading_end(RecordWriter& console, std::int32_t ndata);
void write_parameter_prompt(RecordWriter& console);  // the help text and the six-value prompt
void write_start_prompt(RecordWriter& console);
void write_dt_prompt(RecordWriter& console);
void write_periode(RecordWriter& console, float periode);
void write_evolv_prompt(RecordWriter& console);
void write_radius_prompt(RecordWriter& console);
void write_radius(RecordWriter& console, float scalmx);

// Every console record of a dialogue whose answers were given at once: what the program
// writes from the banner to the initial radius, reads left out.
void write_dialogue(RecordWriter& console, std::int32_t ndata, float periode, float scalmx);

}  // namespace tarnvex::textio
