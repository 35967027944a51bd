#pragma once
// Result files as the kit reads them: the library's reader, and whether the file is a
// stopped run's.

#include <string>

#include "tarnvex/result_file.hpp"

namespace tarnvex::kit {

using SpectrumRecord = tarnvex::ResultFileRecord;

struct ResultFile : tarnvex::ResultFileContents {
    // A stopped run's file (named RESULT.partial by the kit): its last records are running
    // estimates, not final ones.
    bool stopped = false;
};

// "stopped after N steps: running estimates, not final ones" for a stopped run's file, else
// empty. A file the program wrote cannot tell a run that ended from one that was stopped:
// nothing is claimed of it beyond its header.
std::string stopped_note(const ResultFile& r);

// Reads the file at `path`; UsageError when it cannot be read or is not a result file.
ResultFile read_result_file(const std::string& path);

}  // namespace tarnvex::kit
