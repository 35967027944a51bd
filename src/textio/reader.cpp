#include "textio/reader.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tarnvex::textio {

bool split_record(std::string_view text, std::size_t& pos, std::string_view& record) {
    if (pos >= text.size()) return false;
    const std::size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
        record = text.substr(pos);  // a last line without line end; a lone CR stays in it
        pos = text.size();
        return true;
    }
    std::size_t end = lf;
    if (end > pos && text[end - 1] == '\r') --end;
    record = text.substr(pos, end - pos);
    pos = lf + 1;
    return true;
}

bool StringSource::next_record(std::string_view& record) {
    return split_record(text_, pos_, record);
}

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_number_char(char c) {
    switch (c) {
        case '+':
        case '-':
        case '.':
        case 'E':
        case 'e':
        case 'D':
        case 'd':
        case 'Q':
        case 'q':
            return true;
        default:
            return is_digit(c);
    }
}

bool is_exponent_letter(char c) {
    return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool ends_token(char c) {
    return is_blank(c) || c == ',' || c == '/';
}

// Real syntax: [sign] (digits [. [digits]] | . digits) [letter [sign] digits].
// On success `mantissa_end` is the index of the exponent letter (or the token's end).
bool is_real_syntax(std::string_view s, std::size_t& mantissa_end) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && is_digit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    mantissa_end = i;
    if (i == s.size()) return true;
    if (!is_exponent_letter(s[i])) return false;
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < s.size() && is_digit(s[i]))
        ++i, ++exp_digits;
    return exp_digits > 0 && i == s.size();
}

bool is_integer_syntax(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
        if (!is_digit(s[i])) return false;
    }
    return true;
}

// The token with its exponent letter made an "e", as the C library reads it.
std::string c_number(std::string_view s, std::size_t mantissa_end) {
    std::string buf(s);
    if (mantissa_end < s.size()) buf[mantissa_end] = 'e';
    return buf;
}

ReadStatus check_chars(std::string_view token) {
    for (char c : token) {
        if (!is_number_char(c)) return ReadStatus::SyntaxError;
    }
    return ReadStatus::Ok;
}

}  // namespace

ReadStatus convert_int(std::string_view token, std::int32_t& out) {
    if (check_chars(token) != ReadStatus::Ok) return ReadStatus::SyntaxError;
    if (is_integer_syntax(token)) {
        std::size_t i = 0;
        const bool negative = token[0] == '-';
        if (token[0] == '+' || token[0] == '-') ++i;
        std::int64_t v = 0;
        for (; i < token.size(); ++i) {
            v = v * 10 + (token[i] - '0');
            if (v > 2147483648LL) return ReadStatus::ConversionError;
        }
        if (negative) v = -v;
        if (v > 2147483647LL) return ReadStatus::ConversionError;
        out = static_cast<std::int32_t>(v);
        return ReadStatus::Ok;
    }
    std::size_t mantissa_end = 0;
    if (!is_real_syntax(token, mantissa_end)) return ReadStatus::ConversionError;
    // Real form for an integer target: converted as a double, truncated toward zero.
    const double d = std::trunc(std::strtod(c_number(token, mantissa_end).c_str(), nullptr));
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) return ReadStatus::ConversionError;
    out = static_cast<std::int32_t>(d);
    return ReadStatus::Ok;
}

ReadStatus convert_real(std::string_view token, float& out) {
    if (check_chars(token) != ReadStatus::Ok) return ReadStatus::SyntaxError;
    std::size_t mantissa_end = 0;
    if (!is_real_syntax(token, mantissa_end)) return ReadStatus::ConversionError;
    // Rounded once, from the decimal text itself; underflow gives the nearest float.
    const float v = std::strtof(c_number(token, mantissa_end).c_str(), nullptr);
    if (std::isinf(v)) return ReadStatus::ConversionError;
    out = v;
    return ReadStatus::Ok;
}

namespace {

// The targets of one read, reached by position.
class Targets {
  public:
    virtual ~Targets() = default;
    virtual std::size_t size() const = 0;
    // Assigns the token to target i.
    virtual ReadStatus assign(std::size_t i, std::string_view token) = 0;
    // Assigns the token to targets i..i + count - 1 (a repeat r*c); a failure stops at the
    // first target, as it would one by one.
    virtual ReadStatus assign_repeat(std::size_t i, std::size_t count, std::string_view token) {
        for (std::size_t k = 0; k < count; ++k) {
            const ReadStatus s = assign(i + k, token);
            if (s != ReadStatus::Ok) return s;
        }
        return ReadStatus::Ok;
    }
};

class MixedTargets final : public Targets {
  public:
    explicit MixedTargets(std::span<const Target> t) : t_(t) {}
    std::size_t size() const override { return t_.size(); }
    ReadStatus assign(std::size_t i, std::string_view token) override {
        if (t_[i].ip != nullptr) return convert_int(token, *t_[i].ip);
        return convert_real(token, *t_[i].fp);
    }

  private:
    std::span<const Target> t_;
};

class RealTargets final : public Targets {
  public:
    explicit RealTargets(std::span<float> t) : t_(t) {}
    std::size_t size() const override { return t_.size(); }
    ReadStatus assign(std::size_t i, std::string_view token) override {
        return convert_real(token, t_[i]);
    }
    // Every copy of a repeated real is the same value: converted once.
    ReadStatus assign_repeat(std::size_t i, std::size_t count, std::string_view token) override {
        float v = 0.0f;
        const ReadStatus s = convert_real(token, v);
        if (s != ReadStatus::Ok) return s;
        std::fill(t_.begin() + static_cast<std::ptrdiff_t>(i),
                  t_.begin() + static_cast<std::ptrdiff_t>(i + count), v);
        return s;
    }

  private:
    std::span<float> t_;
};

class GrowingRealTargets final : public Targets {
  public:
    GrowingRealTargets(std::vector<float>& values, std::size_t limit, float fill)
        : values_(values), limit_(limit), fill_(fill) {}
    std::size_t size() const override { return limit_; }
    ReadStatus assign(std::size_t i, std::string_view token) override {
        float v = fill_;
        const ReadStatus s = convert_real(token, v);
        if (s != ReadStatus::Ok) return s;
        if (values_.size() <= i) values_.resize(i + 1, fill_);
        values_[i] = v;
        return s;
    }
    ReadStatus assign_repeat(std::size_t i, std::size_t count, std::string_view token) override {
        float v = fill_;
        const ReadStatus s = convert_real(token, v);
        if (s != ReadStatus::Ok || count == 0) return s;
        if (values_.size() < i + count) values_.resize(i + count, fill_);
        std::fill(values_.begin() + static_cast<std::ptrdiff_t>(i),
                  values_.begin() + static_cast<std::ptrdiff_t>(i + count), v);
        return s;
    }

  private:
    std::vector<float>& values_;
    std::size_t limit_;
    float fill_;
};

// A repeat count: plain digits, at least 1; larger counts than needed are cut.
bool parse_repeat(std::string_view s, std::size_t& count) {
    if (s.empty()) return false;
    std::size_t v = 0;
    for (char c : s) {
        if (!is_digit(c)) return false;
        if (v < 1000000000) v = v * 10 + static_cast<std::size_t>(c - '0');
    }
    if (v < 1) return false;
    count = v;
    return true;
}

ReadStatus read_into(RecordSource& src, Targets& targets, BadValue* bad) {
    const std::size_t n = targets.size();
    std::string_view rec;
    if (!src.next_record(rec)) return ReadStatus::End;
    std::size_t record = 1;
    std::size_t pos = 0;
    std::size_t t = 0;
    // A failed value: where it stands, for whoever asked.
    const auto failed = [&](ReadStatus s, std::size_t start, std::string_view token) {
        if (bad != nullptr) *bad = {record, start + 1, std::string(token), t};
        return s;
    };
    // True after a value whose separator has not yet taken a comma: the next comma then
    // belongs to that separator instead of making a null value.
    bool after_value = false;
    if (n == 0) return ReadStatus::Ok;
    for (;;) {
        while (pos < rec.size() && is_blank(rec[pos]))
            ++pos;
        if (pos == rec.size()) {
            if (!src.next_record(rec)) return ReadStatus::End;
            ++record;
            pos = 0;
            continue;
        }
        const char c = rec[pos];
        if (c == ',') {
            ++pos;
            if (after_value) {
                after_value = false;
            } else if (++t == n) {
                return ReadStatus::Ok;  // a null value for the last target
            }
            continue;
        }
        if (c == '/') return ReadStatus::Ok;
        const std::size_t start = pos;
        while (pos < rec.size() && !ends_token(rec[pos]))
            ++pos;
        const std::string_view token = rec.substr(start, pos - start);
        after_value = true;

        const std::size_t star = token.find('*');
        if (star == std::string_view::npos) {
            const ReadStatus s = targets.assign(t, token);
            if (s != ReadStatus::Ok) return failed(s, start, token);
            ++t;
        } else {
            std::size_t count = 0;
            if (!parse_repeat(token.substr(0, star), count)) {
                return failed(ReadStatus::SyntaxError, start, token);
            }
            const std::string_view value = token.substr(star + 1);
            if (value.find('*') != std::string_view::npos) {
                return failed(ReadStatus::SyntaxError, start, token);
            }
            if (count > n - t) count = n - t;
            if (!value.empty()) {  // r*: null values, which assign nothing
                const ReadStatus s = targets.assign_repeat(t, count, value);
                if (s != ReadStatus::Ok) return failed(s, start, token);
            }
            t += count;
        }
        if (t == n) return ReadStatus::Ok;
    }
}

}  // namespace

ReadStatus read_free(RecordSource& src, std::span<const Target> targets) {
    MixedTargets t(targets);
    return read_into(src, t, nullptr);
}

ReadStatus read_free(RecordSource& src, std::span<float> targets, BadValue* bad) {
    RealTargets t(targets);
    return read_into(src, t, bad);
}

ReadStatus read_free(RecordSource& src, std::vector<float>& values, std::size_t limit, float fill,
                     BadValue* bad) {
    GrowingRealTargets t(values, limit, fill);
    return read_into(src, t, bad);
}

bool read_edited_text(RecordSource& src, int width, std::string& target) {
    std::string_view rec;
    if (!src.next_record(rec)) return false;
    const auto w = static_cast<std::size_t>(width);
    target.assign(rec.substr(0, w));
    target.append(w - target.size(), ' ');
    return true;
}

}  // namespace tarnvex::textio
