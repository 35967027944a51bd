#pragma once
// The pool of the runs that go side by side (the surrogates of a test, the rows of a sweep):
// `workers` threads, the caller one of them, take the next index until none is left. Each
// index runs once, on whichever thread takes it, so a task writes only to the slot of its
// index and the results do not depend on the number of workers. A task that throws does not
// stop the others; the last exception caught is rethrown once every worker is done.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tarnvex {

template <class Task>
void for_each_index(std::size_t count, int workers, Task&& task) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_lock;
    const auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                task(i);
            } catch (...) {
                const std::lock_guard<std::mutex> g(failure_lock);
                failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> pool;
    try {
        for (int j = 1; j < std::max(workers, 1); ++j)
            pool.emplace_back(worker);
    } catch (const std::system_error&) {
        // No thread more to be had: the ones there and the caller share the work.
    }
    worker();
    for (auto& t : pool)
        t.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tarnvex
