// tarnvex-kit prep: one column of a measurement file as an integer series for tarnvex.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/files.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "tarnvex/scaling.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

namespace {

std::vector<std::string> split_cells(const std::string& line, bool decimal_comma) {
    std::vector<std::string> cells;
    std::string cell;
    bool in_cell = false;
    auto flush = [&] {
        if (in_cell) cells.push_back(cell);
        cell.clear();
        in_cell = false;
    };
    for (char ch : line) {
        const bool blank = ch == ' ' || ch == '\t' || ch == '\r';
        const bool sep = decimal_comma ? ch == ';' : ch == ',';
        if (blank) {
            flush();
        } else if (sep) {
            if (!in_cell) cells.push_back("");  // an empty cell between two separators
            flush();
        } else {
            cell.push_back(decimal_comma && ch == ',' ? '.' : ch);
            in_cell = true;
        }
    }
    flush();
    return cells;
}

}  // namespace

PreparedSeries prepare_series(const std::string& text, const PrepOptions& opt) {
    std::istringstream in(text);
    std::string line;
    std::vector<double> values;
    long lineno = 0;
    while (std::getline(in, line)) {
        ++lineno;
        if (lineno <= opt.skip) continue;
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        const auto cells = split_cells(line, opt.decimal_comma);
        const auto col = static_cast<std::size_t>(opt.column);
        if (cells.size() < col) {
            throw UsageError("line " + std::to_string(lineno) + " has no column " +
                             std::to_string(opt.column));
        }
        const std::string& cell = cells[col - 1];
        char* end = nullptr;
        const double v = std::strtod(cell.c_str(), &end);
        if (cell.empty() || *end != '\0') {
            throw UsageError("line " + std::to_string(lineno) + ", column " +
                             std::to_string(opt.column) + ": '" + cell + "' is not a number");
        }
        if (!std::isfinite(v)) {
            throw UsageError("line " + std::to_string(lineno) + ", column " +
                             std::to_string(opt.column) + ": '" + cell +
                             "' is not a finite number");
        }
        values.push_back(v);
    }
    if (values.empty()) throw UsageError("no values in column " + std::to_string(opt.column));
    if (static_cast<long>(values.size()) > kMaxSamples) {
        if (!opt.cut) {
            throw UsageError(std::to_string(values.size()) + " values: a run takes at most " +
                             std::to_string(kMaxSamples) + "; --cut keeps the first " +
                             std::to_string(kMaxSamples));
        }
        values.resize(kMaxSamples);
    }
    OffsetSpanScaling scaling;
    try {
        scaling = scale_offset_and_span(values, opt.steps);
    } catch (const ScalingError& e) {
        throw UsageError(e.what());
    }
    PreparedSeries p;
    p.count = static_cast<long>(values.size());
    p.offset = scaling.offset;
    p.factor = scaling.factor;
    for (const long long y : scaling.integers) {
        p.text += std::to_string(y);
        p.text += '\n';
    }
    p.distinct_before = scaling.distinct_before;
    p.distinct_after = scaling.distinct_after;
    return p;
}

int cmd_prep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CommandHelp& help = *find_command("prep");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    PrepOptions opt;
    opt.column = o.get_long("--column", 1, 1, 10000);
    opt.skip = o.get_long("--skip", 0, 0, 100000000);
    opt.steps = o.get_long("--steps", 100000, 2, 1000000000);
    opt.decimal_comma = o.has("--decimal-comma");
    opt.cut = o.has("--cut");
    const PreparedSeries p = prepare_series(read_whole_file(o.positional()[0]), opt);

    std::ostream* report = &err;
    if (const auto file = o.get("-o")) {
        write_new_file(*file, p.text);
        report = &out;
    } else {
        out << p.text;
    }
    char buf[256];
    // x - offset, written as x + |offset| when the offset is negative.
    std::snprintf(buf, sizeof buf,
                  "%ld values, integer = round((x %c %.10g) * %.10g); one integer step is %.6g in "
                  "the units of the column\n",
                  p.count, p.offset < 0.0 ? '+' : '-', std::fabs(p.offset), p.factor,
                  1.0 / p.factor);
    *report << buf;
    *report << "distinct values: " << p.distinct_before << " before, " << p.distinct_after
            << " after";
    if (p.distinct_after < p.distinct_before) {
        *report << " (" << p.distinct_before - p.distinct_after
                << " merged: resolution lost; a larger --steps keeps more)";
    }
    *report << "\n";
    return 0;
}

}  // namespace tarnvex::kit
