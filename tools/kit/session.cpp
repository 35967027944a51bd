#include "kit/session.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "kit/options.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/report.hpp"
#include "tarnvex/result_file.hpp"
#include "textio/channels.hpp"
#include "textio/fields.hpp"
#include "textio/transcript.hpp"

namespace tarnvex::kit {

namespace fs = std::filesystem;

tarnvex::SeriesReading read_series_file(const std::string& path, bool free_format) {
    if (!fs::exists(path)) throw FileError("no series file " + path);
    try {
        return tarnvex::read_series_guarded(path, free_format);
    } catch (const SeriesError& e) {
        throw FileError(e.what());
    }
}

std::string reading_line(const tarnvex::SeriesReading& r, std::int32_t used) {
    return "series: " + tarnvex::reading_text(r, used);
}

void refuse_one_integer(const std::vector<float>& samples, const RunParams& p) {
    if (!tarnvex::check(samples, p).empty()) return;  // the refusal is reported by the run
    const tarnvex::Derived d = tarnvex::derive(samples, p);
    const auto used = std::span<const float>(samples).first(
        static_cast<std::size_t>(std::max<std::int32_t>(d.npts, 0)));
    if (const auto message = tarnvex::one_integer_refusal(tarnvex::series_facts(used)))
        throw FileError(*message);
}

void check_parameters(const std::vector<float>& samples, const RunParams& p) {
    const std::string_view refusal = tarnvex::check(samples, p);
    if (!refusal.empty()) {
        throw UsageError("the parameters are refused: " +
                         std::string(tarnvex::refusal_text(refusal)));
    }
}

std::string fresh_name(const std::string& series, const std::string& extension) {
    const fs::path s(series);
    for (int n = 1; n < 100000; ++n) {
        const fs::path candidate =
            s.parent_path() / (s.stem().string() + "." + std::to_string(n) + "." + extension);
        if (!fs::exists(candidate)) return candidate.string();
    }
    throw UsageError("no fresh ." + extension + " name next to " + series);
}

namespace {

// A name the program can read: the file's own name when it fits 20 characters.
std::string short_name(const fs::path& p, const std::string& fallback) {
    const std::string name = p.filename().string();
    if (name.size() <= 20 && name.find_first_not_of(' ') != std::string::npos && name.back() != ' ')
        return name;
    return fallback;
}

}  // namespace

namespace {

// Set by an interrupt while a run writes its result file; the run stops at the end of its
// current iteration.
std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) {
    interrupted.store(true);
}

struct Stopped {
    std::int64_t iteration = 0;
};

// A stop at the end of the iteration when interrupted, after the program's records of it.
class StopOnInterrupt : public tarnvex::Observer {
  public:
    void report(const tarnvex::ReportEvent& e) override { nstep_ = e.nstep; }
    void iteration_done(std::int64_t iteration, std::int64_t) override {
        if (interrupted.load()) throw Stopped{iteration};
    }
    std::int64_t last_report() const { return nstep_; }

  private:
    std::int64_t nstep_ = 0;
};

// Interrupts stop the run instead of the process while it lives.
class InterruptScope {
  public:
    InterruptScope() {
        interrupted.store(false);
        previous_ = std::signal(SIGINT, on_interrupt);
        // An interrupt the caller ignores (nohup, a background job) stays ignored.
        if (previous_ == SIG_IGN) std::signal(SIGINT, SIG_IGN);
    }
    ~InterruptScope() { std::signal(SIGINT, previous_); }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

  private:
    void (*previous_)(int) = SIG_DFL;
};

}  // namespace

RunOutcome run_engine(const std::string& series, const std::vector<float>& samples,
                      const std::string& result, const RunParams& p, bool keep_transcript) {
    check_parameters(samples, p);
    if (fs::exists(result))
        throw UsageError(result + " exists; a result file is never overwritten");
    // The file is written under a name of its own and takes its name when the run ends, so
    // a stopped or failed run never leaves estimates under the result file's name.
    const std::string partial = result + ".partial";
    if (fs::exists(partial))
        throw UsageError(partial + " exists (a stopped run's); move it away first");
    const std::string series_name = short_name(series, "series.dat");
    std::string result_name = short_name(result, "result.out");
    if (result_name == series_name) result_name = "result.out";

    textio::ResultFile file;
    try {
        file.open_new("", fs::absolute(partial).string());
    } catch (const textio::FatalError& e) {
        throw FileError("cannot create " + result + ": " +
                        std::string(textio::fatal_message(e.number)));
    }
    const tarnvex::Derived d = tarnvex::derive(samples, p);
    textio::StringWriter transcript;
    textio::NullWriter nowhere;
    textio::RecordWriter& console =
        keep_transcript ? static_cast<textio::RecordWriter&>(transcript) : nowhere;
    textio::write_dialogue(console, static_cast<std::int32_t>(samples.size()), d.periode,
                           d.initial_radius);
    file.write(tarnvex::result_file_header(series_name, result_name, p, d));
    StopOnInterrupt observer;
    RunOutcome o;
    try {
        const InterruptScope scope;
        o.result = tarnvex::run_writing_records(samples, p, file, &console, &observer);
    } catch (const Stopped& s) {
        file.close();
        throw KitError(kStatusStopped,
                       "stopped at iteration " + std::to_string(s.iteration) + " after " +
                           std::to_string(observer.last_report()) +
                           " counted steps at the last record: the result file so far is kept "
                           "as " +
                           partial + " (running estimates, not final ones)");
    } catch (...) {
        file.close();
        fs::remove(partial);  // a failed run leaves nothing behind
        throw;
    }
    file.close();
    std::error_code error;
    fs::create_hard_link(partial, result, error);  // never over a file made meanwhile
    if (!error) {
        fs::remove(partial);
    } else if (!fs::exists(result)) {
        fs::rename(partial, result, error);  // a file system without hard links
    }
    if (error) {
        throw FileError("the run ended, but " + result + " cannot take its name (" +
                        error.message() + "): the result is kept as " + partial);
    }
    o.result_path = result;
    o.transcript = transcript.text();
    return o;
}

std::string fixed2(float v) {
    std::string s;
    textio::append_fixed_field(s, v, 40, 2);
    return s.substr(s.find_first_not_of(' '));
}

}  // namespace tarnvex::kit
