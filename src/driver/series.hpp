#pragma once
// The sample table and its loading from the series file.

#include <array>
#include <cstdint>

#include "limits.hpp"
#include "textio/channels.hpp"

namespace tarnvex::driver {

struct Series {
    std::array<float, NMAX> x{};  // x[i - 1] is sample i; unread entries hold SENTINEL
    std::int32_t ndata = 0;       // index of the last entry that differs from SENTINEL
};

// Fills the table with SENTINEL, reads up to NMAX reals from `src` in one free-format read
// (its end ends the read), counts ndata. Returns the report number of a bad value, or 0.
int read_series(textio::RecordSource& src, Series& s);

// The whole loading step of a run: the two console records around the read, the series
// file closed afterwards; a bad value ends the run with its report on channel 10.
void load_series(textio::SeriesFile& file, textio::RecordWriter& console, Series& s);

}  // namespace tarnvex::driver
