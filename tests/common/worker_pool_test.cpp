// The worker pool of the surrogates and the sweep: every index once whatever the number of
// workers, the caller among them, the work shared, and a failure reported after the rest.

#include "worker_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarnvex {
namespace {

TEST(WorkerPool, EveryIndexOnce) {
    const struct {
        std::size_t count;
        int workers;
    } cases[] = {{0, 1}, {1, 1}, {7, 1}, {100, 2}, {100, 4}, {3, 8}, {10, 0}, {10, -3}};
    for (const auto& c : cases) {
        const auto ran = std::make_unique<std::atomic<int>[]>(c.count + 1);
        for_each_index(c.count, c.workers, [&](std::size_t i) { ++ran[i]; });
        for (std::size_t i = 0; i < c.count; ++i)
            EXPECT_EQ(ran[i].load(), 1) << c.count << " by " << c.workers << ", index " << i;
        EXPECT_EQ(ran[c.count].load(), 0) << "past the end";
    }
}

TEST(WorkerPool, OneWorkerIsTheCaller) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::size_t> order;
    for_each_index(5, 1, [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
}

// Index 0 waits for index 1 to start: only a second worker can start it.
TEST(WorkerPool, TwoWorkersRunSideBySide) {
    std::mutex m;
    std::condition_variable cv;
    bool second_started = false;
    bool waited_in_vain = false;
    for_each_index(2, 2, [&](std::size_t i) {
        std::unique_lock<std::mutex> lock(m);
        if (i == 1) {
            second_started = true;
            cv.notify_all();
        } else if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return second_started; })) {
            waited_in_vain = true;
        }
    });
    EXPECT_FALSE(waited_in_vain);
}

// The other indexes still run; the exception comes out once they are done (with one worker,
// that of the last index that failed).
TEST(WorkerPool, AFailureAfterTheRest) {
    for (const int workers : {1, 3}) {
        std::atomic<int> ran{0};
        try {
            for_each_index(10, workers, [&](std::size_t i) {
                if (i == 3 || i == 7) throw std::runtime_error("index " + std::to_string(i));
                ++ran;
            });
            ADD_FAILURE() << "no exception with " << workers << " workers";
        } catch (const std::runtime_error& e) {
            if (workers == 1) {
                EXPECT_STREQ(e.what(), "index 7");
            }
        }
        EXPECT_EQ(ran.load(), 8) << workers << " workers";
    }
}

}  // namespace
}  // namespace tarnvex
