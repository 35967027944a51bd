// The median: the middle value, or the mean of the two middle ones, whatever the order.

#include "median.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarnvex {
namespace {

TEST(Median, MiddleOfTheOrder) {
    const struct {
        std::vector<double> values;
        double median;
    } cases[] = {
        {{3.0}, 3.0},
        {{3.0, 1.0, 2.0}, 2.0},
        {{4.0, 1.0, 3.0, 2.0}, 2.5},
        {{-1.0, 5.0, -1.0, 5.0}, 2.0},
        {{0.7, -0.2, 0.7, 9.0, 0.1}, 0.7},
        {{2.0, 2.0}, 2.0},
        {{-3.5, -0.5}, -2.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(median(c.values), c.median) << c.values.size() << " values";
    EXPECT_TRUE(std::isnan(median({})));
}

}  // namespace
}  // namespace tarnvex
