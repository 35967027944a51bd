#include "driver/dimension_pool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>

namespace tarnvex::driver {
namespace {

constexpr int kJobs = 21;  // a step's jobs at most: 20 dimensions and the next search

// Round after round, with every lane count and list length: each job runs exactly once and
// has finished when run() returns; lane 0 takes a run from the front of the list and the
// other lanes the rest from its back.
TEST(DimensionPool, EveryJobOnceARoundLaneZeroFromTheFront) {
    for (int lanes = 1; lanes <= 4; ++lanes) {
        std::array<int, kJobs> ran{};    // times job i ran this round
        std::array<int, kJobs> by{};     // the lane that ran it
        std::array<int, kJobs> order{};  // the list: job ids 0..count-1
        std::iota(order.begin(), order.end(), 0);
        DimensionPool pool(lanes, [&](int lane, int id) {
            ++ran[static_cast<std::size_t>(id)];
            by[static_cast<std::size_t>(id)] = lane;
        });
        for (int round = 0; round < 200; ++round) {
            const int count = round % (kJobs + 1);
            ran.fill(0);
            by.fill(-1);
            pool.run(order.data(), count);
            for (int i = 0; i < kJobs; ++i) {
                ASSERT_EQ(ran[static_cast<std::size_t>(i)], i < count ? 1 : 0)
                    << lanes << " lanes, " << count << " jobs, job " << i;
            }
            // Lane 0's jobs are 0..k-1 for some k, the other lanes' k..count-1.
            const auto first_other =
                std::find_if(by.begin(), by.begin() + count, [](int lane) { return lane != 0; });
            EXPECT_TRUE(
                std::all_of(first_other, by.begin() + count, [](int lane) { return lane != 0; }))
                << lanes << " lanes, " << count << " jobs";
        }
    }
}

}  // namespace
}  // namespace tarnvex::driver
