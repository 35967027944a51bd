#pragma once
// Running tarnvex as a child process with generated answers, and reading its transcript.

#include <string>
#include <vector>

#include "kit/result_file.hpp"

namespace tarnvex::kit {

// Every dialogue answer of one run.
struct RunParams {
    long npts = 20000;  // all samples: the program cuts the count to what it read
    long ncube = 30;
    long tmax = 1000000;
    long delay = 1;
    long mfrom = 2;
    long mto = 4;
    long start = 1;
    double dt = 1.0;
    long evolv = 1;
    double radius_pct = 2.0;
};

// The answers text after the two names.
std::string answers_of(const RunParams& p);

// What a console transcript tells about a run.
struct TranscriptSummary {
    long counted = 0;              // counted steps at the end
    bool reached_tmax = true;      // false when the closing messages report a shortfall
    long given_up = 0;             // limit records
    long singular_covariance = 0;  // "mtrinv: matrix singular" outside the orthonormalisation
    long singular_orthonormalisation = 0;  // "householder: ..." lines
    long progress_records = 0;  // progress records (written while fewer than 100 were counted)
    double mean_ngrow = 0.0;
    long max_ngrow = 0;
    double mean_neighbours = 0.0;
    std::vector<std::string> shortfall;  // the closing messages, if any
};

// Reads the records of a transcript; `tmax` is the count a run without shortfall reaches.
TranscriptSummary summarize_transcript(const std::string& transcript, long tmax);

struct RunOutcome {
    int status = 0;           // tarnvex's exit status
    std::string transcript;   // standard output
    std::string errors;       // standard error
    std::string result_path;  // where the result file now is
};

// The tarnvex program: `explicit_path` when given, else beside this program, else on PATH.
std::string find_tarnvex(const std::string& explicit_path);

// Runs tarnvex on `series` writing `result` (which must not exist; it is never
// overwritten). The program reads names of at most 20 characters, so it runs in a fresh
// folder where the series is linked under a short name, and the result is moved to its
// place afterwards.
RunOutcome run_tarnvex(const std::string& program, const std::string& series,
                       const std::string& result, const RunParams& p);

// A result file name next to the series that does not exist yet: STEM.N.out.
std::string fresh_result_name(const std::string& series);

}  // namespace tarnvex::kit
