#pragma once
// The subcommands of tarnvex-kit; each returns the exit status and reports refusals by
// throwing UsageError.

#include <iosfwd>
#include <string>
#include <vector>

namespace tarnvex::kit {

int cmd_gen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs a subcommand by name: the whole tool as a function, for tests.
int run_kit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarnvex::kit
