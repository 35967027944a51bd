#include "textio/fields.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace tarnvex::textio {
namespace {

void append_right(std::string& out, std::string_view text, int w) {
    for (int i = static_cast<int>(text.size()); i < w; ++i)
        out.push_back(' ');
    out.append(text);
}

void append_stars(std::string& out, int w) {
    out.append(static_cast<std::size_t>(w), '*');
}

// Infinity and NaN: the longest name that fits, else asterisks.
void append_non_finite(std::string& out, float value, int w) {
    std::string_view longer = std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
    std::string_view shorter = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    if (static_cast<int>(longer.size()) <= w) {
        append_right(out, longer, w);
    } else if (static_cast<int>(shorter.size()) <= w) {
        append_right(out, shorter, w);
    } else {
        append_stars(out, w);
    }
}

// Adds one unit in the last place of a string of decimal digits; returns true when the
// carry runs out of the leftmost digit (all nines became zeros).
bool increment_digits(char* digits, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    return true;
}

// The magnitude of a finite, non-zero float rounded to 7 significant digits, ties away
// from zero, from its exact decimal expansion: digits d[0..6] and the decimal exponent e
// such that the rounded magnitude is d0.d1...d6 * 10^e.
struct SevenDigits {
    char d[7];
    int e;
};

SevenDigits round_seven(float value) {
    // A float's exact decimal expansion has at most 112 significant digits; the C
    // library writes the exact digits when asked for enough of them.
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.120e", std::fabs(static_cast<double>(value)));
    SevenDigits r{};
    r.d[0] = buf[0];
    for (int i = 1; i < 7; ++i)
        r.d[i] = buf[i + 1];  // skip the point
    const char next = buf[8];
    const char* epos = std::strchr(buf, 'e');
    r.e = std::atoi(epos + 1);
    if (next >= '5' && increment_digits(r.d, 7)) {
        r.d[0] = '1';
        r.e += 1;
    }
    return r;
}

std::uint64_t power_of_ten(int d) {
    std::uint64_t power = 1;
    for (int i = 0; i < d; ++i)
        power *= 10;
    return power;
}

// |value| * 10^d rounded to a whole number, ties away from zero, worked out exactly in
// 64-bit integers: |value| = M * 2^(e - 24) with M < 2^24, so M * 10^d < 2^54 for d <= 9.
// False when the result might not fit (d > 9 or |value| >= 2^33), for the slow path.
bool scaled_magnitude(float value, int d, std::uint64_t& scaled) {
    if (d < 0 || d > 9) return false;
    int e = 0;
    const float fraction = std::frexp(std::fabs(value), &e);  // in [0.5, 1), or 0
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 24));  // exact
    const std::uint64_t x = mantissa * power_of_ten(d);
    const int shift = e - 24;
    if (shift >= 0) {
        if (shift > 9) return false;
        scaled = x << shift;
        return true;
    }
    const int right = -shift;
    if (right >= 64) {
        scaled = 0;  // x < 2^54 lies below half of 2^right
        return true;
    }
    const std::uint64_t rest = x & ((std::uint64_t{1} << right) - 1);
    scaled = (x >> right) + (rest >= (std::uint64_t{1} << (right - 1)) ? 1 : 0);
    return true;
}

// The rounded digits of |value| at d decimals (d <= 100): the integer digits (none for a
// zero integer part) and then the d fraction digits, into `digits`; returns how many are
// integer digits. From the exact decimal expansion the C library writes when the integer
// route does not apply.
int rounded_digits(float value, int d, char* digits) {
    std::uint64_t scaled = 0;
    if (scaled_magnitude(value, d, scaled)) {
        char rev[24];
        int len = 0;
        do {
            rev[len++] = static_cast<char>('0' + scaled % 10);
            scaled /= 10;
        } while (scaled != 0 || len < d + 1);
        int n = 0;
        for (int i = len - 1; i >= 0; --i)
            digits[n++] = rev[i];
        // A zero integer part has no digits.
        if (digits[0] == '0' && len == d + 1) {
            std::memmove(digits, digits + 1, static_cast<std::size_t>(d));
            return 0;
        }
        return len - d;
    }
    // Exact expansion: a float has at most 149 digits after the point and 39 before.
    char buf[256];
    std::snprintf(buf, sizeof buf, "%.160f", std::fabs(static_cast<double>(value)));
    const char* point = std::strchr(buf, '.');
    const int int_len = static_cast<int>(point - buf);
    // Digits kept: the integer digits and d fraction digits, with one spare place in
    // front for a carry out of the leftmost digit.
    char kept[256];
    kept[0] = '0';
    std::memcpy(kept + 1, buf, static_cast<std::size_t>(int_len));
    std::memcpy(kept + 1 + int_len, point + 1, static_cast<std::size_t>(d));
    const int count = 1 + int_len + d;
    if (point[1 + d] >= '5') increment_digits(kept, count);
    int first = 0;
    while (first < 1 + int_len && kept[first] == '0')
        ++first;
    std::memcpy(digits, kept + first, static_cast<std::size_t>(count - first));
    return 1 + int_len - first;
}

}  // namespace

void append_int_field(std::string& out, std::int64_t value, int w) {
    char buf[32];
    const int len = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    if (len > w) {
        append_stars(out, w);
    } else {
        append_right(out, std::string_view(buf, static_cast<std::size_t>(len)), w);
    }
}

void append_fixed_field(std::string& out, float value, int w, int d) {
    if (!std::isfinite(value)) {
        append_non_finite(out, value, w);
        return;
    }
    char digits[256];
    const int int_digits = rounded_digits(value, d, digits);
    bool all_zero = true;
    for (int i = 0; i < int_digits + d; ++i) {
        if (digits[i] != '0') all_zero = false;
    }
    const bool negative = value < 0 && !all_zero;

    char text[300];
    int n = 0;
    if (negative) text[n++] = '-';
    const int zero_slot = n;
    for (int i = 0; i < int_digits; ++i)
        text[n++] = digits[i];
    text[n++] = '.';
    for (int i = int_digits; i < int_digits + d; ++i)
        text[n++] = digits[i];

    if (int_digits == 0 && n + 1 <= w) {
        // Room for the "0" before the point.
        std::memmove(text + zero_slot + 1, text + zero_slot,
                     static_cast<std::size_t>(n - zero_slot));
        text[zero_slot] = '0';
        ++n;
    }
    if (n > w) {
        append_stars(out, w);
    } else {
        append_right(out, std::string_view(text, static_cast<std::size_t>(n)), w);
    }
}

void append_free_real(std::string& out, float value) {
    if (!std::isfinite(value)) {
        append_non_finite(out, value, kFreeRealWidth);
        return;
    }
    char text[20];
    int n = 0;
    if (value == 0.0f) {
        append_right(out, "0.0000000E+00", kFreeRealWidth);  // zero never carries a sign
        return;
    }
    const SevenDigits r = round_seven(value);
    if (value < 0) text[n++] = '-';
    if (r.e >= -1 && r.e <= 6) {
        // Fixed form: 7 significant digits, right-justified in 11 positions, 4 blanks.
        if (r.e == -1) {
            text[n++] = '0';
            text[n++] = '.';
            for (int i = 0; i < 7; ++i)
                text[n++] = r.d[i];
        } else {
            for (int i = 0; i <= r.e; ++i)
                text[n++] = r.d[i];
            text[n++] = '.';
            for (int i = r.e + 1; i < 7; ++i)
                text[n++] = r.d[i];
        }
        append_right(out, std::string_view(text, static_cast<std::size_t>(n)), 11);
        out.append(4, ' ');
        return;
    }
    // Exponent form: the first digit, the point, six more digits and a final 0.
    text[n++] = r.d[0];
    text[n++] = '.';
    for (int i = 1; i < 7; ++i)
        text[n++] = r.d[i];
    text[n++] = '0';
    text[n++] = 'E';
    text[n++] = r.e < 0 ? '-' : '+';
    const int mag = r.e < 0 ? -r.e : r.e;
    text[n++] = static_cast<char>('0' + mag / 10);
    text[n++] = static_cast<char>('0' + mag % 10);
    append_right(out, std::string_view(text, static_cast<std::size_t>(n)), kFreeRealWidth);
}

}  // namespace tarnvex::textio
