#pragma once
// Free-format input and edited text input over a stream of records.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex::textio {

// A channel's stream of input records (lines without their line end).
class RecordSource {
  public:
    virtual ~RecordSource() = default;
    // Moves to the next record and makes it available through `record`; false at the end
    // of the input. The view stays valid until the next call.
    virtual bool next_record(std::string_view& record) = 0;
};

// A record source over text held in memory; records end at a line feed, a carriage
// return directly before it is dropped.
class StringSource final : public RecordSource {
  public:
    explicit StringSource(std::string_view text) : text_(text) {}
    bool next_record(std::string_view& record) override;

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Splits one line off `text` starting at `pos`; the shared line-end rule of all channels.
// Returns false when nothing is left.
bool split_record(std::string_view text, std::size_t& pos, std::string_view& record);

enum class ReadStatus {
    Ok,               // every target reached, or a slash ended the statement
    End,              // end of input before every target was reached
    SyntaxError,      // a character that cannot belong to a number (report 59)
    ConversionError,  // number characters that do not convert to the target (report 64)
};

// One target of a free-format read.
struct Target {
    std::int32_t* ip = nullptr;  // integer target, or
    float* fp = nullptr;         // real target
    static Target of(std::int32_t& v) { return {&v, nullptr}; }
    static Target of(float& v) { return {nullptr, &v}; }
};

// One free-format input statement into mixed targets: begins with a fresh record, takes
// values separated by blanks, tabs, commas and record ends from as many records as it
// needs; null values, r*c and r*, and a slash as the language of list input allows.
ReadStatus read_free(RecordSource& src, std::span<const Target> targets);

// Where a read failed: the record of the read (from 1), the column (from 1) and the text
// of the value.
struct BadValue {
    std::size_t record = 0;
    std::size_t column = 0;
    std::string text;
    std::size_t target = 0;  // the target it was for, from 0
};

// The same statement into a table of reals (the series read); `bad`, when given, learns
// where a syntax or conversion error stands.
ReadStatus read_free(RecordSource& src, std::span<float> targets, BadValue* bad = nullptr);

// The same statement into up to `limit` reals that exist only as far as values reach them:
// `values` grows to the last target assigned, a target passed over (a null value) holding
// `fill`. The same values land where the read into a table of `limit` reals filled with
// `fill` puts them.
ReadStatus read_free(RecordSource& src, std::vector<float>& values, std::size_t limit, float fill,
                     BadValue* bad = nullptr);

// One A-edited input statement: the first `width` characters of the next record, filled
// up with blanks. Returns false at the end of input.
bool read_edited_text(RecordSource& src, int width, std::string& target);

// Converts one value token for a target. Exposed for tests.
ReadStatus convert_int(std::string_view token, std::int32_t& out);
ReadStatus convert_real(std::string_view token, float& out);

}  // namespace tarnvex::textio
