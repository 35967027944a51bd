#pragma once
// The program's entry as a function: a whole run over injected console streams and a
// working directory, returning the exit status.

#include <iosfwd>
#include <string>

namespace tarnvex::program {

// Exit statuses.
inline constexpr int kExitDone = 0;     // the run completed
inline constexpr int kExitFatal = 1;    // a fatal report was written to standard error
inline constexpr int kExitRefused = 2;  // a parameter check stopped the run

// Runs the dialogue, the loading, the header, the checks and the step loop. File names
// are taken relative to `cwd`; fatal reports go to `err`.
int run(std::istream& in, std::ostream& out, std::ostream& err, const std::string& cwd);

}  // namespace tarnvex::program
