#include "engine/dimension_pool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

namespace tarnvex::engine {
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

// Lane 0's first job of a round waits until another lane has taken a job, so the round is
// shared whatever the load on the machine: every job still runs once, lane 0's from the
// front and the others' from the back, and run() returns only when all are done. On one
// lane alone this could not pass.
TEST(DimensionPool, JobsAreSharedAcrossLanes) {
    using namespace std::chrono_literals;
    for (int lanes = 2; lanes <= 4; ++lanes) {
        std::array<std::atomic<int>, kJobs> ran{};
        std::array<std::atomic<int>, kJobs> by{};
        std::atomic<int> taken_elsewhere{0};
        std::atomic<bool> waiting{false};
        std::array<int, kJobs> order{};
        std::iota(order.begin(), order.end(), 0);
        DimensionPool pool(lanes, [&](int lane, int id) {
            if (lane != 0) {
                taken_elsewhere.fetch_add(1);
            } else if (waiting.exchange(false)) {
                const auto until = std::chrono::steady_clock::now() + 20s;
                while (taken_elsewhere.load() == 0 && std::chrono::steady_clock::now() < until)
                    std::this_thread::yield();
            }
            std::this_thread::sleep_for(50us);  // long enough that the others find work
            ran[static_cast<std::size_t>(id)].fetch_add(1);
            by[static_cast<std::size_t>(id)].store(lane);
        });
        for (int count = 2; count <= kJobs; count += 3) {
            for (auto& r : ran)
                r.store(0);
            taken_elsewhere.store(0);
            waiting.store(true);
            pool.run(order.data(), count);
            ASSERT_GT(taken_elsewhere.load(), 0) << lanes << " lanes, " << count << " jobs";
            for (int i = 0; i < kJobs; ++i)
                ASSERT_EQ(ran[static_cast<std::size_t>(i)].load(), i < count ? 1 : 0)
                    << lanes << " lanes, " << count << " jobs, job " << i;
            // The job at the front went to lane 0, the one at the back to another lane.
            EXPECT_EQ(by[0].load(), 0) << lanes << " lanes, " << count << " jobs";
            EXPECT_NE(by[static_cast<std::size_t>(count - 1)].load(), 0)
                << lanes << " lanes, " << count << " jobs";
        }
    }
}

}  // namespace
}  // namespace tarnvex::engine
