#include "engine/dimension_pool.hpp"

#include <sched.h>

#include <chrono>
#include <utility>

namespace tarnvex::engine {

namespace {

constexpr std::uint64_t kField = 0xffff;
// A worker waits this long for the next round awake before it sleeps: the rounds follow
// each other within a neighbour search, too quickly for a sleep and a wake-up.
constexpr auto kAwake = std::chrono::milliseconds(5);

inline void relax() {
#if defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

inline std::uint64_t pack(std::uint64_t round, std::uint64_t next, std::uint64_t count) {
    return (round << 32) | (next << 16) | count;
}

}  // namespace

DimensionPool::DimensionPool(int lanes, std::function<void(int, int)> job) : job_(std::move(job)) {
    for (int lane = 1; lane < lanes; ++lane)
        threads_.emplace_back([this, lane] { work(lane); });
}

DimensionPool::~DimensionPool() {
    stop_.store(true, std::memory_order_release);
    const std::uint64_t w = work_.load(std::memory_order_relaxed);
    work_.store(pack((w >> 32) + 1, 0, 0), std::memory_order_release);
    work_.notify_all();
    for (auto& t : threads_)
        t.join();
}

void DimensionPool::take_jobs(int lane, std::uint32_t round) {
    std::uint64_t w = work_.load(std::memory_order_acquire);
    for (;;) {
        const std::uint64_t front = (w >> 16) & kField;
        const std::uint64_t end = w & kField;
        if ((w >> 32) != round || front >= end) return;
        const bool first = lane == 0;
        const std::uint64_t taken = first ? w + (std::uint64_t{1} << 16) : w - 1;
        if (!work_.compare_exchange_weak(w, taken, std::memory_order_acq_rel)) continue;
        job_(lane, dims_[first ? front : end - 1]);
        done_.fetch_add(1, std::memory_order_acq_rel);
        w = work_.load(std::memory_order_acquire);
    }
}

void DimensionPool::work(int lane) {
    std::uint32_t seen = 0;
    for (;;) {
        std::uint64_t w = work_.load(std::memory_order_acquire);
        const auto until = std::chrono::steady_clock::now() + kAwake;
        for (int spin = 1; (w >> 32) == seen; ++spin) {
            relax();
            w = work_.load(std::memory_order_acquire);
            if (spin % 256 == 0 && std::chrono::steady_clock::now() > until) break;
        }
        if ((w >> 32) == seen) {
            work_.wait(w, std::memory_order_acquire);
            continue;
        }
        seen = static_cast<std::uint32_t>(w >> 32);
        if (stop_.load(std::memory_order_acquire)) return;
        take_jobs(lane, seen);
    }
}

void DimensionPool::run(const int* dims, int count) {
    dims_ = dims;
    done_.store(0, std::memory_order_relaxed);
    const std::uint64_t round = (work_.load(std::memory_order_relaxed) >> 32) + 1;
    work_.store(pack(round, 0, static_cast<std::uint64_t>(count)), std::memory_order_release);
    work_.notify_all();
    take_jobs(0, static_cast<std::uint32_t>(round));
    while (done_.load(std::memory_order_acquire) < count)
        relax();
}

int processors_available() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int n = CPU_COUNT(&set);
    return n > 0 ? n : 1;
}

}  // namespace tarnvex::engine
