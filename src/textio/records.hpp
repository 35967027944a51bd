#pragma once
// Pure record builders: free-format statements and edited statements, appended to a
// buffer with their CR LF record ends.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace tarnvex::textio {

// One value passed through a text channel: an integer, a single-precision real or a text.
struct Item {
    enum class Kind { Int, Real, Text };
    Kind kind;
    std::int64_t i = 0;
    float r = 0.0f;
    std::string_view t;

    Item() : kind(Kind::Int) {}
    Item(std::int32_t v) : kind(Kind::Int), i(v) {}
    Item(std::int64_t v) : kind(Kind::Int), i(v) {}
    Item(float v) : kind(Kind::Real), r(v) {}
    Item(std::string_view v) : kind(Kind::Text), t(v) {}
    Item(const char* v) : kind(Kind::Text), t(v) {}
    Item(const std::string& v) : kind(Kind::Text), t(v) {}
};

inline constexpr std::string_view kRecordEnd = "\r\n";
inline constexpr int kFreeLineCapacity = 80;

// One free-format output statement: 12-position integers, 15-position reals, texts as
// they are, one leading blank on a line that begins with a text, at most 80 characters a
// line; an empty statement writes a line of one blank.
void append_free(std::string& out, std::span<const Item> items);
inline void append_free(std::string& out, std::initializer_list<Item> items) {
    append_free(out, std::span<const Item>(items.begin(), items.size()));
}

// One descriptor of an edit list: a literal text, or Iw, Fw.d, Aw repeated `repeat` times.
struct EditDesc {
    enum class Kind { Lit, I, F, A };
    Kind kind;
    int repeat = 1;
    int w = 0;
    int d = 0;
    std::string_view lit;
};

constexpr EditDesc lit(std::string_view s) {
    return {EditDesc::Kind::Lit, 1, 0, 0, s};
}
constexpr EditDesc iw(int w, int repeat = 1) {
    return {EditDesc::Kind::I, repeat, w, 0, {}};
}
constexpr EditDesc fw(int w, int d, int repeat = 1) {
    return {EditDesc::Kind::F, repeat, w, d, {}};
}
constexpr EditDesc aw(int w, int repeat = 1) {
    return {EditDesc::Kind::A, repeat, w, 0, {}};
}

// One edited output statement: the edit list walked left to right, one record of any
// length. When the items run out the walk stops at the next data descriptor.
void append_edited(std::string& out, std::span<const EditDesc> list, std::span<const Item> items);
inline void append_edited(std::string& out, std::span<const EditDesc> list,
                          std::initializer_list<Item> items) {
    append_edited(out, list, std::span<const Item>(items.begin(), items.size()));
}

// The edit lists of the program's edited statements.
// Names record of the result file: infile and outfile side by side.
inline constexpr std::array<EditDesc, 1> kNamesRecord{aw(20, 2)};
// Progress record of an accepted search: " (", ngrow, ")", nn(mto), ",".
inline constexpr std::array<EditDesc, 6> kProgressRecord{lit(" "), lit("("), iw(2),
                                                         lit(")"), iw(3),    lit(",")};
// Console spectrum report: samples counted, dimension, up to 20 exponents.
inline constexpr std::array<EditDesc, 3> kConsoleSpectrum{iw(5), iw(3), fw(8, 2, 20)};
// Result-file spectrum report: the same items, wider fields.
inline constexpr std::array<EditDesc, 2> kFileSpectrum{iw(7, 2), fw(10, 2, 20)};
// Limit record of a step given up.
inline constexpr std::array<EditDesc, 2> kLimitRecord{lit(" "), lit(" - ,")};

}  // namespace tarnvex::textio
