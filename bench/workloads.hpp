#pragma once
// The benchmark workloads: Lorenz x-component series and the answers of the largest and a
// mid-size run.

#include <cmath>
#include <string>

#include "tarnvex/systems.hpp"

namespace tarnvex::bench {

// Lorenz x (sigma 10, rho 28, beta 8/3), RK4 step 0.01, one sample a step, scaled by 100.
inline std::string lorenz_series(long n) {
    return system_series("lorenz", n);
}

struct Workload {
    const char* name;
    long samples;
    const char* answers;  // after the two names
};

inline const Workload kLargest{"largest", 20000, "20000 200 100000 5 2 20\n1\n0.01\n1\n2\n"};
inline const Workload kMidSize{"mid-size", 5000, "5000 50 100000 5 2 8\n1\n0.01\n1\n2\n"};

}  // namespace tarnvex::bench
