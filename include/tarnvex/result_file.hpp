#pragma once
// The result file: the records the program writes for a run (its header, and the spectrum
// records as the run goes on, with the console records beside them), and a reader that
// parses such a file back into its names, parameters and records.
//
// Every front-end writes result files through these, so a file written by the kit or by
// Python is byte for byte the program's for the same answers:
//
//     tarnvex::StringSink file;
//     file.write(tarnvex::result_file_header("henon.dat", "henon.out", p, tarnvex::derive(x, p)));
//     const tarnvex::Result r = tarnvex::run_writing_records(x, p, file);
//     ... file.text() holds the result file ...
//     const tarnvex::ResultFileContents back = tarnvex::parse_result_file(file.text());

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

// Where records go: whole records, each ended by CR LF.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    virtual void write(std::string_view records) = 0;
};

// Keeps the records in memory.
class StringSink final : public RecordSink {
  public:
    void write(std::string_view records) override { text_.append(records); }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// A name as the header's 20-character fields hold it: blank-padded on the right, cut at 20.
std::string result_file_name_field(std::string_view name);

// The names record (the two names, 20 characters each) and the parameter record (the
// samples used, ncube, the tmax in force, delay, the highest dimension, the lowest, the
// highest again, dt, evolv, 0.0 and the radius percentage), as the program writes them.
std::string result_file_header(std::string_view series_name, std::string_view result_name,
                               const Parameters& p, const Derived& d);

// How the spectrum records of a result file lay out their fields. Program: the program's
// edited fields (the samples counted in 7 positions, the dimension in 7, each estimate in 10
// with two decimals), a value too wide for its field written as asterisks. Widened: the same
// fields, but a value too wide for its field is written in as many positions as it needs
// (the fields after it move right), so nothing is lost; a reader finds the end of a widened
// field from its digits. Used for runs of more samples than the program takes.
enum class RecordLayout { Program, Widened };

// The layout of the result file of a run of `samples_used` samples: the program's for at
// most kProgramSamples, else widened.
RecordLayout record_layout(std::int64_t samples_used);

// One spectrum record of the result file, CR LF included.
std::string file_spectrum_record(std::int64_t samples, int dimension,
                                 std::span<const float> estimates, RecordLayout layout);

// The program's records of a run, written as its events happen: the spectrum records to
// the result file, and the console records (progress, limit, singular-matrix, spectrum,
// warm-up and closing records) to the console when one is given. Every event is handed on
// to `next` as well, after the records are written.
class RecordObserver final : public Observer {
  public:
    RecordObserver(RecordSink& result, RecordSink* console = nullptr, Observer* next = nullptr,
                   RecordLayout layout = RecordLayout::Program);
    ~RecordObserver() override;
    RecordObserver(const RecordObserver&) = delete;
    RecordObserver& operator=(const RecordObserver&) = delete;

    void loop_started(std::int64_t ntrip) override;
    void search_accepted(const SearchEvent& e) override;
    void step_given_up(std::int64_t iteration, std::int64_t iref) override;
    void singular(const RetryEvent& e) override;
    void report(const ReportEvent& e) override;
    void warmup_ended(std::int64_t evolv) override;
    void iteration_done(std::int64_t iteration, std::int64_t ntrip) override;
    void finished(std::int64_t nstep, std::int32_t tmax) override;

  private:
    struct Channels;
    std::unique_ptr<Channels> channels_;
    Observer* next_;
    RecordLayout layout_;
};

// Runs the estimate as run() does, writing the program's records as it goes (the header is
// the caller's: the program writes it before the checks), in the layout record_layout()
// gives for the samples used. Throws ParameterError when a
// check refuses the parameters; nothing is written then.
Result run_writing_records(std::span<const float> samples, const Parameters& p, RecordSink& result,
                           RecordSink* console = nullptr, Observer* next = nullptr);

// One spectrum record of a result file.
struct ResultFileRecord {
    std::int64_t samples = 0;  // counted steps times the evolution time
    int dimension = 0;
    std::vector<double> estimates;  // bits per unit time, one per exponent, as the file
                                    // rounds them (NaN for a field of asterisks)
    bool warmup = false;            // written during the warm-up (evolution time 1)
};

// A result file read back.
struct ResultFileContents {
    std::string series_name;  // the names record's two fields, 20 characters each
    std::string result_name;
    // The parameter record.
    std::int64_t npts = 0;  // samples used
    std::int64_t ncube = 0;
    std::int64_t tmax = 0;  // the tmax in force: as given, else the iteration budget
    std::int64_t delay = 0;
    Dims dims;
    double dt = 0.0;
    std::int64_t evolv = 0;
    double radius_pct = 0.0;
    std::vector<ResultFileRecord> records;

    // The last record of dimension m, or nullptr.
    const ResultFileRecord* last_record(int m) const;
};

// Text that is not a result file.
class ResultFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses the text of a result file. A record is the warm-up's when it was written at the
// warm-up's only report point, 25 samples: at an evolution time above one no later record
// can have that count; at one, the warm-up's record of a dimension is the first of two at
// 25. Widened records are read as well as the program's. Throws ResultFileError naming the
// first thing that is wrong.
ResultFileContents parse_result_file(std::string_view text);

// Reads and parses the file at `path`; ResultFileError when it cannot be read.
ResultFileContents read_result_file(const std::string& path);

}  // namespace tarnvex
