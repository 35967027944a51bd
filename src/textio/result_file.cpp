// The result file: its header, the program's records of a run, and the reader.

#include "tarnvex/result_file.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "limits.hpp"
#include "textio/fields.hpp"
#include "textio/records.hpp"
#include "textio/sink.hpp"

namespace tarnvex {

namespace {

// A progress record is written for an accepted search while fewer steps than this have
// been counted.
constexpr int kProgressLimit = 100;
// Counted steps between two spectrum reports on the console and in the result file; both
// fall on report points of the engine.
constexpr int kConsoleReportEvery = 50;
constexpr int kFileReportEvery = 25;
static_assert(kConsoleReportEvery % kReportEvery == 0 && kFileReportEvery % kReportEvery == 0);
// The warm-up's only report point, in counted samples (its steps are one sample each).
constexpr std::int64_t kWarmupReportSamples = kReportEvery;
static_assert(kWarmupIterations / kReportEvery == 1);

// Hands a channel's built records on to a sink.
class SinkWriter final : public textio::RecordWriter {
  public:
    explicit SinkWriter(RecordSink& sink) : sink_(sink) {}

  protected:
    void emit(std::string_view records) override { sink_.write(records); }

  private:
    RecordSink& sink_;
};

}  // namespace

std::string result_file_name_field(std::string_view name) {
    std::string f(name.substr(0, 20));
    f.resize(20, ' ');
    return f;
}

std::string result_file_header(std::string_view series_name, std::string_view result_name,
                               const Parameters& p, const Derived& d) {
    textio::StringWriter w;
    const std::string series = result_file_name_field(series_name);
    const std::string result = result_file_name_field(result_name);
    w.write_edited(textio::kNamesRecord, {std::string_view(series), std::string_view(result)});
    // The fifth item is the current dimension, which is the highest when the header is
    // written.
    w.write_free({d.npts, p.ncube, d.tmax, p.delay, p.dims.to, p.dims.from, p.dims.to, p.dt,
                  p.evolv, 0.0f, p.radius_pct});
    return w.text();
}

struct RecordObserver::Channels {
    explicit Channels(RecordSink& result_to, RecordSink* console_sink)
        : result_sink(result_to),
          result(result_to),
          console(console_sink != nullptr ? *console_sink : nowhere) {}
    RecordSink& result_sink;
    std::string record;  // a widened spectrum record being built
    textio::NullWriter nowhere;
    SinkWriter result;
    SinkWriter console;
};

RecordLayout record_layout(std::int64_t samples_used) {
    return samples_used > kProgramSamples ? RecordLayout::Widened : RecordLayout::Program;
}

namespace {

// Samples counted and the dimension, then the estimates, of a file spectrum record.
constexpr std::size_t kCountWidth = 7;
constexpr std::size_t kEstimateWidth = 10;
constexpr int kDecimals = 2;

// Appends a field of `width` positions, or of as many as its value needs when they are
// too few. `append(out, w)` appends the field at w positions; at kWide every value fits,
// and a field right-justified there and cut to its last `width` positions is the field at
// `width` positions.
template <class Append>
void append_widened(std::string& out, std::size_t width, Append append) {
    constexpr int kWide = 60;
    const std::size_t start = out.size();
    append(out, kWide);
    const std::size_t need = out.size() - out.find_first_not_of(' ', start);
    out.erase(start, out.size() - start - std::max(need, width));
}

// One spectrum record, CR LF included, appended to `out`.
void append_file_spectrum_record(std::string& out, std::int64_t samples, int dimension,
                                 std::span<const float> estimates, RecordLayout layout) {
    if (layout == RecordLayout::Program) {
        std::array<textio::Item, MMAX + 2> items{textio::Item(samples), textio::Item(dimension)};
        const std::size_t m = std::min<std::size_t>(estimates.size(), MMAX);
        for (std::size_t i = 0; i < m; ++i)
            items[i + 2] = textio::Item(estimates[i]);
        textio::append_edited(out, textio::kFileSpectrum,
                              std::span<const textio::Item>(items.data(), m + 2));
        return;
    }
    const auto integer = [](std::int64_t v) {
        return [v](std::string& o, int w) { textio::append_int_field(o, v, w); };
    };
    append_widened(out, kCountWidth, integer(samples));
    append_widened(out, kCountWidth, integer(dimension));
    for (const float v : estimates) {
        append_widened(out, kEstimateWidth, [v](std::string& o, int w) {
            textio::append_fixed_field(o, v, w, kDecimals);
        });
    }
    out += "\r\n";
}

}  // namespace

std::string file_spectrum_record(std::int64_t samples, int dimension,
                                 std::span<const float> estimates, RecordLayout layout) {
    std::string out;
    append_file_spectrum_record(out, samples, dimension, estimates, layout);
    return out;
}

RecordObserver::RecordObserver(RecordSink& result, RecordSink* console, Observer* next,
                               RecordLayout layout)
    : channels_(std::make_unique<Channels>(result, console)), next_(next), layout_(layout) {}

RecordObserver::~RecordObserver() = default;

void RecordObserver::loop_started(std::int64_t ntrip) {
    channels_->console.write_free({});
    if (next_ != nullptr) next_->loop_started(ntrip);
}

void RecordObserver::search_accepted(const SearchEvent& e) {
    if (e.nstep < kProgressLimit) {
        channels_->console.write_edited(textio::kProgressRecord, {e.enlargements, e.neighbours});
    }
    if (next_ != nullptr) next_->search_accepted(e);
}

void RecordObserver::step_given_up(std::int64_t iteration, std::int64_t iref) {
    channels_->console.write_edited(textio::kLimitRecord, {});
    if (next_ != nullptr) next_->step_given_up(iteration, iref);
}

void RecordObserver::singular(const RetryEvent& e) {
    textio::RecordWriter& console = channels_->console;
    switch (e.kind) {
        case Singular::Covariance:
            console.write_free({"mtrinv: matrix singular"});
            break;
        case Singular::OrthonormalColumn:
            console.write_free({"householder: matrix singular"});
            break;
        case Singular::OrthonormalFactor:
            // The inversion of the triangular factor reports first, then the
            // orthonormalisation.
            console.write_free({"mtrinv: matrix singular"});
            console.write_free({"householder: mtrinv: matrix singular"});
            break;
    }
    if (next_ != nullptr) next_->singular(e);
}

void RecordObserver::report(const ReportEvent& e) {
    // Items of both reports: samples counted, the dimension, the m estimates.
    std::array<textio::Item, MMAX + 2> items{textio::Item(e.nstep * e.evolv),
                                             textio::Item(e.dimension)};
    for (std::size_t i = 0; i < e.exponents.size(); ++i)
        items[i + 2] = textio::Item(e.exponents[i]);
    const std::span<const textio::Item> list(items.data(), e.exponents.size() + 2);
    if (e.nstep % kConsoleReportEvery == 0)
        channels_->console.write_edited(textio::kConsoleSpectrum, list);
    if (e.nstep % kFileReportEvery == 0) {
        if (layout_ == RecordLayout::Program) {
            channels_->result.write_edited(textio::kFileSpectrum, list);
        } else {
            // Built in a buffer kept from record to record.
            std::string& record = channels_->record;
            record.clear();
            append_file_spectrum_record(record, e.nstep * e.evolv, e.dimension, e.exponents,
                                        layout_);
            channels_->result_sink.write(record);
        }
    }
    if (next_ != nullptr) next_->report(e);
}

void RecordObserver::warmup_ended(std::int64_t evolv) {
    channels_->console.write_free({"evolv=", evolv});
    if (next_ != nullptr) next_->warmup_ended(evolv);
}

void RecordObserver::iteration_done(std::int64_t iteration, std::int64_t ntrip) {
    if (next_ != nullptr) next_->iteration_done(iteration, ntrip);
}

void RecordObserver::finished(std::int64_t nstep, std::int32_t tmax) {
    if (nstep < tmax) {
        channels_->console.write_free({"jmax=", tmax, " zu gross"});
        channels_->console.write_free({"nur", nstep, " pts. genuegen den bedingungen"});
    }
    if (next_ != nullptr) next_->finished(nstep, tmax);
}

Result run_writing_records(std::span<const float> samples, const Parameters& p, RecordSink& result,
                           RecordSink* console, Observer* next) {
    const RecordLayout layout =
        record_layout(std::min<std::int64_t>(p.npts, static_cast<std::int64_t>(samples.size())));
    RecordObserver records(result, console, next, layout);
    return run(samples, p, &records);
}

const ResultFileRecord* ResultFileContents::last_record(int m) const {
    const ResultFileRecord* last = nullptr;
    for (const auto& r : records)
        if (r.dimension == m) last = &r;
    return last;
}

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw ResultFileError("not a tarnvex result file: " + why);
}

std::int64_t field_integer(std::string_view line, std::size_t pos, std::size_t width, int lineno) {
    if (line.size() < pos + width) refuse("line " + std::to_string(lineno) + " is too short");
    const std::string f(line.substr(pos, width));
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(f.c_str(), &end, 10);
    if (end == f.c_str() || errno != 0)
        refuse("line " + std::to_string(lineno) + ": no integer in '" + f + "'");
    for (const char* p = end; *p != '\0'; ++p) {
        if (*p != ' ') refuse("line " + std::to_string(lineno) + ": no integer in '" + f + "'");
    }
    return v;
}

double field_real(std::string_view line, std::size_t pos, std::size_t width, int lineno) {
    if (line.size() < pos + width) refuse("line " + std::to_string(lineno) + " is too short");
    const std::string f(line.substr(pos, width));
    if (f.find_first_not_of(' ') == std::string::npos)
        refuse("line " + std::to_string(lineno) + ": empty field");
    if (f.find('*') != std::string::npos) return std::nan("");  // a value too wide for its field
    char* end = nullptr;
    const double v = std::strtod(f.c_str(), &end);
    if (end == f.c_str()) refuse("line " + std::to_string(lineno) + ": no number in '" + f + "'");
    for (const char* p = end; *p != '\0'; ++p) {
        if (*p != ' ') refuse("line " + std::to_string(lineno) + ": no number in '" + f + "'");
    }
    return v;
}

// The length of the field at `pos` of at least `width` positions: `width` for a field of
// the program's layout (or one of asterisks, or a word such as NaN), more for a widened one.
// A widened integer's digits run on past the field to its last digit; a widened real (with
// two decimals) has its point further right than the program's field puts it, and ends two
// places after it.
std::size_t widened_length(std::string_view line, std::size_t pos, std::size_t width, bool real) {
    if (line.size() < pos + width) return width;  // too short: the field's reader says so
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!real) {
        std::size_t end = pos + width;
        if (!digit(line[end - 1])) return width;
        while (end < line.size() && digit(line[end]))
            ++end;
        return end - pos;
    }
    const auto decimals = static_cast<std::size_t>(kDecimals);
    const std::string_view field = line.substr(pos, width);
    if (field.find('*') != std::string_view::npos) return width;
    const std::size_t point = line.find('.', pos);
    if (point == std::string_view::npos || point <= pos + width - decimals - 1 ||
        point + decimals + 1 > line.size())
        return width;
    for (std::size_t i = pos; i < point; ++i)
        if (!digit(line[i]) && !(i == pos && line[i] == '-')) return width;
    return point + decimals + 1 - pos;
}

int dimension_field(std::int64_t v, int lineno, const char* what) {
    if (v < 1 || v > MMAX)
        refuse("line " + std::to_string(lineno) + ": " + what + " outside 1..20");
    return static_cast<int>(v);
}

}  // namespace

ResultFileContents parse_result_file(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) refuse("the last line has no line end");
        if (lf == pos || text[lf - 1] != '\r')
            refuse("line " + std::to_string(lines.size() + 1) + " does not end in CR LF");
        lines.push_back(text.substr(pos, lf - 1 - pos));
        pos = lf + 1;
    }
    if (lines.size() < 3) refuse("fewer than three lines");
    ResultFileContents r;
    if (lines[0].size() != 40) refuse("the first line is not two names of 20 characters");
    r.series_name = std::string(lines[0].substr(0, 20));
    r.result_name = std::string(lines[0].substr(20, 20));
    if (lines[1].size() != 72) refuse("the second line is not six integers of 12 positions");
    r.npts = field_integer(lines[1], 0, 12, 2);
    r.ncube = field_integer(lines[1], 12, 12, 2);
    r.tmax = field_integer(lines[1], 24, 12, 2);
    r.delay = field_integer(lines[1], 36, 12, 2);
    r.dims.to = dimension_field(field_integer(lines[1], 48, 12, 2), 2, "the highest dimension");
    r.dims.from = dimension_field(field_integer(lines[1], 60, 12, 2), 2, "the lowest dimension");
    if (lines[2].size() != 69) refuse("the third line is not the parameter line");
    r.dt = field_real(lines[2], 12, 15, 3);
    r.evolv = field_integer(lines[2], 27, 12, 3);
    r.radius_pct = field_real(lines[2], 54, 15, 3);

    for (std::size_t i = 3; i < lines.size(); ++i) {
        const int lineno = static_cast<int>(i) + 1;
        const std::string_view l = lines[i];
        ResultFileRecord rec;
        // The program's fields are at fixed places; a widened field moves those after it.
        std::size_t at = 0;
        const auto integer = [&](std::size_t width) {
            const std::size_t len = widened_length(l, at, width, false);
            const std::int64_t v = field_integer(l, at, len, lineno);
            at += len;
            return v;
        };
        rec.samples = integer(7);
        // The dimension (at most 20) always fits its field.
        const std::int64_t dimension = field_integer(l, at, 7, lineno);
        at += 7;
        if (dimension < 1 || dimension > MMAX)
            refuse("line " + std::to_string(lineno) + " is not a spectrum record");
        rec.dimension = static_cast<int>(dimension);
        for (int k = 0; k < rec.dimension; ++k) {
            if (l.size() < at + 10)
                refuse("line " + std::to_string(lineno) + " is not a spectrum record");
            const std::size_t len = widened_length(l, at, 10, true);
            rec.estimates.push_back(field_real(l, at, len, lineno));
            at += len;
        }
        if (at != l.size()) refuse("line " + std::to_string(lineno) + " is not a spectrum record");
        r.records.push_back(std::move(rec));
    }
    // The warm-up reports once, at 25 steps of one sample. At a larger evolution time no
    // later record has that count; at one, the counted phase reports at 25 too, after it:
    // the warm-up's record of a dimension is then its first, followed by another at 25.
    for (ResultFileRecord& rec : r.records) {
        if (r.evolv > 1 && rec.samples == kWarmupReportSamples) rec.warmup = true;
    }
    if (r.evolv == 1) {
        for (int m = 1; m <= MMAX; ++m) {
            ResultFileRecord* first = nullptr;
            for (ResultFileRecord& rec : r.records) {
                if (rec.dimension != m) continue;
                if (first == nullptr) {
                    first = &rec;
                    if (rec.samples != kWarmupReportSamples) break;
                } else if (rec.samples == kWarmupReportSamples) {
                    first->warmup = true;
                    break;
                }
            }
        }
    }
    return r;
}

ResultFileContents read_result_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ResultFileError("cannot read " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw ResultFileError("cannot read " + path);
    return parse_result_file(ss.str());
}

}  // namespace tarnvex
