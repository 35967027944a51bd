#pragma once
// Runs of the engine for the kit: the answers as options, the result file and the
// transcript written as the program writes them, and figures from the result.

#include <optional>
#include <string>
#include <vector>

#include "tarnvex/series.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

// The kit's defaults are the engine's: ncube 30, dimensions 2 to 4, delay 1, start 1,
// dt 1, evolv 1, radius 2 %, every sample, to the end of the data.
using RunParams = tarnvex::Parameters;

class Options;
// The answers of one run from the options of run (and surrogates).
RunParams run_params_of(const Options& o);

// The samples of a series file as the program reads them, and how many values the file
// holds; FileError when there is no such file, it holds a value that is not a number, or,
// unless `free_format`, it looks like a table, decimal commas or a column of times.
tarnvex::SeriesReading read_series_file(const std::string& path, bool free_format);

// "series: N values, all used", or which of them were used and why.
std::string reading_line(const tarnvex::SeriesReading& r, std::int32_t used);

// FileError (status 1) when every sample a run with these parameters would use truncates to
// one integer: no neighbourhood could have any extent.
void refuse_one_integer(const std::vector<float>& samples, const RunParams& p);

// UsageError naming the refusal when a check refuses the parameters.
void check_parameters(const std::vector<float>& samples, const RunParams& p);

struct RunOutcome {
    tarnvex::Result result;
    std::string result_path;  // where the result file is
    std::string transcript;   // the whole console transcript, when it was asked for
};

// Runs the engine on the samples of `series`, writing the result file `result` (which must
// not exist; it is never overwritten) byte for byte as the program writes it for the same
// answers, with the series' and the result's base names in its header when they fit 20
// characters (else series.dat and result.out). With `keep_transcript` the console
// transcript is kept too, dialogue included. UsageError when a check refuses the
// parameters; nothing is written then.
RunOutcome run_engine(const std::string& series, const std::vector<float>& samples,
                      const std::string& result, const RunParams& p, bool keep_transcript);

// A name next to the series that does not exist yet: STEM.N.EXTENSION (extension without
// its dot), for the first N from 1 that is free.
std::string fresh_name(const std::string& series, const std::string& extension);

// A value as the result file shows it: rounded to two decimals, ties away from zero.
std::string fixed2(float v);

}  // namespace tarnvex::kit
