#include "textio/series.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "support/run_util.hpp"
#include "tarnvex/series.hpp"
#include "tarnvex/tarnvex.hpp"
#include "textio/channels.hpp"
#include "textio/reader.hpp"

namespace tarnvex::textio {
namespace {

TEST(SeriesLoading, CountIsTheLastEntryThatDiffersFromTheFillValue) {
    const struct {
        std::string text;
        std::int32_t ndata;
        ReadStatus status;
    } cases[] = {
        {"", 0, ReadStatus::End},
        {"1 2 3\n4\n", 4, ReadStatus::End},
        {"1, 5\n", 2, ReadStatus::End},
        {"1.5e3\n", 1, ReadStatus::End},
        {"1 2 123456.7\n", 2, ReadStatus::End},  // a trailing fill value is not counted
        {"5 0 0\n", 3, ReadStatus::End},         // trailing zeros are samples
        {"5 -0.0\n", 2, ReadStatus::End},
        {"1 123456.7 3\n", 3, ReadStatus::End},  // inside the series it is a sample
        {"1,,3\n", 3, ReadStatus::End},          // a null value keeps the fill value
        {"1 2 2*\n", 2, ReadStatus::End},
        {"value\n1\n", 0, ReadStatus::SyntaxError},
        {"1\n2\n1.2.3\n", 2, ReadStatus::ConversionError},
        {"1 2 / 3 4\n", 2, ReadStatus::Ok},  // a slash ends the read
    };
    for (const auto& c : cases) {
        auto s = std::make_unique<SampleTable>();
        textio::StringSource src(c.text);
        EXPECT_EQ(read_series(src, *s), c.status) << c.text;
        EXPECT_EQ(s->ndata, c.ndata) << c.text;
    }
    auto s = std::make_unique<SampleTable>();
    textio::StringSource src("1,,3\n");
    ASSERT_EQ(read_series(src, *s), ReadStatus::End);
    EXPECT_EQ(s->x[1], SENTINEL);
    EXPECT_EQ(s->x[2], 3.0f);
}

TEST(SeriesLoading, AtMostTwentyThousandValues) {
    std::string text;
    for (int i = 1; i <= NMAX + 1; ++i)
        text += std::to_string(i) + (i % 7 == 0 ? "\n" : " ");
    text += "garbage that is never read\n";
    auto s = std::make_unique<SampleTable>();
    textio::StringSource src(text);
    ASSERT_EQ(read_series(src, *s), ReadStatus::Ok);
    EXPECT_EQ(s->ndata, NMAX);
    EXPECT_EQ(s->x[NMAX - 1], static_cast<float>(NMAX));
}

// The reader of the public API: the same values, and a plain error for a missing file or
// a value that is not a number.
TEST(SeriesLoading, ReadSeriesFromAFile) {
    testing::TempDir dir;
    dir.write("s.dat", "1 2.5\n-3,123456.7\n");
    EXPECT_EQ(tarnvex::read_series(dir.file("s.dat")), (std::vector<float>{1.0f, 2.5f, -3.0f}));
    dir.write("bad.dat", "1\nvalue\n");
    const struct {
        std::string name;
        std::string message;
    } errors[] = {{"none.dat", "file not found"},
                  {"bad.dat", "bad.dat, line 2, column 1: 'value' is not a finite number"}};
    for (const auto& e : errors) {
        try {
            (void)tarnvex::read_series(dir.file(e.name));
            ADD_FAILURE() << e.name;
        } catch (const SeriesError& err) {
            EXPECT_NE(std::string(err.what()).find(e.message), std::string::npos) << err.what();
        }
    }
}

// A file read other than meant is refused with what it looks like; a series, however it is
// laid out, is not.
TEST(SeriesLoading, FilesThatLookLikeSomethingElse) {
    std::string rising, many, partial;
    for (int i = 1; i <= 10; ++i)
        rising += std::to_string(i * 3) + "\n";
    for (int i = 0; i < 12; ++i)
        partial += "5 -3 8 1 9" + std::string(i == 11 ? "\n2 4\n" : "\n");
    const struct {
        const char* name;
        std::string text;
        const char* refusal;  // a part of it, or nullptr for none
    } cases[] = {
        {"one value a line", "3\n-7\n12\n5\n", nullptr},
        {"decimal commas", "12,345\n-0,5\n7,25\n", "decimal commas?"},
        {"time,value without a header", "0.1,120\n0.2,131\n0.3,127\n", "looks like a table"},
        {"three columns, tabs", "1\t2\t3\n4\t5\t6\n", "every line holds 3 numbers"},
        {"a column of times", rising, "like a column of times"},
        {"nine rising values", "1\n2\n3\n4\n5\n6\n7\n8\n9\n", nullptr},
        {"ten values, one falls", "1\n2\n3\n4\n5\n6\n7\n8\n10\n9\n", nullptr},
        {"rows of five, the last of two", partial, nullptr},
        {"a header line", "value\n3\n4\n", nullptr},  // the reader's own error tells
        {"decimal commas and whole numbers", "12,5\n37\n11,75\n", "decimal commas?"},
        {"dates", "2020/01/01 1343.6\n2020/01/02 1351.2\n", "holds a '/' on line 1"},
        {"a '/' that ends the read", "1\n2\n/\n3\n", "where tarnvex stops reading"},
        {"one line", "1 2 3\n", nullptr},
    };
    for (const auto& c : cases) {
        const std::string r = series_layout_refusal(c.text, "x.dat");
        if (c.refusal == nullptr) {
            EXPECT_EQ(r, "") << c.name;
        } else {
            EXPECT_NE(r.find(c.refusal), std::string::npos) << c.name << ": " << r;
            EXPECT_NE(r.find("--free-format"), std::string::npos) << c.name;
        }
    }
}

// The guarded reader: the refusals, the hint for a header line, --free-format, and how many
// values the file held beyond the sample limit.
TEST(SeriesLoading, GuardedReaderCountsWhatItLeavesOut) {
    testing::TempDir dir;
    dir.write("comma.dat", "12,345\n3,5\n");
    EXPECT_THROW((void)read_series_guarded(dir.file("comma.dat"), false), SeriesError);
    const SeriesReading free = read_series_guarded(dir.file("comma.dat"), true);
    EXPECT_EQ(free.samples, (std::vector<float>{12.0f, 345.0f, 3.0f, 5.0f}));
    EXPECT_EQ(free.cut_note(), "");
    dir.write("header.csv", "time,value\n1,20000\n2,30000\n");
    try {
        (void)read_series_guarded(dir.file("header.csv"), false);
        ADD_FAILURE() << "no refusal";
    } catch (const SeriesError& e) {
        EXPECT_NE(std::string(e.what()).find("a header line? tarnvex-kit prep "), std::string::npos)
            << e.what();
    }
    std::string text;
    for (int i = 0; i < 25000; ++i)
        text += std::to_string((i * 7919) % 1000) + (i % 5 == 4 ? "\n" : " ");
    text += "3*7\n";  // a repeat counts its values
    dir.write("long.dat", text);
    // More values than the program reads are all read, a repeat's as well.
    const SeriesReading r = read_series_guarded(dir.file("long.dat"), false);
    EXPECT_EQ(r.samples.size(), 25003u);
    EXPECT_EQ(r.samples[24999], static_cast<float>((24999 * 7919) % 1000));
    EXPECT_EQ(r.samples[25002], 7.0f);
    EXPECT_EQ(r.values_in_file, 25003);
    EXPECT_EQ(r.cut_note(), "");
    // A '/' ends the read: the values after it are neither counted nor blamed on the limit.
    dir.write("slash.dat", "1 2 3\n/\n4 5 6\n");
    const SeriesReading s = read_series_guarded(dir.file("slash.dat"), true);
    EXPECT_EQ(s.samples.size(), 3u);
    EXPECT_EQ(s.values_in_file, 3);
    EXPECT_EQ(s.cut_note(), "");
}

// Repeat counts after the sample limit are counted however large they are written: exactly
// up to the counting limit, at the limit beyond it.
TEST(SeriesLoading, GuardedReaderCountsRepeatsOfAnySize) {
    constexpr std::int64_t kLimit = SeriesReading::kMaxValuesCounted;
    const struct {
        std::string text;
        std::int64_t values;
    } cases[] = {
        {"9999998*1 3*2 99999999999*4\n", 9999998 + 3 + 99999999999},
        {"10000000*1 123456789012345*2\n", 10000000 + 123456789012345},
        {"10000000*1 1220122007777077777777700*1 2\n", kLimit},  // the reader takes such a count
        {"10000000*1 inf*2\n", kLimit},
        {"10000000*1 1e300*2 9e18*1 9e18*1 5\n", kLimit},
        {"10000000*1 nan*2 0.5*2\n", 10000002},  // no repeat: one item each
    };
    for (const auto& c : cases) {
        const SeriesReading r = read_series_text(c.text, "s.dat", true);
        ASSERT_EQ(r.samples.size(), std::size_t{kMaxSamples}) << c.text;
        EXPECT_EQ(r.samples.back(), c.text[0] == '9' ? 2.0f : 1.0f) << c.text;
        EXPECT_EQ(r.values_in_file, c.values) << c.text;
        EXPECT_EQ(r.cut_note(), "used the first 10000000 of " + std::to_string(c.values) +
                                    " values: the sample limit")
            << c.text;
    }
}

// The guarded reader over a text gives what it gives for a file of that text: the same
// samples and count, or the same refusal or error, NUL bytes and record ends included.
TEST(SeriesLoading, GuardedReaderOverTextMatchesTheFile) {
    testing::TempDir dir;
    const std::string texts[] = {
        "3\n-7\n12\n5\n",
        "1.5\r\n2.5\r\n-3\r",  // a last line without line end keeps its CR
        "1 2\n3\r\r\n4",
        std::string("1 2\n3\0 4\n", 9),  // a NUL byte ends the read with an error
        std::string("1 2\n3\0x5 4\n", 11),
        std::string("1 2*\0\n", 7),
        std::string("1 2 3\0", 6),
        std::string("\0", 1),
        "12,345\n3,5\n",
        "time,value\n1,20000\n2,30000\n",
        "1\n2\n1.2.3\n",
        "1 2 3\n/\n4 5 6\n",
        "20000*1 5*2\n",
        "",
    };
    for (const bool free_format : {false, true}) {
        int n = 0;
        for (const auto& text : texts) {
            const std::string name = "s" + std::to_string(n++) + ".dat";
            dir.write(name, text);
            std::string file_error, text_error;
            SeriesReading from_file, from_text;
            try {
                from_file = read_series_guarded(dir.file(name), free_format);
            } catch (const SeriesError& e) {
                file_error = e.what();
            }
            try {
                from_text = read_series_text(text, dir.file(name), free_format);
            } catch (const SeriesError& e) {
                text_error = e.what();
            }
            EXPECT_EQ(text_error, file_error) << name;
            EXPECT_EQ(from_text.samples, from_file.samples) << name;
            EXPECT_EQ(from_text.values_in_file, from_file.values_in_file) << name;
        }
    }
}

}  // namespace
}  // namespace tarnvex::textio

namespace tarnvex {
namespace {

// A value that is not a number fails the read where the program's read fails; after the
// program's 20000 values, which it never reads, it ends the read with a note instead.
TEST(SeriesLoading, ANonNumberAfterTheProgramsValuesEndsTheRead) {
    const struct {
        int values;
        bool refused;
    } cases[] = {{100, true}, {19999, true}, {20000, false}, {30000, false}};
    for (const auto& c : cases) {
        std::string text;
        for (int i = 0; i < c.values; ++i)
            text += std::to_string((i * 37) % 1000 - 500) + "\n";
        text += "end\n1 2 3\n";
        if (c.refused) {
            EXPECT_THROW((void)read_series_text(text, "s.dat", true), SeriesError) << c.values;
            continue;
        }
        const SeriesReading r = read_series_text(text, "s.dat", true);
        ASSERT_EQ(r.samples.size(), static_cast<std::size_t>(c.values));
        EXPECT_EQ(r.samples.back(), static_cast<float>(((c.values - 1) * 37) % 1000 - 500));
        EXPECT_EQ(r.cut_note(), "the read stopped at s.dat, line " + std::to_string(c.values + 1) +
                                    ", column 1: 'end' is not a finite number; the " +
                                    std::to_string(c.values) + " values before it are used");
        if (c.values == 20000) {
            // The program reads the same samples and never meets the word.
            textio::StringSource src(text);
            const auto table = std::make_unique<textio::SampleTable>();
            EXPECT_NE(textio::read_series(src, *table), textio::ReadStatus::SyntaxError);
            EXPECT_TRUE(std::equal(r.samples.begin(), r.samples.end(), table->samples().begin(),
                                   table->samples().end()));
        }
    }
}

}  // namespace
}  // namespace tarnvex
