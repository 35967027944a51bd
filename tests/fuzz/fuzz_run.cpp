// Fuzz target: whole runs in process. The input is the answers text, a NUL byte, then the
// bytes of the series file; the series is cut to 600 bytes, and before its first repeat
// (r*v), so that every run is short. A repeat would let those bytes hold up to 20000
// values: a run over ten thousand equal values searches every step at all its radii over
// all of them, seconds for the program and minutes under the sanitizers. The readers'
// own targets take repeats.

#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "program/run.hpp"

namespace {
const std::string& work_dir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tarnvex-fuzz-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        return std::string(d != nullptr ? d : "/tmp");
    }();
    return dir;
}

// Keeps the process on one of its processors, so that the program takes every step on one
// thread. With the fuzzer's instrumentation in the loops where the threads of a step wait
// for each other, a run on two processors of a busy machine took 30 s where it takes 1 s
// on one; the threads' hand-over has tests of its own.
void keep_to_one_processor() {
    static const bool kept = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (::sched_getaffinity(0, sizeof set, &set) != 0) return false;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) {
                CPU_ZERO(&set);
                CPU_SET(cpu, &set);
                return ::sched_setaffinity(0, sizeof set, &set) == 0;
            }
        }
        return false;
    }();
    (void)kept;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    keep_to_one_processor();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string answers = input.substr(0, nul);
    std::string series = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    series.resize(std::min<std::size_t>({series.size(), 600, series.find('*')}));

    const std::string& dir = work_dir();
    std::ofstream(dir + "/s.dat", std::ios::binary | std::ios::trunc) << series;
    ::unlink((dir + "/r.out").c_str());
    std::istringstream in("s.dat\nr.out\n" + answers);
    std::ostringstream out, err;
    const int status = tarnvex::program::run(in, out, err, dir);
    if (status < 0 || status > 2) std::abort();
    if ((status == 1) != !err.str().empty()) std::abort();  // a report exactly when fatal
    return 0;
}
