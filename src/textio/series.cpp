#include "textio/series.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tarnvex/series.hpp"
#include "tarnvex/tarnvex.hpp"
#include "textio/channels.hpp"

namespace tarnvex::textio {

namespace {

// A table of nothing but the fill value: the table is filled by copying it, and the unread
// end of the table is passed over a block at a time by comparing with it. The fill value
// is neither zero nor a NaN, so equal bytes are an equal value and the other way round.
const std::array<float, NMAX>& filled_table() {
    static const auto table = [] {
        auto t = std::make_unique<std::array<float, NMAX>>();
        t->fill(SENTINEL);
        return t;
    }();
    return *table;
}

}  // namespace

ReadStatus read_series(RecordSource& src, SampleTable& s, BadValue* bad) {
    const std::array<float, NMAX>& filled = filled_table();
    s.x = filled;
    const ReadStatus status = read_free(src, std::span<float>(s.x), bad);
    // ndata: the last entry that differs from the fill value. Whole blocks of it at the end
    // are passed over first, then the entries of the last block that differs.
    constexpr std::size_t kBlock = 256;
    std::size_t end = s.x.size();
    while (end > 0) {
        const std::size_t begin = end > kBlock ? end - kBlock : 0;
        if (std::memcmp(&s.x[begin], &filled[begin], (end - begin) * sizeof(float)) != 0) break;
        end = begin;
    }
    while (end > 0 && s.x[end - 1] == SENTINEL)
        --end;
    s.ndata = static_cast<std::int32_t>(end);
    return status;
}

}  // namespace tarnvex::textio

namespace tarnvex {

namespace {

constexpr const char* kSeparators = " \t,;\r";

// The cells of one line, split at blanks, tabs, commas and semicolons.
std::vector<std::string_view> cells_of(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t pos = 0;
    while ((pos = line.find_first_not_of(kSeparators, pos)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(kSeparators, pos), line.size());
        cells.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return cells;
}

bool is_number(std::string_view cell, double* value = nullptr) {
    const std::string text(cell);
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0') return false;
    if (value != nullptr) *value = v;
    return true;
}

// "12,345": digits, one comma, digits, and no point: a decimal comma.
bool decimal_comma(std::string_view line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return false;
    const auto last = line.find_last_not_of(" \t\r");
    const std::string_view t = line.substr(first, last - first + 1);
    const auto comma = t.find(',');
    if (comma == std::string_view::npos || t.find(',', comma + 1) != std::string_view::npos ||
        t.find('.') != std::string_view::npos)
        return false;
    const auto digits = [](std::string_view d) {
        return !d.empty() && d.find_first_not_of("0123456789") == std::string_view::npos;
    };
    std::string_view head = t.substr(0, comma);
    if (!head.empty() && (head[0] == '-' || head[0] == '+')) head.remove_prefix(1);
    return digits(head) && digits(t.substr(comma + 1));
}

// A header line or columns, for a value that is not a number.
std::string unreadable_hint(std::string_view text, const std::string& path) {
    std::istringstream in{std::string(text)};
    std::string line;
    std::vector<std::size_t> fields;
    bool header = false;
    for (int n = 0; n < 6 && std::getline(in, line); ++n) {
        const auto cells = cells_of(line);
        const bool letters =
            line.find_first_of("abcdfghijklmnopqrstuvwxyzABCDFGHIJKLMNOPQRSTUVWXYZ") !=
            std::string::npos;
        if (n == 0) header = letters;
        if (n > 0) fields.push_back(cells.size());
    }
    std::string hint;
    if (header) hint += "; a header line? tarnvex-kit prep " + path + " --skip 1 -o SERIES";
    if (!fields.empty() && fields.front() > 1) {
        hint += "; " + std::to_string(fields.front()) + " columns? tarnvex-kit prep " + path +
                " --column N -o SERIES";
    }
    return hint;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::string series_layout_refusal(std::string_view text, const std::string& path) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) lines.push_back(line);
        pos = end + 1;
    }
    const std::string free = " (--free-format reads every number in order, as tarnvex does)";
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        const auto line_no =
            std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(slash), '\n') + 1;
        return path + " holds a '/' on line " + std::to_string(line_no) +
               ", where tarnvex stops reading (a date such as 2020/01/01? one column of the file: "
               "tarnvex-kit prep " +
               path + " --column N -o SERIES)" + free;
    }
    if (lines.size() < 2) return {};
    const auto plain_integer = [](std::string_view line) {
        const auto cells = cells_of(line);
        return cells.size() == 1 &&
               cells[0].find_first_not_of("+-0123456789") == std::string_view::npos;
    };
    const bool commas = std::any_of(lines.begin(), lines.end(), decimal_comma) &&
                        std::all_of(lines.begin(), lines.end(), [&](std::string_view l) {
                            return decimal_comma(l) || plain_integer(l);
                        });
    if (commas) {
        return path + " has one comma between digits on every line (\"" +
               std::string(cells_of(lines.front()).empty() ? "" : lines.front()) +
               "\"): decimal commas? tarnvex-kit prep " + path +
               " --decimal-comma -o SERIES; or two columns? tarnvex-kit prep " + path +
               " --column N -o SERIES" + free;
    }
    const std::size_t columns = cells_of(lines.front()).size();
    bool numbers = true, same = true;
    for (const auto line : lines) {
        const auto cells = cells_of(line);
        same = same && cells.size() == columns;
        for (const auto c : cells)
            numbers = numbers && is_number(c);
    }
    if (!numbers) return {};
    if (same && columns >= 2) {
        return path + " looks like a table: every line holds " + std::to_string(columns) +
               " numbers. One column of it? tarnvex-kit prep " + path + " --column N -o SERIES" +
               free;
    }
    constexpr std::size_t kMinTimeColumn = 10;
    if (same && columns == 1 && lines.size() >= kMinTimeColumn) {
        double previous = 0.0;
        bool rising = true;
        for (std::size_t i = 0; i < lines.size() && rising; ++i) {
            double v = 0.0;
            is_number(cells_of(lines[i]).front(), &v);
            rising = i == 0 || v > previous;
            previous = v;
        }
        if (rising) {
            return path +
                   " rises strictly from its first value to its last, like a column of "
                   "times, not of measurements" +
                   free;
        }
    }
    return {};
}

std::string SeriesReading::cut_note() const {
    if (!stopped.empty()) return stopped;
    if (samples.size() != static_cast<std::size_t>(kMaxSamples) ||
        values_in_file <= static_cast<std::int64_t>(samples.size()))
        return {};
    return "used the first " + std::to_string(samples.size()) + " of " +
           std::to_string(values_in_file) + " values: the sample limit";
}

namespace {

// The samples of a series read from `src`, at most kMaxSamples, as the program reads its
// table: unread and passed-over entries hold the fill value, and the count is the last
// entry that differs from it; and, when the read stopped early, why.
struct SamplesRead {
    std::vector<float> samples;
    std::string stopped;
};

// A value that is not a number ends the read with an error where the program's own read
// (its first kProgramSamples values) would meet it. Beyond those, where the program reads
// nothing, it ends the read instead: the values before it are kept, and `stopped` says so,
// so that a file the program reads (a footer line after 20000 values, say) stays readable.
// `path` names the file in the error and the note.
SamplesRead samples_of(textio::RecordSource& src, const std::string& path) {
    SamplesRead r;
    textio::BadValue bad;
    const textio::ReadStatus status =
        textio::read_free(src, r.samples, static_cast<std::size_t>(kMaxSamples), SENTINEL, &bad);
    if (status == textio::ReadStatus::SyntaxError ||
        status == textio::ReadStatus::ConversionError) {
        const std::string where = path + ", line " + std::to_string(bad.record) + ", column " +
                                  std::to_string(bad.column) + ": '" + bad.text +
                                  "' is not a finite number";
        if (bad.target < static_cast<std::size_t>(kProgramSamples)) throw SeriesError(where);
        r.samples.resize(std::min(r.samples.size(), bad.target));
        r.stopped = "the read stopped at " + where + "; the " + std::to_string(bad.target) +
                    " values before it are used";
    }
    std::size_t count = r.samples.size();
    while (count > 0 && r.samples[count - 1] == SENTINEL)
        --count;
    r.samples.resize(count);
    r.samples.shrink_to_fit();
    return r;
}

SamplesRead samples_of_file(const std::string& path) {
    textio::SeriesFile file;
    try {
        file.open_existing("", std::filesystem::absolute(path).string());
    } catch (const textio::FatalError& e) {
        throw SeriesError(path + ": " + std::string(textio::fatal_message(e.number)));
    }
    return samples_of(file, path);
}

// The guards around a series read: the refusal of the text's layout, the hint on a value
// that is not a number, the count of the values the text holds. `read_samples` reads the
// samples of this text and throws SeriesError.
template <class ReadSamples>
SeriesReading guarded_reading(std::string_view text, const std::string& path, bool free_format,
                              ReadSamples read_samples) {
    if (!free_format) {
        const std::string refusal = series_layout_refusal(text, path);
        if (!refusal.empty()) throw SeriesError(refusal);
    }
    SeriesReading r;
    try {
        SamplesRead read = read_samples();
        r.samples = std::move(read.samples);
        r.stopped = std::move(read.stopped);
    } catch (const SeriesError& e) {
        throw SeriesError(e.what() + unreadable_hint(text, path));
    }
    // The numbers of the file up to a '/' (where the reader stops): free-format items, a
    // repeat r*v counting r. The count stops at kMaxValuesCounted, so that no repeat count
    // (the reader takes any string of digits) and no sum of them overflows.
    constexpr auto kMax = static_cast<double>(SeriesReading::kMaxValuesCounted);
    const std::string read_part(text.substr(0, text.find('/')));
    std::istringstream in(read_part);
    std::string line;
    while (std::getline(in, line)) {
        for (const auto cell : cells_of(line)) {
            const auto star = cell.find('*');
            double repeat = 0.0;
            if (star != std::string_view::npos && is_number(cell.substr(0, star), &repeat) &&
                repeat >= 1.0) {
                r.values_in_file += static_cast<std::int64_t>(std::min(repeat, kMax));
            } else {
                ++r.values_in_file;
            }
            r.values_in_file = std::min(r.values_in_file, SeriesReading::kMaxValuesCounted);
        }
    }
    r.values_in_file =
        std::max<std::int64_t>(r.values_in_file, static_cast<std::int64_t>(r.samples.size()));
    return r;
}

}  // namespace

SeriesReading read_series_guarded(const std::string& path, bool free_format) {
    const std::string text = read_text(path);
    return guarded_reading(text, path, free_format, [&] { return samples_of_file(path); });
}

SeriesReading read_series_text(std::string_view text, const std::string& path, bool free_format) {
    // The text's records are its lines. The series file also ends a record after a NUL
    // byte, but no value holds one: the read fails at the same value either way.
    return guarded_reading(text, path, free_format, [&] {
        textio::StringSource src(text);
        return samples_of(src, path);
    });
}

std::vector<float> read_series(const std::string& path) {
    return samples_of_file(path).samples;
}

}  // namespace tarnvex
