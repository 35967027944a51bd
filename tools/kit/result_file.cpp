#include "kit/result_file.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "kit/files.hpp"
#include "kit/options.hpp"

namespace tarnvex::kit {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw UsageError("not a tarnvex result file: " + why);
}

long field_long(const std::string& line, std::size_t pos, std::size_t width, int lineno) {
    if (line.size() < pos + width) refuse("line " + std::to_string(lineno) + " is too short");
    const std::string f = line.substr(pos, width);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(f.c_str(), &end, 10);
    if (end == f.c_str() || errno != 0)
        refuse("line " + std::to_string(lineno) + ": no integer in '" + f + "'");
    for (const char* p = end; *p != '\0'; ++p) {
        if (*p != ' ') refuse("line " + std::to_string(lineno) + ": no integer in '" + f + "'");
    }
    return v;
}

double field_double(const std::string& line, std::size_t pos, std::size_t width, int lineno) {
    if (line.size() < pos + width) refuse("line " + std::to_string(lineno) + " is too short");
    const std::string f = line.substr(pos, width);
    if (f.find_first_not_of(' ') == std::string::npos)
        refuse("line " + std::to_string(lineno) + ": empty field");
    if (f.find('*') != std::string::npos) return std::nan("");  // a value too wide for its field
    char* end = nullptr;
    const double v = std::strtod(f.c_str(), &end);
    for (const char* p = end; *p != '\0'; ++p) {
        if (*p != ' ') refuse("line " + std::to_string(lineno) + ": no number in '" + f + "'");
    }
    return v;
}

}  // namespace

ResultFile parse_result_file(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        if (lf == std::string::npos) refuse("the last line has no line end");
        if (lf == pos || text[lf - 1] != '\r')
            refuse("line " + std::to_string(lines.size() + 1) + " does not end in CR LF");
        lines.push_back(text.substr(pos, lf - 1 - pos));
        pos = lf + 1;
    }
    if (lines.size() < 3) refuse("fewer than three lines");
    ResultFile r;
    if (lines[0].size() != 40) refuse("the first line is not two names of 20 characters");
    r.infile = lines[0].substr(0, 20);
    r.outfile = lines[0].substr(20, 20);
    if (lines[1].size() != 72) refuse("the second line is not six integers of 12 positions");
    r.npts = field_long(lines[1], 0, 12, 2);
    r.ncube = field_long(lines[1], 12, 12, 2);
    r.tmax = field_long(lines[1], 24, 12, 2);
    r.delay = field_long(lines[1], 36, 12, 2);
    r.mto = field_long(lines[1], 48, 12, 2);
    r.mfrom = field_long(lines[1], 60, 12, 2);
    if (lines[2].size() != 69) refuse("the third line is not the parameter line");
    r.dt = field_double(lines[2], 12, 15, 3);
    r.evolv = field_long(lines[2], 27, 12, 3);
    r.scalpct = field_double(lines[2], 54, 15, 3);

    std::map<int, long> last_samples;
    for (std::size_t i = 3; i < lines.size(); ++i) {
        const int lineno = static_cast<int>(i) + 1;
        const std::string& l = lines[i];
        SpectrumRecord rec;
        rec.samples = field_long(l, 0, 7, lineno);
        rec.dimension = static_cast<int>(field_long(l, 7, 7, lineno));
        if (rec.dimension < 1 || rec.dimension > 20 ||
            l.size() != 14 + 10 * static_cast<std::size_t>(rec.dimension)) {
            refuse("line " + std::to_string(lineno) + " is not a spectrum record");
        }
        for (int k = 0; k < rec.dimension; ++k) {
            rec.estimates.push_back(
                field_double(l, 14 + 10 * static_cast<std::size_t>(k), 10, lineno));
        }
        // Counting starts afresh after the warm-up: a count that does not grow for the same
        // dimension marks every earlier record of that dimension as the warm-up's.
        const auto it = last_samples.find(rec.dimension);
        if (it != last_samples.end() && rec.samples <= it->second) {
            for (auto& earlier : r.records) {
                if (earlier.dimension == rec.dimension) earlier.warmup = true;
            }
        }
        last_samples[rec.dimension] = rec.samples;
        r.records.push_back(rec);
    }
    return r;
}

ResultFile read_result_file(const std::string& path) {
    ResultFile r = parse_result_file(read_whole_file(path));
    const std::string suffix = ".partial";
    r.stopped = path.size() > suffix.size() &&
                path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    return r;
}

std::string stopped_note(const ResultFile& r) {
    if (!r.stopped) return {};
    long samples = 0;
    for (const auto& rec : r.records)
        if (!rec.warmup) samples = rec.samples;
    const long steps = r.evolv > 0 ? samples / r.evolv : samples;
    return "stopped after " + std::to_string(steps) + " steps: running estimates, not final ones";
}

}  // namespace tarnvex::kit
