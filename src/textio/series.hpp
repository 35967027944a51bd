#pragma once
// The sample table and how a series is read into it.

#include <array>
#include <cstdint>
#include <span>

#include "limits.hpp"
#include "textio/reader.hpp"

namespace tarnvex::textio {

struct SampleTable {
    std::array<float, NMAX> x{};  // x[i - 1] is sample i; unread entries hold SENTINEL
    std::int32_t ndata = 0;       // index of the last entry that differs from SENTINEL

    std::span<const float> samples() const {
        return std::span<const float>(x.data(), static_cast<std::size_t>(ndata));
    }
};

// Fills the table with SENTINEL, reads up to NMAX reals from `src` in one free-format read
// (its end ends the read), counts ndata. Returns the read's status: Ok or End when the
// values were read, SyntaxError or ConversionError for a bad value.
ReadStatus read_series(RecordSource& src, SampleTable& s, BadValue* bad = nullptr);

}  // namespace tarnvex::textio
