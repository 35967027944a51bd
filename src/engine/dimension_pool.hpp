#pragma once
// Worker threads that share the dimensions of a step: started once for a run, handed the
// dimensions of every step, and joined at its end. The thread that hands them work takes
// part as lane 0; the workers are lanes 1 and up.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace tarnvex::engine {

class DimensionPool {
  public:
    // `job(lane, id)` runs job `id` with the scratch of `lane`. The jobs of one round run
    // at once: none may write what another of the round reads or writes.
    DimensionPool(int lanes, std::function<void(int, int)> job);
    ~DimensionPool();
    DimensionPool(const DimensionPool&) = delete;
    DimensionPool& operator=(const DimensionPool&) = delete;

    // Runs job(lane, dims[i]) for i = 0..count-1 and returns when all are done. Lane 0
    // takes them from the front of the list and the other lanes from its back, so that each
    // lane computes neighbouring dimensions, which share most of their data: put the
    // costly ones at the two ends.
    void run(const int* dims, int count);

  private:
    void work(int lane);
    // Takes and runs jobs of round `round` until none is left.
    void take_jobs(int lane, std::uint32_t round);

    std::function<void(int, int)> job_;
    std::vector<std::thread> threads_;
    // The round's number (high 32 bits), the front of the jobs left (16 bits) and their end
    // (low 16 bits), in one word so that a job is taken only by a thread of its round.
    std::atomic<std::uint64_t> work_{0};
    std::atomic<int> done_{0};
    std::atomic<bool> stop_{false};
    const int* dims_ = nullptr;
};

// The processors this process may run on (its affinity mask), at least 1.
int processors_available();

}  // namespace tarnvex::engine
