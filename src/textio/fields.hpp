#pragma once
// Pure field formatters: each appends exactly one field to a buffer.

#include <cstdint>
#include <string>

namespace tarnvex::textio {

// Iw: the integer right-justified in w positions; w asterisks when it does not fit.
void append_int_field(std::string& out, std::int64_t value, int w);

// Fw.d: the real rounded to d decimals (ties away from zero, on the exact binary value),
// right-justified in w positions; "0" before the point only when there is room; a value
// that rounds to zero carries no minus sign; w asterisks when it does not fit.
void append_fixed_field(std::string& out, float value, int w, int d);

// The 15-position real field of free-format output: fixed form with 7 significant
// digits and four trailing blanks for magnitudes in [0.1, 1e7), exponent form otherwise.
void append_free_real(std::string& out, float value);

// Width of the free-format fields.
inline constexpr int kFreeIntWidth = 12;
inline constexpr int kFreeRealWidth = 15;

}  // namespace tarnvex::textio
