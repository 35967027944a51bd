#include "driver/series.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "textio/reader.hpp"

namespace tarnvex::driver {
namespace {

TEST(SeriesLoading, CountIsTheLastEntryThatDiffersFromTheFillValue) {
    const struct {
        std::string text;
        std::int32_t ndata;
        int report;
    } cases[] = {
        {"", 0, 0},
        {"1 2 3\n4\n", 4, 0},
        {"1, 5\n", 2, 0},
        {"1.5e3\n", 1, 0},
        {"1 2 123456.7\n", 2, 0},  // a trailing fill value is not counted
        {"1 123456.7 3\n", 3, 0},  // inside the series it is a sample
        {"1,,3\n", 3, 0},          // a null value keeps the fill value
        {"1 2 2*\n", 2, 0},
        {"value\n1\n", 0, 59},
        {"1\n2\n1.2.3\n", 2, 64},
        {"1 2 / 3 4\n", 2, 0},  // a slash ends the read
    };
    for (const auto& c : cases) {
        auto s = std::make_unique<Series>();
        textio::StringSource src(c.text);
        EXPECT_EQ(read_series(src, *s), c.report) << c.text;
        EXPECT_EQ(s->ndata, c.ndata) << c.text;
    }
    auto s = std::make_unique<Series>();
    textio::StringSource src("1,,3\n");
    ASSERT_EQ(read_series(src, *s), 0);
    EXPECT_EQ(s->x[1], SENTINEL);
    EXPECT_EQ(s->x[2], 3.0f);
}

TEST(SeriesLoading, AtMostTwentyThousandValues) {
    std::string text;
    for (int i = 1; i <= NMAX + 1; ++i)
        text += std::to_string(i) + (i % 7 == 0 ? "\n" : " ");
    text += "garbage that is never read\n";
    auto s = std::make_unique<Series>();
    textio::StringSource src(text);
    ASSERT_EQ(read_series(src, *s), 0);
    EXPECT_EQ(s->ndata, NMAX);
    EXPECT_EQ(s->x[NMAX - 1], static_cast<float>(NMAX));
}

}  // namespace
}  // namespace tarnvex::driver
