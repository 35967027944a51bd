#pragma once
// Calling tarnvex-kit in process.

#include <sstream>
#include <string>
#include <vector>

#include "kit/commands.hpp"

namespace tarnvex::testing {

struct KitCall {
    int status;
    std::string out, err;
};

inline KitCall call_kit(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = kit::run_kit(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace tarnvex::testing
