#pragma once
// The program's records of a run: the console dialogue, the result file's header, and the
// console and result-file records of the step loop, written from the engine's events.

#include <cstdint>
#include <string_view>

#include "tarnvex/tarnvex.hpp"
#include "textio/sink.hpp"

namespace tarnvex::textio {

// A progress record is written for an accepted search while fewer steps than this have
// been counted.
inline constexpr int kProgressLimit = 100;
// Counted steps between two spectrum reports on the console and in the result file; both
// fall on report points of the engine.
inline constexpr int kConsoleReportEvery = 50;
inline constexpr int kFileReportEvery = 25;
static_assert(kConsoleReportEvery % kReportEvery == 0 && kFileReportEvery % kReportEvery == 0);

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

// The result file's names record (the two names as read, 20 characters each) and its
// parameter record: the samples used, ncube, the tmax in force, delay, mto, mfrom, mto,
// dt, evolv, 0.0 and the radius percentage.
void write_result_header(RecordWriter& result, std::string_view infile, std::string_view outfile,
                         const Parameters& p, const Derived& d);

// A name as the program's 20-character field holds it: blank-padded, cut at 20.
std::string name_field(std::string_view name);

// The records of the step loop, written as its events happen.
class RecordObserver : public Observer {
  public:
    RecordObserver(RecordWriter& console, RecordWriter& result)
        : console_(console), result_(result) {}

    void loop_started(std::int64_t ntrip) override;
    void search_accepted(const SearchEvent& e) override;
    void step_given_up(std::int64_t iteration, std::int64_t iref) override;
    void singular(const RetryEvent& e) override;
    void report(const ReportEvent& e) override;
    void warmup_ended(std::int64_t evolv) override;
    void finished(std::int64_t nstep, std::int32_t tmax) override;

  private:
    RecordWriter& console_;
    RecordWriter& result_;
};

}  // namespace tarnvex::textio
