#include "textio/series.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/run_util.hpp"
#include "tarnvex/tarnvex.hpp"
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

}  // namespace
}  // namespace tarnvex::textio
