#pragma once
// Reading a tarnvex result file: the names record, the parameter record, the spectrum
// records.

#include <string>
#include <vector>

namespace tarnvex::kit {

struct SpectrumRecord {
    long samples = 0;  // counted steps times the evolution time
    int dimension = 0;
    std::vector<double> estimates;  // bits per unit time, one per exponent
    bool warmup = false;            // written during the warm-up (evolution time 1)
};

struct ResultFile {
    std::string infile, outfile;
    long npts = 0, ncube = 0, tmax = 0, delay = 0, mfrom = 0, mto = 0, evolv = 0;
    double dt = 0.0, scalpct = 0.0;
    std::vector<SpectrumRecord> records;
    // A stopped run's file (named RESULT.partial by the kit): its last records are running
    // estimates, not final ones.
    bool stopped = false;
};

// "stopped after N steps: running estimates, not final ones" for a stopped run's file, else
// empty. A file the program wrote cannot tell a run that ended from one that was stopped:
// nothing is claimed of it beyond its header.
std::string stopped_note(const ResultFile& r);

// Parses the text of a result file; throws UsageError naming what is wrong when it is not
// one.
ResultFile parse_result_file(const std::string& text);

// Reads the file at `path` (UsageError when it cannot be read) and parses it.
ResultFile read_result_file(const std::string& path);

}  // namespace tarnvex::kit
