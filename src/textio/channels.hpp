#pragma once
// The program's channels: thin adapters between the record builders and the console,
// the series file and the result file, and the fatal error reports of failed transfers.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "textio/reader.hpp"
#include "textio/records.hpp"
#include "textio/sink.hpp"

namespace tarnvex::textio {

// Channel numbers; they appear in the fatal error reports.
inline constexpr int kConsoleFree = -1;    // free-format console output
inline constexpr int kConsoleEdited = 6;   // edited console output
inline constexpr int kConsoleRead = -4;    // free-format console input
inline constexpr int kNameRead = 5;        // edited console input (file names)
inline constexpr int kSeriesChannel = 10;  // the series file
inline constexpr int kResultChannel = 20;  // the result file

// Report numbers of the fatal conditions.
enum class Fatal : int {
    PermissionDenied = 9,
    ExistingFile = 10,
    EndOfFile = 24,
    FileNotFound = 29,
    OpenFailure = 30,
    BadFileName = 43,
    SyntaxError = 59,
    ConversionError = 64,
};

// A fatal condition on a channel; thrown by the channels and turned into the report line
// and the exit status by the run's entry point alone.
struct FatalError {
    Fatal number;
    int channel;
    std::string path;  // full path of the file, "stdin" for the console channels
};

// The one-line report: "dralum: severe (N): <message>, unit C, file P" and a line feed.
std::string fatal_report_line(const FatalError& e);
// The message of a report number, as the report line gives it.
std::string_view fatal_message(Fatal n);

// The name of the console input in reports.
inline constexpr std::string_view kStdinName = "stdin";

// Console output (channels -1 and 6 share it): every record is flushed at once.
class ConsoleOut final : public RecordWriter {
  public:
    explicit ConsoleOut(std::ostream& os) : os_(os) {}
    void flush();

  protected:
    void emit(std::string_view records) override;

  private:
    std::ostream& os_;
};

// Console input (channels -4 and 5 share one position in standard input, whole lines in
// program order). Console output is flushed before every record is read, so prompts
// show when typing.
class ConsoleIn final : public RecordSource {
  public:
    ConsoleIn(std::istream& is, ConsoleOut& out) : is_(is), out_(out) {}
    bool next_record(std::string_view& record) override;

    // The numeric dialogue reads (channel -4); a failure ends the run with its report.
    void read_values(std::span<const Target> targets);
    // The name reads (channel 5): the first 20 characters of a line.
    std::string read_name(int width);

  private:
    std::istream& is_;
    ConsoleOut& out_;
    std::string line_;
};

// A file name as read: trailing blanks are not part of it.
std::string trim_file_name(std::string_view name);
// The full path of a file name for reports and opens: the name itself when it starts
// with "/", else the working directory, "/" and the name (links are not resolved).
std::string full_path(std::string_view cwd, std::string_view name);

// The series file (channel 10), opened as an existing file for reading.
class SeriesFile final : public RecordSource {
  public:
    SeriesFile() = default;
    ~SeriesFile() override;
    SeriesFile(const SeriesFile&) = delete;
    SeriesFile& operator=(const SeriesFile&) = delete;

    void open_existing(std::string_view cwd, std::string_view name);  // throws FatalError
    void rewind();
    void close();
    const std::string& path() const { return path_; }
    bool next_record(std::string_view& record) override;

  private:
    bool fill();
    int fd_ = -1;
    std::string path_;
    std::string buf_;      // bytes read but not yet consumed
    std::size_t pos_ = 0;  // first unconsumed byte of buf_
    bool eof_ = false;
};

// The result file (channel 20), created as a new file; every record is written through
// at once, so what was written survives a killed run.
class ResultFile final : public RecordWriter {
  public:
    ResultFile() = default;
    ~ResultFile() override;

    void open_new(std::string_view cwd, std::string_view name);  // throws FatalError
    void rewind();
    void close();

  protected:
    void emit(std::string_view records) override;

  private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace tarnvex::textio
