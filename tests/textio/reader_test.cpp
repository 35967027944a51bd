#include "textio/reader.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace tarnvex::textio {
namespace {

// Reads six integers and two reals from `text`; returns the status and the values.
struct Six {
    ReadStatus status;
    std::array<std::int32_t, 6> i;
};

Six read_six(std::string_view text) {
    StringSource src(text);
    Six r{ReadStatus::Ok, {-1, -1, -1, -1, -1, -1}};
    const Target t[] = {Target::of(r.i[0]), Target::of(r.i[1]), Target::of(r.i[2]),
                        Target::of(r.i[3]), Target::of(r.i[4]), Target::of(r.i[5])};
    r.status = read_free(src, t);
    return r;
}

TEST(FreeInput, SixIntegersAnyLayout) {
    const std::array<std::int32_t, 6> want{5, 10, 100, 1, 2, 3};
    const char* layouts[] = {
        "5 10 100 1 2 3\n",        "5\n10\n100\n1\n2\n3\n",
        "\n\n5 10 100 1 2 3\n",    "5\r\n10\r\n100\r\n1\r\n2\r\n3\r\n",
        "5,10,100,1,2,3",          "5 , 10\t100,1  ,2 3 trailing words are discarded\n",
        "5,\n10 100 1 2 3\n",      "5\n,10 100 1 2 3\n",
        "5.9 10 1e2 1 2.0 3.99\n", "+5 10 100 1d0 2q0 3E0\n",
    };
    for (const char* text : layouts) {
        const Six r = read_six(text);
        EXPECT_EQ(r.status, ReadStatus::Ok) << text;
        EXPECT_EQ(r.i, want) << text;
    }
}

TEST(FreeInput, NullsRepeatsAndSlash) {
    const struct {
        const char* text;
        ReadStatus status;
        std::array<std::int32_t, 6> want;
    } cases[] = {
        {",,3 4 5 6", ReadStatus::Ok, {-1, -1, 3, 4, 5, 6}},
        {"1,,3,,5,6", ReadStatus::Ok, {1, -1, 3, -1, 5, 6}},
        {"3*7 1 2 3", ReadStatus::Ok, {7, 7, 7, 1, 2, 3}},
        {"2* 9 9 9 9", ReadStatus::Ok, {-1, -1, 9, 9, 9, 9}},
        {"10*4", ReadStatus::Ok, {4, 4, 4, 4, 4, 4}},  // a count beyond the targets is cut
        {"1 2 / 3 4", ReadStatus::Ok, {1, 2, -1, -1, -1, -1}},
        {"1 2/", ReadStatus::Ok, {1, 2, -1, -1, -1, -1}},
        {"1 2 3", ReadStatus::End, {1, 2, 3, -1, -1, -1}},
        {"", ReadStatus::End, {-1, -1, -1, -1, -1, -1}},
        {"1 2 3 4 5,", ReadStatus::End, {1, 2, 3, 4, 5, -1}},
        {"1 2 3 4 5,,", ReadStatus::Ok, {1, 2, 3, 4, 5, -1}},
        // Syntax errors (59): characters that cannot belong to a number.
        {"abc", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},
        {"1 2 x3", ReadStatus::SyntaxError, {1, 2, -1, -1, -1, -1}},
        {"T", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},
        {".f", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},
        {"0*5", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},
        {"*5", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},
        {"2*3*4", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},
        {"1\r2 3 4 5 6", ReadStatus::SyntaxError, {-1, -1, -1, -1, -1, -1}},  // lone CR
        // Conversion errors (64): number characters that are no number for the target.
        {"1.2.3", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
        {"1e", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
        {"+", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
        {"1.0+5", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
        {"2147483648", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
        {"-2147483649", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
        {"3e9", ReadStatus::ConversionError, {-1, -1, -1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        const Six r = read_six(c.text);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_EQ(r.i, c.want) << c.text;
    }
}

TEST(FreeInput, IntegerConversionEdges) {
    const struct {
        const char* token;
        std::int32_t want;
    } ok[] = {{"3.7", 3},
              {"-2.5", -2},
              {"1e3", 1000},
              {"2147483647", 2147483647},
              {"-2147483648", -2147483647 - 1},
              {"2147483647.9", 2147483647},
              {".5", 0},
              {"5.", 5},
              {"-0", 0},
              {"0000000000000000000012", 12}};
    for (const auto& c : ok) {
        std::int32_t v = -99;
        EXPECT_EQ(convert_int(c.token, v), ReadStatus::Ok) << c.token;
        EXPECT_EQ(v, c.want) << c.token;
    }
}

TEST(FreeInput, RealConversionEdges) {
    const struct {
        const char* token;
        ReadStatus status;
        float want;
    } cases[] = {
        {"1.5e3", ReadStatus::Ok, 1500.0f},
        {"1d3", ReadStatus::Ok, 1000.0f},
        {"1Q3", ReadStatus::Ok, 1000.0f},
        {"+5", ReadStatus::Ok, 5.0f},
        {".5", ReadStatus::Ok, 0.5f},
        {"5.", ReadStatus::Ok, 5.0f},
        {"0.01", ReadStatus::Ok, 0.01f},
        {"1e-50", ReadStatus::Ok, 0.0f},  // underflow rounds to the nearest float
        {"3.4028235e38", ReadStatus::Ok, 3.4028235e38f},
        {"1e39", ReadStatus::ConversionError, 0.0f},
        {"-1e39", ReadStatus::ConversionError, 0.0f},
        {"e5", ReadStatus::ConversionError, 0.0f},
        {"nan", ReadStatus::SyntaxError, 0.0f},
        {"inf", ReadStatus::SyntaxError, 0.0f},
        {"0x10", ReadStatus::SyntaxError, 0.0f},
    };
    for (const auto& c : cases) {
        float v = -99.0f;
        EXPECT_EQ(convert_real(c.token, v), c.status) << c.token;
        if (c.status == ReadStatus::Ok) {
            EXPECT_EQ(v, c.want) << c.token;
        }
    }
    // Rounded once from the decimal text: this value lies just above a halfway point
    // between two floats, which a detour through double would round down.
    float v = 0.0f;
    ASSERT_EQ(convert_real("1.00000005960464477550", v), ReadStatus::Ok);
    EXPECT_EQ(v, std::nextafter(1.0f, 2.0f));
    ASSERT_EQ(convert_real("-0.0", v), ReadStatus::Ok);
    EXPECT_TRUE(std::signbit(v));
}

TEST(FreeInput, RealTableWithEndExit) {
    std::array<float, 5> x;
    x.fill(-1.0f);
    StringSource src("1, 5\n\n2*3\n");
    EXPECT_EQ(read_free(src, std::span<float>(x)), ReadStatus::End);
    EXPECT_EQ(x, (std::array<float, 5>{1.0f, 5.0f, 3.0f, 3.0f, -1.0f}));
}

TEST(EditedInput, NamesOfTwentyCharacters) {
    StringSource src("short.dat\r\n  lead\n123456789012345678901234\n");
    std::string name;
    ASSERT_TRUE(read_edited_text(src, 20, name));
    EXPECT_EQ(name, "short.dat           ");
    ASSERT_TRUE(read_edited_text(src, 20, name));
    EXPECT_EQ(name, "  lead              ");
    ASSERT_TRUE(read_edited_text(src, 20, name));
    EXPECT_EQ(name, "12345678901234567890");
    EXPECT_FALSE(read_edited_text(src, 20, name));
}

}  // namespace
}  // namespace tarnvex::textio
