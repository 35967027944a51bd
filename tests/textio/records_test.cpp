#include "textio/records.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tarnvex::textio {
namespace {

std::string free(std::initializer_list<Item> items) {
    std::string s;
    append_free(s, items);
    return s;
}

TEST(FreeFormat, LinesOfTheDialogue) {
    const struct {
        std::string got;
        const char* expected;
    } cases[] = {
        {free({}), " \r\n"},
        {free({"                  *** lyapunov ***"}), "                   *** lyapunov ***\r\n"},
        {free({"npts   = number of data points (max.", 20000, ")"}),
         " npts   = number of data points (max.       20000 )\r\n"},
        {free({"data read over, ndata =", 0}), " data read over, ndata =           0\r\n"},
        {free({"periode = ", 1.0f}), " periode =    1.000000    \r\n"},
        {free({"scalmx=", 0.01f}), " scalmx=  1.0000000E-02\r\n"},
        {free({" emb dim. too high !!"}), "  emb dim. too high !!\r\n"},
        {free({"jmax=", 500, " zu gross"}), " jmax=         500  zu gross\r\n"},
        {free({"nur", 0, " pts. genuegen den bedingungen"}),
         " nur           0  pts. genuegen den bedingungen\r\n"},
        {free({"evolv=", 5}), " evolv=           5\r\n"},
        // Two texts in a row are joined with nothing between them.
        {free({"ab", "cd"}), " abcd\r\n"},
        // A number first: no leading blank, its own field width.
        {free({7, "x"}), "           7 x\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.expected);
}

TEST(FreeFormat, SeventhIntegerStartsTheSecondLine) {
    const std::string s = free({3000, 30, 2000, 1, 2, 2, 2, 0.01f, 1, 0.0f, 2.0f});
    EXPECT_EQ(s,
              "        3000          30        2000           1           2           2\r\n"
              "           2  1.0000000E-02           1  0.0000000E+00   2.000000    \r\n");
}

TEST(FreeFormat, LongTextsBreakAtEightyCharacters) {
    const std::string t70(70, 'a');
    // A text that does not fit behind what the line holds starts a new line.
    EXPECT_EQ(free({t70, "bbbbbbbbbbbb"}), " " + t70 + "\r\n bbbbbbbbbbbb\r\n");
    // A real that does not fit starts a new line at its first position.
    EXPECT_EQ(free({t70, 1.0f}), " " + t70 + "\r\n   1.000000    \r\n");
    // A text longer than a line continues on lines that begin with a blank.
    const std::string t100(100, 'c');
    EXPECT_EQ(free({t100}), " " + std::string(79, 'c') + "\r\n " + std::string(21, 'c') + "\r\n");
}

TEST(Edited, TheProgramsRecords) {
    const struct {
        std::span<const EditDesc> list;
        std::vector<Item> items;
        const char* expected;
    } cases[] = {
        {kProgressRecord, {0, 20}, " ( 0) 20,\r\n"},
        {kProgressRecord, {16, 200}, " (16)200,\r\n"},
        {kProgressRecord, {123, 1000}, " (**)***,\r\n"},
        {kLimitRecord, {}, "  - ,\r\n"},
        {kConsoleSpectrum, {50, 2, 0.61f, -2.27f}, "   50  2    0.61   -2.27\r\n"},
        {kConsoleSpectrum, {123456, 1, 123456.0f}, "*****  1********\r\n"},
        {kFileSpectrum,
         {25, 3, 0.5f, -0.004f, 12.345f},
         "     25      3      0.50      0.00     12.35\r\n"},
        {kNamesRecord,
         {"a.dat               ", "b.out               "},
         "a.dat               b.out               \r\n"},
    };
    for (const auto& c : cases) {
        std::string s;
        append_edited(s, c.list, std::span<const Item>(c.items));
        EXPECT_EQ(s, c.expected);
    }
}

TEST(Edited, TwentyExponentsStayOnOneRecord) {
    std::vector<Item> items{Item(25), Item(20)};
    for (int i = 0; i < 20; ++i)
        items.emplace_back(-1.0f);
    std::string s;
    append_edited(s, kFileSpectrum, std::span<const Item>(items));
    EXPECT_EQ(s.size(), 214u + 2u);
    std::string c;
    append_edited(c, kConsoleSpectrum, std::span<const Item>(items));
    EXPECT_EQ(c.size(), 168u + 2u);
}

}  // namespace
}  // namespace tarnvex::textio
