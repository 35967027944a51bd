#pragma once
// Series files read by the program's rules: free-format numbers, the count taken from the
// last value that differs from the fill value; at most kMaxSamples of them (the program
// itself reads only the first kProgramSamples); and, for the front-ends, the same reading
// after a look at the file's layout.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

// Reads a series file by the program's rules: free-format numbers separated by blanks,
// tabs, commas or line ends, at most kMaxSamples of them; the count is the position of the
// last value that differs from the fill value 123456.7. For a file of at most
// kProgramSamples values these are the program's samples. Throws SeriesError for a value
// that is not a number among the first kProgramSamples (where the program fails too); one
// after them ends the read, the values before it kept.
class SeriesError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
std::vector<float> read_series(const std::string& path);

// A series file read for a front-end that must not take a file other than it was meant.
struct SeriesReading {
    std::vector<float> samples;  // by the program's rules: at most kMaxSamples
    // The numbers the file holds, read or not, counted up to kMaxValuesCounted.
    static constexpr std::int64_t kMaxValuesCounted = 1'000'000'000'000'000'000;
    std::int64_t values_in_file = 0;
    // Where a value that is not a number ended the read beyond the program's first
    // kProgramSamples values (which the program never reads), and how many values were
    // used; empty when the read did not stop so.
    std::string stopped;
    // `stopped`, or "used the first 10000000 of 10800000 values: the sample limit" when
    // values were left out, else empty.
    std::string cut_note() const;
};

// Reads a series file as read_series does, after looking at its text: unless
// `free_format`, a file whose every line holds the same count of two or more numbers (a
// table), whose lines hold decimal commas ("12,345", which reads as two numbers), or
// whose single column rises strictly from first to last (a column of times) is refused
// with a SeriesError that says what it looks like and how to prepare it (tarnvex-kit prep);
// a value that is not a number names a header line or columns when the file looks so.
SeriesReading read_series_guarded(const std::string& path, bool free_format);
// The same over the text of a series file: the refusals, hints and errors of
// read_series_guarded for a file of this text, whose name `path` gives in the messages.
SeriesReading read_series_text(std::string_view text, const std::string& path, bool free_format);

// The refusal read_series_guarded gives for a file of this text, or empty. `path` only
// names the file in the hints.
std::string series_layout_refusal(std::string_view text, const std::string& path);

}  // namespace tarnvex
